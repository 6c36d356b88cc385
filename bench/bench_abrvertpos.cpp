// One ABRVERTPOS2 pass: the heights of 1,001,000 packets from their ranks
// through two 50-level tables (Rouse numbers 0.3 and 1.2 between 0.1 m and
// 10 m), half the packets in each class. Argument: threads (the figure of
// the issue is the one-thread one); the portable kernel for comparison.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "runtime/workers.hpp"
#include "state/heights.hpp"
#include "state/limits.hpp"
#include "state/packets.hpp"
#include "state/pdfvi.hpp"
#include "vertical/abrvertpos.hpp"
#include "vertical/pdfcompute.hpp"

namespace {

void setUp() {
  HEIGTHS.href = 0.1f;
  HEIGTHS.hmax = 10.0f;
  PDFCOMPUTE(PDFVI.table[0], 1.0f, 0.3f);
  PDFCOMPUTE(PDFVI.table[1], 1.0f, 1.2f);
  std::uint32_t s = 12345;
  for (int k = 0; k < KMAX; ++k) {
    s = s * 1664525u + 1013904223u;
    RANKS.ranks[k] = (static_cast<float>(s >> 9) + 0.5f) / 8388608.0f;  // in (0, 1), exact
  }
  PACKETS.ktotal = KMAX;
  PACKETS.kbreak = KMAX / 2;
}

void run(benchmark::State& state) {
  setUp();
  startWorkers(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    ABRVERTPOS2();
    benchmark::DoNotOptimize(POSITIONS.z);
    benchmark::ClobberMemory();
  }
  startWorkers(1);
  // Time per packet.
  state.counters["per_packet"] = benchmark::Counter(
      KMAX, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_AbrVertPosOnePass(benchmark::State& state) { run(state); }
BENCHMARK(BM_AbrVertPosOnePass)->ArgName("threads")->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AbrVertPosOnePass)->ArgName("threads")->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_AbrVertPosOnePassPortable(benchmark::State& state) {
  useWideKernels(false);
  run(state);
  useWideKernels(true);
}
BENCHMARK(BM_AbrVertPosOnePassPortable)->ArgName("threads")->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
