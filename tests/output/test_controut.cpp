// The concentration time series: the set-up records and their checks, the
// header, the evaluation through the profile tables and its records.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "output/concfixture.hpp"
#include "output/controut.hpp"
#include "state/outputs.hpp"
#include "state/packets.hpp"
#include "vertical/pdfcompute.hpp"

namespace {

using forcingtest::count;

class Controut : public conctest::Fixture {
 protected:
  void SetUp() override {
    Fixture::SetUp();
    conctest::fillTables();
  }
  // Sets up the points of `input` with the series written to conc.out.
  void setup(const std::string& input, bool writeconc = true) {
    open(input);
    CONTRIN.unit = openOut("conc.out");
    CONTRIN.writeconc = writeconc;
    CONTRIN.dtout = 3600.0;
    CONTROUT(0.0, true);
  }
  void packets(std::int32_t n, std::int32_t kbreak, float x, float y) {
    PACKETS.ktotal = n;
    PACKETS.kbreak = kbreak;
    PACKETS.pmass = 2.0f;
    for (std::int32_t k = 0; k < n; ++k) {
      POSITIONS.x[k] = x + 0.01f * static_cast<float>(k % 7);
      POSITIONS.y[k] = y - 0.01f * static_cast<float>(k % 5);
      POSITIONS.z[k] = 0.1f * static_cast<float>(k % 40);
    }
  }
};

std::string points(int n) {
  std::string s = std::to_string(n) + "\n";
  for (int i = 0; i < n; ++i) s += std::to_string(10 * i) + " 0 5 0.5 1.5\n";
  return s;
}

TEST_F(Controut, HeaderListsPointsWithTheirMidHeight) {
  setup("2\n10 20 5 0.5 1.5\n-3 4 2 0 2\n");
  auto r = fileRecords("conc.out");
  ASSERT_EQ(r.size(), 5u);
  EXPECT_EQ(r[0], " Concentration");
  EXPECT_EQ(r[1], " x y z number_of_positions:           2");
  EXPECT_EQ(r[2], "    10.00000       20.00000       1.000000    ");
  EXPECT_EQ(r[3], "   -3.000000       4.000000       1.000000    ");
  EXPECT_EQ(r[4], "");
  EXPECT_EQ(CONTRIN.ctotal, 2);
  EXPECT_EQ(CONTRIN.radius[1], 2.0f);
}

TEST_F(Controut, WithoutTheSeriesNothingIsWrittenButConcIsUpdated) {
  setup("1\n0 0 5 0.5 1.5\n", false);
  packets(100, 0, 0.0f, 0.0f);
  CONTROUT(3600.0, false);
  EXPECT_GT(CONTROUTH.conc[0], 0.0f);
  EXPECT_EQ(testutil::readFile("conc.out"), "");
}

TEST_F(Controut, FiftyPointsAreAcceptedFiftyOneStop) {
  setup(points(50));
  EXPECT_EQ(CONTRIN.ctotal, 50);
  EXPECT_EQ(CONTRIN.xpt[49], 490.0f);

  rio::abandonAllUnits();
  resetAllState();
  EXPECT_TRUE(stops([&] { setup(points(51)); }));
  EXPECT_EQ(console, (std::vector<std::string>{" controut: ***Stopping***", " Read echo file"}));
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0], " ***controut*** ");
  EXPECT_EQ(log[1], " Too many concentration points");
  EXPECT_EQ(log[2], " Increase CMAX and recompile. ");
  EXPECT_EQ(log[3], " ctotal, CMAX           51          50");
}

TEST_F(Controut, NoPointsStop) {
  EXPECT_TRUE(stops([&] { setup("0\n"); }));
  EXPECT_EQ(count(console, " controut: ***Stopping***"), 1u);
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[1], " You requested concentration time series ");
  EXPECT_EQ(log[2], " but set ctotal less than 1            0");
}

TEST_F(Controut, LayersOfNoThicknessAndCylindersOfNoAreaAreRefused) {
  EXPECT_TRUE(stops([&] { setup("2\n0 0 5 0.5 1.5\n0 0 5 1 1\n"); }));
  EXPECT_EQ(count(console, " controut: ***Stopping***"), 1u);
  EXPECT_EQ(count(log, " Sampling layer of zero thickness at point            2"), 1u);
  EXPECT_EQ(testutil::readFile("conc.out"), "");  // no header for a refused set-up

  rio::abandonAllUnits();
  resetAllState();
  EXPECT_TRUE(stops([&] { setup("1\n0 0 0 0.5 1.5\n"); }));
  EXPECT_EQ(count(log, " Sampling radius of zero at point            1"), 1u);
}

TEST_F(Controut, PacketsOutsideEveryRadiusGiveZero) {
  setup("2\n0 0 5 0.5 1.5\n100 0 5 0 2\n");
  packets(300, 120, 50.0f, 50.0f);
  CONTROUT(43200.0, false);
  EXPECT_EQ(CONTROUTH.conc[0], 0.0f);
  EXPECT_EQ(CONTROUTH.conc[1], 0.0f);
  auto r = fileRecords("conc.out");
  ASSERT_EQ(r.size(), 6u);
  EXPECT_EQ(r[5], "   0.500000E+00  0.0000E+00  0.0000E+00");
}

TEST_F(Controut, ARecordOfFiftyPointsIsOneLineOfTheSeriesLayout) {
  setup(points(50));
  packets(2000, 700, 0.0f, 0.0f);
  CONTROUT(123456.0, false);
  auto r = fileRecords("conc.out");
  ASSERT_EQ(r.size(), 1u + 1u + 50u + 1u + 1u);
  rio::openUnit(31, "expected.out", rio::FileStatus::unknown);
  {
    static const rio::Layout kLayout("1X,E14.6,99E12.4");
    rio::UnitOut out(31);
    rio::LayoutWriter w(kLayout, out);
    w.put(123456.0 / 86400.0);
    for (int i = 0; i < 50; ++i) w.put(CONTROUTH.conc[i]);
    w.end();
  }
  rio::closeUnit(31);
  EXPECT_EQ(r.back(), forcingtest::records(testutil::readFile("expected.out")).at(0));
  EXPECT_EQ(r.back().size(), 615u);
  EXPECT_GT(CONTROUTH.conc[0], 0.0f);
}

TEST_F(Controut, ARadiusCoveringEveryPacketGivesTheClosedFormWhateverTheHeights) {
  setup("1\n0 0 10 0.5 1.5\n");
  packets(1000, 0, 0.0f, 0.0f);
  CONTROUT(3600.0, false);
  const float load = 1000.0f * 2.0f / (3.14159f * 100.0f);
  const double frac = double(PDFATZ(1.5f, PDFVI.table[1])) - double(PDFATZ(0.5f, PDFVI.table[1]));
  EXPECT_NEAR(frac, 0.2, 1e-6);
  const float expected = static_cast<float>(frac * load / 1.0);
  EXPECT_FLOAT_EQ(CONTROUTH.conc[0], expected);

  const float before = CONTROUTH.conc[0];
  for (int k = 0; k < 1000; ++k) POSITIONS.z[k] = 4.0f;
  CONTROUT(7200.0, false);
  EXPECT_EQ(CONTROUTH.conc[0], before);
}

TEST_F(Controut, EachSettlingGroupTakesItsOwnTable) {
  // 300 broken flocs (table 1) and 700 others (table 2) in the cylinder,
  // a layer from 1 to 3 m: table 1 holds 0.6 of its class there, table 2 0.4.
  setup("1\n0 0 10 1 3\n");
  packets(1000, 300, 0.0f, 0.0f);
  CONTROUT(3600.0, false);
  const float area = 3.14159f * 100.0f;
  const double expected = (0.6 * (300 * 2.0 / area) + 0.4 * (700 * 2.0 / area)) / 2.0;
  EXPECT_NEAR(CONTROUTH.conc[0], expected, 1e-5 * expected);
}

TEST_F(Controut, PacketsAtTheRadiusCountAndThePointsAreIndependent) {
  setup("3\n0 0 5 0 5\n3 4 0.5 0 5\n-100 0 1 0 5\n");
  PACKETS.ktotal = 3;
  PACKETS.pmass = 1.0f;
  POSITIONS.x[0] = 3.0f;  POSITIONS.y[0] = 4.0f;   // at 5 m from point 1, on point 2
  POSITIONS.x[1] = 0.0f;  POSITIONS.y[1] = 5.01f;  // just outside point 1
  POSITIONS.x[2] = 2.9f;  POSITIONS.y[2] = 3.9f;   // inside both
  CONTROUT(3600.0, false);
  // Table 2 holds 0.98 of its class between 0 and 5 m (0.02 below its
  // first level): conc = 0.98 N pmass / (A * 5).
  EXPECT_FLOAT_EQ(CONTROUTH.conc[0], 0.98f * 2.0f / (3.14159f * 25.0f) / 5.0f);
  EXPECT_FLOAT_EQ(CONTROUTH.conc[1], 0.98f * 2.0f / (3.14159f * 0.25f) / 5.0f);
  EXPECT_EQ(CONTROUTH.conc[2], 0.0f);
}

TEST_F(Controut, CountsAreRightAcrossManyBlocksAndTheGroupBoundary) {
  // More packets than one pass block, the group boundary inside a block:
  // every other packet inside the radius.
  setup("1\n0 0 1 0 5\n");
  const std::int32_t n = 5003;
  PACKETS.ktotal = n;
  PACKETS.kbreak = 2049;
  PACKETS.pmass = 1.0f;
  for (std::int32_t k = 0; k < n; ++k) POSITIONS.x[k] = (k % 2 == 0) ? 0.5f : 2.0f;
  CONTROUT(3600.0, false);
  const float area = 3.14159f;
  const double fw = double(PDFATZ(5.0f, PDFVI.table[0])) - double(PDFATZ(0.0f, PDFVI.table[0]));
  const double fi = double(PDFATZ(5.0f, PDFVI.table[1])) - double(PDFATZ(0.0f, PDFVI.table[1]));
  const double expected = (fw * (1025 / area) + fi * (1477 / area)) / 5.0;
  EXPECT_NEAR(CONTROUTH.conc[0], expected, 1e-5 * expected);
}

TEST_F(Controut, NoPacketsIsNoErrorAndGivesZero) {
  setup("1\n0 0 5 0.5 1.5\n");
  CONTROUTH.conc[0] = 7.0f;
  CONTROUT(3600.0, false);
  EXPECT_EQ(CONTROUTH.conc[0], 0.0f);
  collect();
  EXPECT_EQ(count(log, " Called Cncentr1 with total packets =            0"), 1u);
}

TEST_F(Controut, EvaluatingWithoutPointsStops) {
  open();
  PACKETS.ktotal = 10;
  float result[CMAX];
  EXPECT_TRUE(stops([&] {
    CNCENTR1(CONTRIN.xpt, CONTRIN.ypt, CONTRIN.radius, CONTRIN.zlow, CONTRIN.ztop, result, 0);
  }));
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0], " Cncentr1: ctotal =            0");
  EXPECT_EQ(log[1], " Trying to calculate concentration at ctotal =            0 points.");
  EXPECT_EQ(log[2], " Not a good idea. I quit");
  EXPECT_EQ(console, (std::vector<std::string>{" Stopping in subroutine Cncentr1.  Read echo file"}));
}

}  // namespace
