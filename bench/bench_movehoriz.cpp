// One horizontal advection step: MOVEHORIZ over 1,001,000 packets on an
// 8-node grid, their heights spread over the whole grid (a few below the
// bottom node, at rest). Arguments: the kernel path (0 sse2, 1 avx2,
// 2 avx512; skipped when the processor lacks it) and the threads.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "forcing/velhoriz.hpp"
#include "runtime/workers.hpp"

namespace {

constexpr int kPackets = 1001000;

const float kHeights[8] = {0.05f, 0.1f, 0.2f, 0.5f, 1.0f, 3.0f, 6.0f, 11.0f};
const float kU[8] = {0.0f, 0.05f, 0.08f, 0.11f, 0.15f, 0.2f, 0.24f, 0.26f};
const float kV[8] = {0.0f, -0.01f, -0.02f, -0.03f, -0.04f, -0.05f, -0.05f, -0.06f};

void run(benchmark::State& state) {
  std::vector<float> x(kPackets, 0.0f), y(kPackets, 0.0f), z(kPackets);
  std::uint32_t s = 12345;
  for (int k = 0; k < kPackets; ++k) {
    s = s * 1664525u + 1013904223u;
    z[k] = static_cast<float>(s >> 8) / 16777216.0f * 11.0f;  // 0 .. 11 m
  }
  if (!useKernelPath(static_cast<KernelPath>(state.range(0)))) {
    state.SkipWithError("the processor cannot run this kernel path");
    return;
  }
  startWorkers(static_cast<int>(state.range(1)));
  for (auto _ : state) {
    MOVEHORIZ(x.data(), y.data(), z.data(), kPackets, 60.0, 8, kHeights, kU, kV);
    benchmark::DoNotOptimize(x.data());
    benchmark::DoNotOptimize(y.data());
    benchmark::ClobberMemory();
  }
  startWorkers(1);
  useWideKernels(true);
  // Time per packet.
  state.counters["per_packet"] = benchmark::Counter(
      kPackets, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_MoveHorizOneStep(benchmark::State& state) { run(state); }
BENCHMARK(BM_MoveHorizOneStep)
    ->ArgNames({"path", "threads"})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Args({2, 1})
    ->Args({2, 2})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
