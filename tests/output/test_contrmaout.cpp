// The concentration map: grid set-up and its refusals, the header, the
// cell index rule, the frames, and the mass the cells account for.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "output/concfixture.hpp"
#include "output/contrmaout.hpp"
#include "state/outputs.hpp"
#include "state/packets.hpp"
#include "state/timing.hpp"

namespace {

using forcingtest::count;

class Contrmaout : public conctest::Fixture {
 protected:
  void SetUp() override {
    Fixture::SetUp();
    conctest::fillTables();
    TIMINGIN.ttotal = 10 * 3600.0;
  }
  void setup(const std::string& input, bool writemap = true) {
    open(input);
    CONTRMAPIN.unit = openOut("map.out");
    CONTRMAPIN.writemap = writemap;
    CONTRMAPIN.dtout = 3 * 3600.0;
    CONTRMAOUT(0.0, true);
  }
  void packet(std::int32_t k, float x, float y) {
    POSITIONS.x[k] = x;
    POSITIONS.y[k] = y;
    POSITIONS.z[k] = 1.0f;
  }
  // Packets in cell (i, j) of the latest evaluation (pmass 1).
  float cellCount(int i, int j) {
    return CONTRMAPWORK.colmap[j - 1][i - 1] * std::fabs(CONTRMAPWORK.dx * CONTRMAPWORK.dy);
  }
};

TEST_F(Contrmaout, HeaderHoldsFrameCountAndGridInKilometres) {
  setup("3 0 200 2 -1000 1000 0.5 1.5\n");
  auto r = fileRecords("map.out");
  ASSERT_EQ(r.size(), 8u);
  EXPECT_EQ(r[0], "            3");  // 10 h / 3 h
  EXPECT_EQ(r[1], "            3");
  EXPECT_EQ(r[2], "   0.0000000E+00");
  EXPECT_EQ(r[3], "   0.1000000    ");
  EXPECT_EQ(r[4], "   0.2000000    ");
  EXPECT_EQ(r[5], "            2");
  EXPECT_EQ(r[6], "   -1.000000    ");
  EXPECT_EQ(r[7], "    1.000000    ");
  collect();
  EXPECT_EQ(count(log, " Contrmaout: concentration map output"), 1u);
}

TEST_F(Contrmaout, AxesAreClippedTo301WithoutAMessage) {
  setup("400 0 300 2 0 1 0 1\n");
  EXPECT_EQ(CONTRMAPIN.nx, 301);
  EXPECT_EQ(CONTRMAPIN.ny, 2);
  EXPECT_EQ(CONTRMAPWORK.dx, 1.0f);
  auto r = fileRecords("map.out");
  EXPECT_EQ(r.size(), 1u + 1u + 301u + 1u + 2u);
  EXPECT_EQ(r[1], "          301");
  collect();
  EXPECT_EQ(log.size(), 1u);
  EXPECT_TRUE(console.empty());
}

TEST_F(Contrmaout, GridsThatWouldDivideByZeroAreRefused) {
  const char* bad[] = {"1 0 200 3 0 200 0 1\n", "3 0 200 0 0 200 0 1\n",
                       "3 0 200 3 0 200 1 1\n", "3 5 5 3 0 200 0 1\n", "3 0 200 3 7 7 0 1\n"};
  const char* why[] = {" Too few map grid points (2 needed): nx, ny            1           3",
                       " Too few map grid points (2 needed): nx, ny            3           0",
                       " Map layer of zero thickness: zlow, ztop ",
                       " Map of no extent along x: x0, x1 ", " Map of no extent along y: y0, y1 "};
  for (int c = 0; c < 5; ++c) {
    rio::abandonAllUnits();
    resetAllState();
    EXPECT_TRUE(stops([&] { setup(bad[c]); })) << bad[c];
    EXPECT_EQ(console, (std::vector<std::string>{" contrmaout: ***Stopping***", " Read echo file"}));
    ASSERT_EQ(log.size(), 3u) << bad[c];
    EXPECT_EQ(log[1], " ***contrmaout*** ");
    EXPECT_EQ(log[2].rfind(why[c], 0), 0u) << log[2];
    EXPECT_EQ(testutil::readFile("map.out"), "");
  }
}

TEST_F(Contrmaout, CellsCoverHalfASpacingEachSideOfTheirPoints) {
  // Cells centred on 0, 100, 200 m cover -50 <= x < 250.
  setup("3 0 200 3 0 200 0.5 1.5\n", false);
  PACKETS.pmass = 1.0f;
  const float xs[] = {-50.0f, -50.01f, 49.99f, 50.0f, 249.9f, 250.0f, 1e30f,
                      std::numeric_limits<float>::quiet_NaN(), -1e30f};
  for (int k = 0; k < 9; ++k) packet(k, xs[k], 0.0f);
  PACKETS.ktotal = 9;
  CONTRMAOUT(3600.0, false);
  EXPECT_EQ(cellCount(1, 1), 2.0f);  // -50 and 49.99
  EXPECT_EQ(cellCount(2, 1), 1.0f);  // 50
  EXPECT_EQ(cellCount(3, 1), 1.0f);  // 249.9
  for (int j = 2; j <= 3; ++j)
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(cellCount(i, j), 0.0f);
}

TEST_F(Contrmaout, AFrameOfATwoByTwoGridIsNineLinesXFastest) {
  setup("2 0 10 2 0 10 0 5\n");
  PACKETS.pmass = 1.0f;
  std::int32_t k = 0;
  const float cx[] = {0, 10, 0, 10}, cy[] = {0, 0, 10, 10};
  for (int c = 0; c < 4; ++c)
    for (int n = 0; n <= c; ++n) packet(k++, cx[c], cy[c]);  // 1, 2, 3, 4 packets
  PACKETS.ktotal = k;
  CONTRMAOUT(86400.0, false);
  auto r = fileRecords("map.out");
  ASSERT_EQ(r.size(), 7u + 9u);  // header 1 + 1 + 2 + 1 + 2
  EXPECT_EQ(r[7], "    1.000000000000000     ");
  // Cell area 100 m2: column loads 0.01, 0.02, 0.03, 0.04 g/m2 in that order;
  // table 2 puts 0.98 of them between 0 and 5 m.
  const float loads[] = {0.01f, 0.02f, 0.03f, 0.04f};
  for (int c = 0; c < 4; ++c) {
    EXPECT_NEAR(std::stof(r[9 + 2 * c]), loads[c], 1e-7) << c;
    EXPECT_NEAR(std::stof(r[8 + 2 * c]), 0.98f * loads[c] / 5.0f, 1e-8) << c;
  }
  EXPECT_FLOAT_EQ(CONTRMAPOUT.cmap[1][0], 0.98f * 0.03f / 5.0f);
}

TEST_F(Contrmaout, CellLoadsTimesAreaAddUpToTheMassInsideTheGrid) {
  setup("41 -2000 2000 31 -1500 1500 0.2 2.2\n", false);
  PACKETS.pmass = 0.37f;
  const std::int32_t n = 20000;
  std::uint32_t s = 99;
  std::int32_t inside = 0;
  for (std::int32_t k = 0; k < n; ++k) {
    s = s * 1664525u + 1013904223u;
    const float x = static_cast<float>(s >> 8) / 16777216.0f * 5000.0f - 2500.0f;
    s = s * 1664525u + 1013904223u;
    const float y = static_cast<float>(s >> 8) / 16777216.0f * 4000.0f - 2000.0f;
    packet(k, x, y);
    // The grid's cells span -2050..2050 by -1550..1550.
    inside += (x >= -2050.0f && x < 2050.0f && y >= -1550.0f && y < 1550.0f);
  }
  PACKETS.ktotal = n;
  PACKETS.kbreak = 7000;
  CONTRMAOUT(3600.0, false);
  const double area = double(CONTRMAPWORK.dx) * CONTRMAPWORK.dy;
  double mass = 0, conc = 0;
  for (int j = 0; j < 31; ++j)
    for (int i = 0; i < 41; ++i) {
      mass += CONTRMAPWORK.colmap[j][i] * area;
      conc += CONTRMAPOUT.cmap[j][i];
    }
  ASSERT_GT(inside, 0);
  ASSERT_LT(inside, n);
  EXPECT_NEAR(mass, inside * 0.37, 1e-5 * inside * 0.37);
  EXPECT_GT(conc, 0.0);
}

TEST_F(Contrmaout, AGridNeverSetUpBinsNothing) {
  // The biology map without the map: the grid has no cells.
  open();
  CONTRMAPIN.dtout = 3600.0;
  PACKETS.ktotal = 5;
  PACKETS.pmass = 1.0f;
  for (int k = 0; k < 5; ++k) packet(k, 0.0f, 0.0f);
  CONTRMAOUT(3600.0, false);
  EXPECT_EQ(CONTRMAPOUT.cmap[0][0], 0.0f);
  EXPECT_EQ(CONTRMAPWORK.colmap[0][0], 0.0f);
}

}  // namespace
