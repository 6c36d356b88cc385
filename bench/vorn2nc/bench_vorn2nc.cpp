// vorn2nc on one packet frame of 1,001,000 packets: the frame read back
// through the record layer alone, and the whole conversion into a
// compressed NetCDF group.
#include <benchmark/benchmark.h>
#include <netcdf.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "output/outfileopen.hpp"
#include "output/recordlayouts.hpp"
#include "rio/layout.hpp"
#include "rio/units.hpp"
#include "state/limits.hpp"
#include "vorn2nc/convert.hpp"
#include "vorn2nc/groups.hpp"
#include "vorn2nc/textfile.hpp"

namespace {

// A packet file of one frame, written as the program writes it, and the run
// that schedules it.
struct FrameFile {
  std::string dir, name;
  vorn2nc::Run run;
  FrameFile() {
    char tmpl[] = "/tmp/vorn2nc-bench-XXXXXX";
    dir = ::mkdtemp(tmpl);
    name = dir + "/packets.out";
    const double time = 157.5 * 86400.0;
    rio::openUnit(20, name, rio::FileStatus::unknown);
    rio::listWrite(20, "Packet positions");
    rio::listWrite(20, "ktotal, time ", std::int32_t{KMAX}, time * kDaysPerSecond);
    const rio::Layout layout(kPacketLayout);
    rio::UnitOut out(20);
    rio::LayoutWriter w(layout, out);
    // A cloud a few kilometres across, heights within 20 m of the bed.
    std::uint32_t s = 12345;
    auto next = [&s] {
      s = s * 1664525u + 1013904223u;
      return static_cast<float>(s >> 8) / 16777216.0f;
    };
    for (int k = 0; k < KMAX; ++k) {
      w.put((next() - 0.5f) * 8000.0f);
      w.put((next() - 0.5f) * 3000.0f);
      w.put(next() * 20.0f);
      w.end();
    }
    rio::closeUnit(20);
    run.parfile = "run.par";
    run.file[vorn2nc::kPackets] = name;
    run.due[vorn2nc::kPackets].push_back({time, KMAX});
    run.end = vorn2nc::RunEnd::clean;
    run.origin = "2025-12-31 00:00:00";
  }
  ~FrameFile() {
    ::unlink(name.c_str());
    ::rmdir(dir.c_str());
  }
};

const FrameFile& frameFile() {
  static const FrameFile f;
  return f;
}

void BM_PacketFrameRead(benchmark::State& state) {
  const FrameFile& f = frameFile();
  for (auto _ : state) {
    vorn2nc::TextFile file(f.name, "packet position");
    std::string_view rec;
    file.next(rec);
    file.next(rec);
    vorn2nc::LayoutRecords r(file, kPacketLayout);
    float sum = 0;
    while (r.next()) {
      sum += r.real(0) + r.real(0) + r.real(0);
      r.done(3);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * KMAX);
}
BENCHMARK(BM_PacketFrameRead)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_PacketFrameToNetCDF(benchmark::State& state) {
  const FrameFile& f = frameFile();
  const std::string out = f.dir + "/frame.nc";
  for (auto _ : state) {
    int ncid = 0;
    if (nc_create(out.c_str(), NC_NETCDF4 | NC_CLOBBER, &ncid) != NC_NOERR) {
      state.SkipWithError("cannot create the NetCDF file");
      break;
    }
    vorn2nc::writePackets(ncid, f.run);
    nc_close(ncid);
  }
  ::unlink(out.c_str());
  state.SetItemsProcessed(state.iterations() * KMAX);
}
// The reading thread and the writing thread: CPU time of both, and wall time.
BENCHMARK(BM_PacketFrameToNetCDF)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

}  // namespace
