// One ABRVERTPOS2 pass: the heights of 1,001,000 packets from their ranks
// through two 50-level tables (Rouse numbers 0.3 and 1.2 between 0.1 m and
// 10 m), half the packets in each class; and one PLACEANDMOVE pass, the
// same placing with the move of bench_movehoriz's grid, as a run steps.
// Arguments: the kernel path (0 sse2, 1 avx2, 2 avx512; skipped when the
// processor lacks it) and the threads.
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

// Takes the path of the first argument; false (the benchmark skipped)
// when the processor cannot run it.
bool takePath(benchmark::State& state) {
  if (useKernelPath(static_cast<KernelPath>(state.range(0)))) return true;
  state.SkipWithError("the processor cannot run this kernel path");
  return false;
}

template <class Pass>
void run(benchmark::State& state, Pass pass) {
  setUp();
  if (!takePath(state)) return;
  startWorkers(static_cast<int>(state.range(1)));
  for (auto _ : state) {
    pass();
    benchmark::DoNotOptimize(POSITIONS.z);
    benchmark::ClobberMemory();
  }
  startWorkers(1);
  useWideKernels(true);
  // Time per packet.
  state.counters["per_packet"] = benchmark::Counter(
      KMAX, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

const float kHeights[8] = {0.05f, 0.1f, 0.2f, 0.5f, 1.0f, 3.0f, 6.0f, 11.0f};
const float kU[8] = {0.0f, 0.05f, 0.08f, 0.11f, 0.15f, 0.2f, 0.24f, 0.26f};
const float kV[8] = {0.0f, -0.01f, -0.02f, -0.03f, -0.04f, -0.05f, -0.05f, -0.06f};

void BM_AbrVertPosOnePass(benchmark::State& state) { run(state, [] { ABRVERTPOS2(); }); }
void BM_PlaceAndMoveOnePass(benchmark::State& state) {
  run(state, [] { PLACEANDMOVE(60.0, 8, kHeights, kU, kV); });
}

void paths(benchmark::internal::Benchmark* b) {
  b->ArgNames({"path", "threads"});
  for (int p = 0; p < 3; ++p) b->Args({p, 1});
  b->Args({2, 2});
}
BENCHMARK(BM_AbrVertPosOnePass)->Apply(paths)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlaceAndMoveOnePass)->Apply(paths)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
