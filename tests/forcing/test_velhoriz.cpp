// The velocity profile between the nodes, the packets carried with it, and
// the node velocities interpolated in time.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "forcing/forcingtest.hpp"
#include "forcing/interpvel.hpp"
#include "forcing/velhoriz.hpp"
#include "runtime/stop.hpp"

namespace {

const float kH[] = {0.05f, 0.2f, 1.0f};
const float kU[] = {0.0f, 0.2f, 0.4f};
const float kV[] = {0.0f, -0.1f, 0.1f};

float uAt(float z) {
  float u = -9;
  float v = -9;
  VELHORIZ(u, v, z, kU, kV, kH, 3);
  return u;
}

class VelHoriz : public forcingtest::Fixture {};

}  // namespace

TEST_F(VelHoriz, LinearBetweenNodesAndZeroBelowTheBottomNode) {
  EXPECT_FLOAT_EQ(uAt(0.6f), 0.3f);
  EXPECT_EQ(uAt(0.05f), 0.0f);  // the bottom node's own velocity
  EXPECT_EQ(uAt(0.04f), 0.0f);
  EXPECT_EQ(uAt(-1.0f), 0.0f);
  EXPECT_EQ(uAt(1.0f), 0.4f);   // the top node
  EXPECT_EQ(uAt(0.2f), 0.2f);   // a node from below takes that node's velocity
  EXPECT_FLOAT_EQ(uAt(0.125f), 0.1f);
  float u = 0;
  float v = 0;
  VELHORIZ(u, v, 0.6f, kU, kV, kH, 3);
  EXPECT_NEAR(v, 0.0f, 1e-7);
  VELHORIZ(u, v, 0.1f, kU, kV, kH, 3);
  EXPECT_FLOAT_EQ(v, -0.1f / 3);
}

TEST_F(VelHoriz, AHeightAboveTheTopNodeStopsTheRun) {
  open();
  float u = 0;
  float v = 0;
  EXPECT_TRUE(stops([&] { VELHORIZ(u, v, 1.01f, kU, kV, kH, 3); }));
  const std::string line = " VelHoriz: Big Trouble.  z zmax   1.010000       1.000000    ";
  EXPECT_EQ(console, (std::vector<std::string>{line}));
  EXPECT_EQ(log, (std::vector<std::string>{line}));
}

TEST_F(VelHoriz, PacketsMoveWithTheVelocityAtTheirHeight) {
  float x[] = {1.0f, 5.0f, 5.0f, 2.0f};
  float y[] = {0.0f, 3.0f, 3.0f, 2.0f};
  const float z[] = {0.6f, 0.04f, 0.05f, 0.6f};
  const float vnone[] = {0.0f, 0.0f, 0.0f};
  MOVEHORIZ(x, y, z, 3, 60.0, 3, kH, kU, vnone);
  EXPECT_FLOAT_EQ(x[0], 1.0f + 18.0f);  // 0.3 m/s for 60 s
  EXPECT_EQ(y[0], 0.0f);
  EXPECT_EQ(x[1], 5.0f);  // on the bed: at rest
  EXPECT_EQ(x[2], 5.0f);
  EXPECT_EQ(y[2], 3.0f);
  EXPECT_EQ(x[3], 2.0f);  // beyond ktotal
  EXPECT_EQ(z[0], 0.6f);

  MOVEHORIZ(x, y, z, 0, 60.0, 3, kH, kU, kV);  // no packets: nothing changes
  EXPECT_FLOAT_EQ(x[0], 19.0f);
  EXPECT_EQ(x[3], 2.0f);
}

// Every packet moves by dt times the profile's velocity at its height,
// rounded to single precision, whatever the other packets do.
TEST_F(VelHoriz, EachPacketMovesByTheProfileAtItsOwnHeight) {
  const float h[] = {0.05f, 0.1f, 0.5f, 1.0f, 4.0f, 9.5f};
  const float uu[] = {0.0f, 0.05f, 0.2f, 0.25f, 0.4f, 0.45f};
  const float vv[] = {0.0f, -0.02f, 0.03f, 0.1f, -0.2f, 0.0f};
  std::mt19937 gen(7);
  std::uniform_real_distribution<float> height(0.0f, 9.5f);
  const int n = 2000;
  std::vector<float> x(n), y(n), z(n);
  for (int k = 0; k < n; ++k) {
    z[k] = height(gen);
    x[k] = static_cast<float>(k);
    y[k] = -static_cast<float>(k);
  }
  z[0] = 9.5f;
  z[1] = 0.05f;
  const std::vector<float> z0 = z;
  MOVEHORIZ(x.data(), y.data(), z.data(), n, 120.0, 6, h, uu, vv);
  EXPECT_EQ(z, z0);
  for (int k = 0; k < n; ++k) {
    float u = 0;
    float v = 0;
    VELHORIZ(u, v, z[k], uu, vv, h, 6);
    ASSERT_EQ(x[k], static_cast<float>(k) + static_cast<float>(120.0 * u)) << k;
    ASSERT_EQ(y[k], -static_cast<float>(k) + static_cast<float>(120.0 * v)) << k;
    // Between two nodes the velocity lies between theirs.
    int j = 1;
    while (j < 5 && h[j] < z[k]) ++j;
    if (z[k] >= h[0]) {
      EXPECT_GE(u, std::min(uu[j - 1], uu[j]) - 1e-7f);
      EXPECT_LE(u, std::max(uu[j - 1], uu[j]) + 1e-7f);
    }
  }
}

TEST(InterpVel, WeightsTheTwoRecordsByTheTimeIntoTheInterval) {
  const float a[] = {1.0f, -2.0f, 0.4f};
  const float b[] = {5.0f, 2.0f, 0.8f};
  float out[4] = {9, 9, 9, 9};
  INTERPVEL(out, a, b, 3, 900.0, 3600.0);
  EXPECT_EQ(out[0], 2.0f);  // 0.75 a + 0.25 b
  EXPECT_EQ(out[1], -1.0f);
  EXPECT_FLOAT_EQ(out[2], 0.5f);
  EXPECT_EQ(out[3], 9.0f);  // beyond n
  INTERPVEL(out, a, b, 3, 5400.0, 3600.0);  // no clamping
  EXPECT_EQ(out[0], 7.0f);
}
