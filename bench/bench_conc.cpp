// The two per-step passes over the packets of the concentration outputs:
// a CONTRMAOUT evaluation (binning into a 301 x 301 grid, no frame written)
// and a CNCENTR1 evaluation of 50 points, both over 1,001,000 packets
// spread over a few kilometres, a third of them broken flocs.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "output/contrmaout.hpp"
#include "output/controut.hpp"
#include "state/limits.hpp"
#include "state/outputs.hpp"
#include "state/packets.hpp"
#include "state/pdfvi.hpp"

namespace {

constexpr int kPackets = 1001000;

void fillPackets() {
  std::uint32_t s = 12345;
  auto next = [&s] {
    s = s * 1664525u + 1013904223u;
    return static_cast<float>(s >> 8) / 16777216.0f;
  };
  for (int k = 0; k < kPackets; ++k) {
    POSITIONS.x[k] = next() * 4000.0f - 2000.0f;
    POSITIONS.y[k] = next() * 3000.0f - 1500.0f;
    POSITIONS.z[k] = next() * 5.0f;
  }
  PACKETS.ktotal = kPackets;
  PACKETS.kbreak = kPackets / 3;
  PACKETS.pmass = 0.01f;
  for (int i = 0; i < NPDF; ++i) {
    const float z = 0.1f * static_cast<float>(i + 1);
    PDFVI.table[0].zlev[i] = PDFVI.table[1].zlev[i] = z;
    PDFVI.table[0].cum[i] = z / 5.0f;
    PDFVI.table[1].cum[i] = z / 5.0f;
  }
}

void BM_ContrmaoutBinning(benchmark::State& state) {
  fillPackets();
  // The grid as set-up leaves it: 301 x 301 points over 3 by 2.4 km.
  CONTRMAPIN.nx = CONTRMAPIN.ny = MAPMAX;
  CONTRMAPIN.zlow = 0.5f;
  CONTRMAPIN.ztop = 1.5f;
  CONTRMAPIN.writemap = false;
  CONTRMAPWORK.dx = 10.0f;
  CONTRMAPWORK.dy = 8.0f;
  for (int i = 0; i < MAPMAX; ++i) {
    CONTRMAPWORK.xg[i] = -1500.0f + 10.0f * static_cast<float>(i);
    CONTRMAPWORK.yg[i] = -1200.0f + 8.0f * static_cast<float>(i);
  }
  for (auto _ : state) {
    CONTRMAOUT(3600.0, false);
    benchmark::DoNotOptimize(CONTRMAPOUT.cmap);
    benchmark::ClobberMemory();
  }
  state.counters["per_packet"] = benchmark::Counter(
      kPackets, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ContrmaoutBinning)->Unit(benchmark::kMillisecond);

void BM_Cncentr1FiftyPoints(benchmark::State& state) {
  fillPackets();
  float xpt[CMAX], ypt[CMAX], radius[CMAX], zlow[CMAX], ztop[CMAX], result[CMAX];
  for (int i = 0; i < CMAX; ++i) {
    xpt[i] = -1800.0f + 75.0f * static_cast<float>(i);
    ypt[i] = 30.0f * static_cast<float>(i % 10) - 150.0f;
    radius[i] = 50.0f + static_cast<float>(i);
    zlow[i] = 0.5f;
    ztop[i] = 1.5f;
  }
  for (auto _ : state) {
    CNCENTR1(xpt, ypt, radius, zlow, ztop, result, CMAX);
    benchmark::DoNotOptimize(result);
    benchmark::ClobberMemory();
  }
  state.counters["per_packet"] = benchmark::Counter(
      kPackets, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Cncentr1FiftyPoints)->Unit(benchmark::kMillisecond);

}  // namespace
