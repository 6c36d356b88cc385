// The biology outputs: the exposure ramp, its accumulation over the biology
// steps, the end-of-run records and the files they leave behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "output/concfixture.hpp"
#include "output/contrmaout.hpp"
#include "output/controut.hpp"
#include "output/dobiology.hpp"
#include "state/outputs.hpp"
#include "state/packets.hpp"
#include "state/timing.hpp"

namespace {

class Biology : public conctest::Fixture {
 protected:
  // Sets up points with the given concentrations, held on every step.
  void points(const std::string& thresholds, std::initializer_list<float> conc) {
    open(thresholds);
    BIOLOGYIN.unit = openOut("bio.out");
    std::int32_t i = 0;
    for (float c : conc) {
      CONTRIN.xpt[i] = 100.0f * static_cast<float>(i + 1);
      CONTRIN.ypt[i] = -20.0f;
      CONTRIN.zlow[i] = 0.5f;
      CONTRIN.ztop[i] = 1.5f;
      CONTROUTH.conc[i++] = c;
    }
    CONTRIN.ctotal = i;
    DOBIOLOGY(-1);
  }
  void steps(int n) {
    for (int s = 0; s < n; ++s) DOBIOLOGY(0);
  }
};

TEST_F(Biology, TheRampWeighsLinearlyBetweenTheThresholds) {
  // 0/10: 0 weighs 0, 5 weighs 0.5, 10 and above 1, below 0 nothing.
  points("0 10\n", {0.0f, 5.0f, 10.0f, 12.0f, -1.0f, 2.5f});
  steps(4);
  EXPECT_EQ(BIOLOGYOUT.exposure[0], 0.0f);
  EXPECT_FLOAT_EQ(BIOLOGYOUT.exposure[1], 2.0f);
  EXPECT_EQ(BIOLOGYOUT.exposure[2], 4.0f);
  EXPECT_EQ(BIOLOGYOUT.exposure[3], 4.0f);
  EXPECT_EQ(BIOLOGYOUT.exposure[4], 0.0f);
  EXPECT_FLOAT_EQ(BIOLOGYOUT.exposure[5], 1.0f);
  BIOLOGYIN.dtbio = 3600.0;
  TIMINGIN.ttotal = 4 * 3600.0;
  DOBIOLOGY(1);
  auto r = forcingtest::records(testutil::readFile("bio.out"));
  ASSERT_EQ(r.size(), 6u);
  EXPECT_EQ(r[0].substr(44, 10), "     0.000");
  EXPECT_EQ(r[1].substr(44, 10), "    50.000");
}

TEST_F(Biology, EqualThresholdsMakeAStep) {
  points("2 2\n", {2.0f, 2.5f, 2.000001f});
  steps(3);
  EXPECT_EQ(BIOLOGYOUT.exposure[0], 0.0f);
  EXPECT_EQ(BIOLOGYOUT.exposure[1], 3.0f);
  EXPECT_EQ(BIOLOGYOUT.exposure[2], 3.0f);
}

TEST_F(Biology, TenDaysHourlyFullyExposedIsAHundredPercentAndTenDays) {
  points("0.5 1\n", {3.0f});
  BIOLOGYIN.dtbio = 3600.0;
  TIMINGIN.ttotal = 10 * 86400.0;
  steps(240);
  DOBIOLOGY(1);
  EXPECT_FALSE(rio::unitIsOpen(30));  // the end-of-run call closes its file
  auto r = forcingtest::records(testutil::readFile("bio.out"));
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0], "         1       100.0       -20.0     1.000   100.000    10.000");
}

TEST_F(Biology, ThePointFileIsWrittenWhenNoBiologyStepWasDue) {
  testutil::writeFile("bio.out", "left by an earlier run\r\n");
  points("0 1\n", {5.0f, 5.0f});
  BIOLOGYIN.dtbio = 86400.0;
  TIMINGIN.ttotal = 3600.0;
  DOBIOLOGY(1);
  auto r = forcingtest::records(testutil::readFile("bio.out"));
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[1], "         2       200.0       -20.0     1.000     0.000     0.000");
}

TEST_F(Biology, ExposureFollowsTheConcentrationsOfEachStep) {
  // The points evaluated by CONTROUT, the biology on the same steps.
  open("1\n0 0 10 0 5\n0 0.001\n");
  conctest::fillTables();
  CONTRIN.unit = openOut("conc.out");
  CONTROUT(0.0, true);
  BIOLOGYIN.unit = 31;
  rio::openUnit(31, "bio.out", rio::FileStatus::unknown);
  DOBIOLOGY(-1);
  PACKETS.pmass = 1.0f;
  for (int s = 0; s < 6; ++s) {
    PACKETS.ktotal = s % 2 == 0 ? 0 : 10;  // packets on every other step
    CONTROUT(3600.0 * (s + 1), false);
    DOBIOLOGY(0);
  }
  EXPECT_EQ(BIOLOGYOUT.exposure[0], 3.0f);
}

class BiologyMap : public conctest::Fixture {
 protected:
  void grid(std::int32_t nx, std::int32_t ny) {
    CONTRMAPIN.nx = nx;
    CONTRMAPIN.ny = ny;
    BIOLOGYIN.mapunit = openOut("biomap.out");
    BIOLOGYIN.dtbiomap = 3600.0;
    TIMINGIN.ttotal = 86400.0;
    DOBIOLOGYMAP(-1);
  }
};

TEST_F(BiologyMap, RowsOfMoreThanAHundredCellsContinueOnANewLine) {
  open("1 2\n");
  grid(150, 2);
  for (int i = 0; i < 150; ++i) CONTRMAPOUT.cmap[1][i] = 1.5f;  // row 2 half exposed
  for (int s = 0; s < 24; ++s) DOBIOLOGYMAP(0);
  CONTRMAPOUT.cmap[0][149] = 3.0f;
  DOBIOLOGYMAP(0);
  DOBIOLOGYMAP(1);
  EXPECT_FALSE(rio::unitIsOpen(30));
  auto r = forcingtest::records(testutil::readFile("biomap.out"));
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[0].size(), 1000u);
  EXPECT_EQ(r[1].size(), 500u);
  EXPECT_EQ(r[0].substr(0, 10), "     0.000");
  EXPECT_EQ(r[1].substr(490, 10), "     0.042");  // 1 step of 24 a day
  EXPECT_EQ(r[2].substr(0, 10), "     0.521");  // 25 steps at weight 0.5
  EXPECT_EQ(r[3].substr(490, 10), "     0.521");
}

TEST_F(BiologyMap, WithoutTheMapTheFileIsEmpty) {
  testutil::writeFile("biomap.out", "left by an earlier run\r\n");
  open("0 1\n");
  grid(0, 0);
  PACKETS.ktotal = 3;
  CONTRMAOUT(3600.0, false);
  DOBIOLOGYMAP(0);
  DOBIOLOGYMAP(1);
  EXPECT_EQ(testutil::readFile("biomap.out"), "");
}

}  // namespace
