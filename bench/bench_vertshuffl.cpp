// One VERTSHUFFL step of method 3 (the sweep with exchanges) over
// 1,001,000 packets with a mixing time of 60 steps: about 16,700
// exchanges, each with a packet drawn at random. Time per exchange.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "random/ranf1.hpp"
#include "state/limits.hpp"
#include "state/packets.hpp"
#include "state/shuffling.hpp"
#include "vertical/vertshuffl.hpp"

namespace {

void BM_VertShufflSweep(benchmark::State& state) {
  resetRandomPackage();
  SETALL(1234567890, 123456789);
  for (int k = 0; k < KMAX; ++k) RANKS.ranks[k] = RANF();
  PACKETS.ktotal = KMAX;
  SHUFFLINGIN.vmethod = 3;
  SHUFFLINGMID.fracmix = 1.0 / 60.0;
  SHUFFLINGMID.kstart = 1;
  SHUFFLINGMID.nsweep = 1;
  const auto kmix = static_cast<std::int64_t>(KMAX * SHUFFLINGMID.fracmix);
  for (auto _ : state) {
    std::int32_t errorcode = 0;
    VERTSHUFFL(0, errorcode);
    benchmark::DoNotOptimize(errorcode);
    benchmark::ClobberMemory();
  }
  state.counters["per_exchange"] = benchmark::Counter(
      static_cast<double>(kmix), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_VertShufflSweep)->Unit(benchmark::kMicrosecond);

}  // namespace
