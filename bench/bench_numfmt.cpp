// Cost of the hot output path: one F15.6 field of a float, and one packet
// record of 2(1X,F15.6),1X,F10.6 written into a sink that discards it.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "rio/layout.hpp"
#include "rio/numfmt.hpp"

namespace {

// Positions like those of a packet cloud: metres to kilometres, and heights
// of a few metres.
std::vector<float> samples(std::size_t n, float scale, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> u(-scale, scale);
  std::vector<float> v(n);
  for (float& x : v) x = u(rng);
  return v;
}

void BM_EditF_15_6_float(benchmark::State& state) {
  std::vector<float> v = samples(4096, 20000.0f, 1);
  char out[15];
  std::size_t k = 0;
  for (auto _ : state) {
    rio::editF(out, 15, 6, v[k++ & 4095]);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_EditF_15_6_float);

void BM_EditE_12_5_float(benchmark::State& state) {
  std::vector<float> v = samples(4096, 20000.0f, 2);
  char out[12];
  std::size_t k = 0;
  for (auto _ : state) {
    rio::editE(out, 12, 5, v[k++ & 4095]);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_EditE_12_5_float);

struct Discard : rio::RecordOut {
  std::size_t bytes = 0;
  void record(const char*, std::size_t n) override { bytes += n; }
};

void BM_PacketRecord(benchmark::State& state) {
  std::vector<float> x = samples(4096, 20000.0f, 3);
  std::vector<float> y = samples(4096, 20000.0f, 4);
  std::vector<float> z = samples(4096, 5.0f, 5);
  rio::Layout layout("2(1X,F15.6),1X,F10.6");
  Discard out;
  rio::LayoutWriter w(layout, out);
  std::size_t k = 0;
  for (auto _ : state) {
    std::size_t i = k++ & 4095;
    w.put(x[i]);
    w.put(y[i]);
    w.put(z[i] < 0 ? -z[i] : z[i]);
    w.end();
  }
  benchmark::DoNotOptimize(out.bytes);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_PacketRecord);

}  // namespace
