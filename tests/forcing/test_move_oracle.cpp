// MOVEHORIZ against the straightforward move (VELHORIZ for one packet
// after another) on random grids, heights and velocities, with both
// kernels and several thread counts, including a packet above the top node
// in the middle of a block.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "forcing/forcingtest.hpp"
#include "forcing/velhoriz.hpp"
#include "runtime/workers.hpp"

namespace {

constexpr KernelPath kPaths[] = {KernelPath::sse2, KernelPath::avx2, KernelPath::avx512};

// MOVEHORIZ_reference: the one-packet profile for each packet in order.
void MOVEHORIZ_reference(float* x, float* y, const float* z, std::int32_t ktotal, double dt,
                         std::int32_t nnv, const float* h, const float* uu, const float* vv) {
  for (std::int32_t i = 0; i < ktotal; ++i) {
    float u;
    float v;
    VELHORIZ(u, v, z[i], uu, vv, h, nnv);
    x[i] = x[i] + static_cast<float>(dt * u);
    y[i] = y[i] + static_cast<float>(dt * v);
  }
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b, std::string& where) {
  for (std::size_t k = 0; k < a.size(); ++k) {
    if (std::memcmp(&a[k], &b[k], sizeof(float)) != 0) {
      where = "packet " + std::to_string(k + 1) + ": " + std::to_string(a[k]) + " for " +
              std::to_string(b[k]);
      return false;
    }
  }
  return true;
}

class MoveOracle : public forcingtest::Fixture {
 protected:
  void TearDown() override {
    startWorkers(1);
    useWideKernels(true);
    Fixture::TearDown();
  }
  std::mt19937 gen{4711};
  float uniform(float a, float b) { return std::uniform_real_distribution<float>(a, b)(gen); }
  int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(gen); }
};

}  // namespace

TEST_F(MoveOracle, TheBlockMoveIsTheOnePacketMoveBitForBit) {
  open();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  int compared = 0;
  for (std::int32_t nnv : {1, 2, 3, 8, 9, 10, 17, 18, 19, 24, 25, 26, 40, 119}) {
    for (int trial = 0; trial < 6; ++trial) {
      // A grid increasing strictly (once in a while with two equal heights,
      // which the block kernels leave to the one-packet move).
      std::vector<float> h(nnv), uu(nnv), vv(nnv);
      float height = uniform(0.01f, 0.2f);
      for (std::int32_t m = 0; m < nnv; ++m) {
        h[m] = height;
        height += below(8) == 0 ? std::ldexp(1.0f, -20) : uniform(0.01f, 2.0f);
        uu[m] = below(6) == 0 ? -0.0f : uniform(-0.5f, 0.5f);
        vv[m] = below(6) == 0 ? 0.0f : uniform(-0.5f, 0.5f);
      }
      if (trial == 5 && nnv > 2) h[nnv / 2] = h[nnv / 2 - 1];
      const double dt = trial == 4 ? 0.1 : (trial == 3 ? 3600.0 : 60.0);
      const std::int32_t n = 1 + below(700);
      std::vector<float> x(n + 5), y(n + 5), z(n + 5);
      for (std::int32_t k = 0; k < n + 5; ++k) {
        x[k] = below(8) == 0 ? -0.0f : uniform(-5000.0f, 5000.0f);
        y[k] = below(8) == 0 ? -0.0f : uniform(-5000.0f, 5000.0f);
        switch (below(8)) {
          case 0:
            z[k] = h[below(nnv)];  // on a node
            break;
          case 1:
            z[k] = below(2) ? h[0] * 0.5f : (below(2) ? -0.0f : nan);  // below the bottom, or no number
            break;
          default:
            z[k] = nnv == 1 ? h[0] : uniform(h[0], h[nnv - 1]);
        }
      }
      std::vector<float> ex = x, ey = y;
      MOVEHORIZ_reference(ex.data(), ey.data(), z.data(), n, dt, nnv, h.data(), uu.data(), vv.data());
      for (KernelPath path : kPaths) {
        if (!useKernelPath(path)) continue;  // the processor lacks it
        for (int threads : {1, 2, 3}) {
          startWorkers(threads);
          std::vector<float> fx = x, fy = y;
          MOVEHORIZ(fx.data(), fy.data(), z.data(), n, dt, nnv, h.data(), uu.data(), vv.data());
          std::string where;
          const std::string label = "nnv " + std::to_string(nnv) + " trial " + std::to_string(trial) +
                                    " " + kernelPathName(path) + " threads " + std::to_string(threads);
          ASSERT_TRUE(sameBits(fx, ex, where)) << label << " x " << where;
          ASSERT_TRUE(sameBits(fy, ey, where)) << label << " y " << where;
          ++compared;
        }
      }
    }
  }
  int paths = 0;
  for (KernelPath path : kPaths) paths += processorRuns(path);
  EXPECT_EQ(compared, 14 * 6 * 3 * paths);
}

// A packet above the top node in the middle of a block stops the run with
// the one-packet move's message; with one thread the packets before it
// have moved and the others have not, as in the one-packet move.
TEST_F(MoveOracle, APacketAboveTheTopNodeStopsAsTheOnePacketMoveDoes) {
  open();
  const std::vector<float> h = {0.05f, 0.1f, 0.3f, 0.8f, 1.5f, 3.0f, 6.0f, 11.0f};
  const std::vector<float> uu = {0.0f, 0.05f, 0.1f, 0.15f, 0.2f, 0.22f, 0.25f, 0.3f};
  const std::vector<float> vv = {0.0f, 0.01f, 0.02f, 0.03f, 0.04f, 0.05f, 0.06f, 0.07f};
  const std::int32_t n = 203;
  for (std::int32_t bad : {1, 19, 100, 203}) {
    std::vector<float> x(n), y(n), z(n);
    for (std::int32_t k = 0; k < n; ++k) {
      x[k] = static_cast<float>(k);
      y[k] = -static_cast<float>(k);
      z[k] = uniform(0.0f, 11.0f);
    }
    z[bad - 1] = 11.5f;
    z[n - 1 - (bad % 7)] = bad == n ? z[n - 1] : 12.0f;  // a later one too
    std::vector<float> ex = x, ey = y;
    ASSERT_TRUE(stops([&] {
      MOVEHORIZ_reference(ex.data(), ey.data(), z.data(), n, 60.0, 8, h.data(), uu.data(), vv.data());
    }));
    const std::vector<std::string> console0 = console, log0 = log;
    for (KernelPath path : kPaths) {
      if (!useKernelPath(path)) continue;  // the processor lacks it
      for (int threads : {1, 2, 3}) {
        startWorkers(threads);
        std::vector<float> fx = x, fy = y;
        const std::size_t lines = console.size();
        ASSERT_TRUE(stops([&] {
          MOVEHORIZ(fx.data(), fy.data(), z.data(), n, 60.0, 8, h.data(), uu.data(), vv.data());
        }));
        const std::string label = "packet " + std::to_string(bad) + " " + kernelPathName(path) +
                                  " threads " + std::to_string(threads);
        ASSERT_EQ(console.size(), lines + 1) << label;
        EXPECT_EQ(console.back(), console0.back()) << label;
        EXPECT_EQ(log.back(), log0.back()) << label;
        if (threads == 1) {
          std::string where;
          EXPECT_TRUE(sameBits(fx, ex, where)) << label << " x " << where;
          EXPECT_TRUE(sameBits(fy, ey, where)) << label << " y " << where;
        }
      }
    }
  }
}
