// One horizontal advection step: MOVEHORIZ over 1,001,000 packets on a
// 6-node grid, their heights spread over the whole grid (a few below the
// bottom node, at rest).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "forcing/velhoriz.hpp"

namespace {

constexpr int kPackets = 1001000;

const float kHeights[6] = {0.05f, 0.2f, 1.0f, 3.0f, 6.0f, 11.0f};
const float kU[6] = {0.0f, 0.08f, 0.15f, 0.2f, 0.24f, 0.26f};
const float kV[6] = {0.0f, -0.02f, -0.04f, -0.05f, -0.05f, -0.06f};

void BM_MoveHorizOneStep(benchmark::State& state) {
  std::vector<float> x(kPackets, 0.0f), y(kPackets, 0.0f), z(kPackets);
  std::uint32_t s = 12345;
  for (int k = 0; k < kPackets; ++k) {
    s = s * 1664525u + 1013904223u;
    z[k] = static_cast<float>(s >> 8) / 16777216.0f * 11.0f;  // 0 .. 11 m
  }
  for (auto _ : state) {
    MOVEHORIZ(x.data(), y.data(), z.data(), kPackets, 120.0, 6, kHeights, kU, kV);
    benchmark::DoNotOptimize(x.data());
    benchmark::DoNotOptimize(y.data());
    benchmark::ClobberMemory();
  }
  // Time per packet.
  state.counters["per_packet"] = benchmark::Counter(
      kPackets, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_MoveHorizOneStep)->Unit(benchmark::kMillisecond);

}  // namespace
