// Writing one packet frame: 1,001,000 records with the layout
// 2(1X,F15.6),1X,F10.6 through a unit to a file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "rio/layout.hpp"
#include "rio/units.hpp"

namespace {

constexpr int kPackets = 1001000;

struct Frame {
  std::vector<float> x, y, z;
  Frame() : x(kPackets), y(kPackets), z(kPackets) {
    // A cloud a few kilometres across, heights within 20 m of the bed.
    std::uint32_t s = 12345;
    auto next = [&s] {
      s = s * 1664525u + 1013904223u;
      return static_cast<float>(s >> 8) / 16777216.0f;
    };
    for (int k = 0; k < kPackets; ++k) {
      x[k] = (next() - 0.5f) * 8000.0f;
      y[k] = (next() - 0.5f) * 3000.0f;
      z[k] = next() * 20.0f;
    }
  }
};

void BM_PacketFrameToFile(benchmark::State& state) {
  static const Frame frame;
  static const rio::Layout layout("2(1X,F15.6),1X,F10.6");
  char path[] = "/tmp/vorn-bench-XXXXXX";
  int fd = ::mkstemp(path);
  ::close(fd);
  for (auto _ : state) {
    rio::openUnit(20, path, rio::FileStatus::unknown);
    rio::UnitOut out(20);
    for (int k = 0; k < kPackets; ++k) {
      rio::LayoutWriter w(layout, out);
      w.put(frame.x[k]);
      w.put(frame.y[k]);
      w.put(frame.z[k]);
      w.end();
    }
    rio::closeUnit(20);
  }
  ::unlink(path);
  state.SetItemsProcessed(state.iterations() * kPackets);
  state.SetBytesProcessed(state.iterations() * kPackets * 46);
}
BENCHMARK(BM_PacketFrameToFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
