// Heights from ranks through the two profile tables.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "forcing/forcingtest.hpp"
#include "state/heights.hpp"
#include "state/packets.hpp"
#include "state/pdfvi.hpp"
#include "vertical/abrvertpos.hpp"
#include "vertical/pdfcompute.hpp"

namespace {

class VertPos : public forcingtest::Fixture {
 protected:
  void SetUp() override {
    Fixture::SetUp();
    HEIGTHS.href = 0.1f;
    HEIGTHS.hmax = 10.0f;
    PDFCOMPUTE(PDFVI.table[0], 1.0f, 0.5f);
    PDFCOMPUTE(PDFVI.table[1], 1.0f, 1.5f);
  }
  void packets(const std::vector<float>& r, std::int32_t kbreak) {
    for (std::size_t k = 0; k < r.size(); ++k) RANKS.ranks[k] = r[k];
    PACKETS.ktotal = static_cast<std::int32_t>(r.size());
    PACKETS.kbreak = kbreak;
  }
  const PdfTable& t1 = PDFVI.table[0];
  const PdfTable& t2 = PDFVI.table[1];
  float* z = POSITIONS.z;
};

}  // namespace

TEST_F(VertPos, RanksAtTheLevelsAndBetween) {
  const float mid = 0.5f * (t2.cum[6] + t2.cum[7]);
  packets({t2.cum[0], t2.cum[1], t2.cum[30], t2.cum[49], mid, 1e-30f}, 0);
  z[6] = -1;  // beyond ktotal: untouched
  ABRVERTPOS2();
  EXPECT_EQ(z[0], 0.05f);  // the unsuspended fraction at half href (cum(1) = 0)
  EXPECT_EQ(z[1], t2.zlev[1]);
  EXPECT_EQ(z[2], t2.zlev[30]);
  EXPECT_EQ(z[3], t2.zlev[49]);
  const double expect = t2.zlev[6] + (double(t2.zlev[7]) - t2.zlev[6]) * (double(mid) - t2.cum[6]) /
                                         (double(t2.cum[7]) - t2.cum[6]);
  EXPECT_NEAR(z[4], expect, 1e-7);
  EXPECT_EQ(z[5], 0.1f);  // the smallest rank above cum(1) is suspended, at href
  EXPECT_LT(z[5], t2.zlev[1]);
  EXPECT_EQ(z[6], -1.0f);
  EXPECT_EQ(RANKS.ranks[4], mid);  // ranks are not changed
}

TEST_F(VertPos, TheTwoClassesUseTheirOwnTables) {
  const std::vector<float> r = {0.3f, 0.6f, 0.9f, 0.3f, 0.6f, 0.9f};
  auto place = [&](std::int32_t kbreak) {
    packets(r, kbreak);
    ABRVERTPOS2();
    return std::vector<float>(z, z + 6);
  };
  const std::vector<float> all2 = place(0);
  const std::vector<float> all1 = place(6);
  for (int k = 0; k < 6; ++k) EXPECT_GT(all1[k], all2[k]);  // Rouse 0.5 reaches higher than 1.5
  const std::vector<float> split = place(3);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(split[k], all1[k]);
  for (int k = 3; k < 6; ++k) EXPECT_EQ(split[k], all2[k]);

  PACKETS.ktotal = 0;  // no packets: nothing written
  z[0] = -3;
  ABRVERTPOS2();
  EXPECT_EQ(z[0], -3.0f);
}

TEST_F(VertPos, NothingSuspendedSitsAtTheBed) {
  PDFCOMPUTE(PDFVI.table[1], 0.0f, 0.5f);
  packets({0.1f, 0.5f, 0.99999994f}, 0);
  ABRVERTPOS2();
  for (int k = 0; k < 3; ++k) EXPECT_EQ(z[k], 0.05f);
}

TEST_F(VertPos, ARankAboveTheTopOfTable2Stops) {
  open();
  PDFVI.table[1].cum[49] = 0.99999988f;
  packets({0.5f, 0.4f, 0.99999994f}, 1);
  EXPECT_TRUE(stops([] { ABRVERTPOS2(); }));
  EXPECT_EQ(console, (std::vector<std::string>{" **Fatal Error in AbR_VertPos2: Ini**", " See log file"}));
  EXPECT_EQ(log, (std::vector<std::string>{
                     "",
                     " **Fatal Error in AbR_VertPos2: Ini**",
                     " Packet has a ranks larger than largest           ranks in table",
                     " k,ranks(k), maxranks            3  0.9999999      0.9999999    "}));
}

TEST_F(VertPos, ARankAboveTheTopOfTable1Stops) {
  open();
  PDFVI.table[0].cum[49] = 0.75f;
  packets({0.5f, 0.8f, 0.9f}, 2);
  EXPECT_TRUE(stops([] { ABRVERTPOS2(); }));
  EXPECT_EQ(console, (std::vector<std::string>{" **Fatal Error in AbR_VertPos2: **", " See log file"}));
  EXPECT_EQ(log, (std::vector<std::string>{
                     "",
                     " **Fatal Error in AbR_VertPos**",
                     " Packet has a ranks larger than largest r         ranks in table",
                     " k,ranks(k), maxranks            2  0.8000000      0.7500000    "}));
}

// A table spoilt by a value that is not a number (say a friction velocity
// that was not one) is reported like a rank above its top, instead of the
// search running off the end of the table.
TEST_F(VertPos, ATableWithoutATopIsReportedNotOverrun) {
  open();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (int i = 1; i < NPDF; ++i) PDFVI.table[1].cum[i] = nan;
  packets({0.5f}, 0);
  EXPECT_TRUE(stops([] { ABRVERTPOS2(); }));
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[1], " **Fatal Error in AbR_VertPos2: Ini**");
}
