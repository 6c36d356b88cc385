// The random number package: cost of one RANF draw, and of the draw that
// initialises the packet store (one rank per slot, KMAX slots, in order).
#include <benchmark/benchmark.h>

#include <vector>

#include "random/ranf1.hpp"
#include "state/limits.hpp"

namespace {

void BM_Ranf(benchmark::State& state) {
  resetRandomPackage();
  SETALL(1234567890, 123456789);
  for (auto _ : state) {
    benchmark::DoNotOptimize(RANF());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Ranf);

void BM_RanfExact(benchmark::State& state) {
  resetRandomPackage();
  SETALL(1234567890, 123456789);
  for (auto _ : state) {
    benchmark::DoNotOptimize(RANFEXACT());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RanfExact);

void BM_PacketStoreRanks(benchmark::State& state) {
  static std::vector<float> ranks(KMAX);
  resetRandomPackage();
  SETALL(1234567890, 123456789);
  for (auto _ : state) {
    for (int k = 0; k < KMAX; ++k) ranks[k] = RANF();
    benchmark::DoNotOptimize(ranks.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * KMAX);
}
BENCHMARK(BM_PacketStoreRanks)->Unit(benchmark::kMillisecond);

}  // namespace
