// The plume assessment of a 301 x 301 map of 720 frames (a month of
// hourly maps): every cell's percentiles, maximum, mean, hours, shares and
// spells above three thresholds and its zone, for the layer concentration
// and the column load, read back from a compressed NetCDF file a block of
// rows at a time. Reports the seconds and the peak resident memory.
#include <benchmark/benchmark.h>
#include <netcdf.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "site/site.hpp"
#include "state/outputs.hpp"
#include "vorn2nc/georef.hpp"

namespace {

constexpr std::size_t kFrames = 720, kCells = 301;

void check(int status) {
  if (status != NC_NOERR) throw std::runtime_error(nc_strerror(status));
}

// A map group as vorn2nc writes it: a plume that drifts and pulses with the
// tide over a month, most cells empty at any time.
std::string writeMapFile() {
  char tmpl[] = "/tmp/vorn-assess-bench-XXXXXX";
  const std::string dir = ::mkdtemp(tmpl);
  const std::string path = dir + "/run.nc";
  int nc = -1, g = -1;
  check(nc_create(path.c_str(), NC_NETCDF4 | NC_CLOBBER, &nc));
  check(nc_def_grp(nc, "map", &g));
  int td, yd, xd, nv;
  check(nc_def_dim(g, "time", NC_UNLIMITED, &td));
  check(nc_def_dim(g, "y", kCells, &yd));
  check(nc_def_dim(g, "x", kCells, &xd));
  check(nc_def_dim(g, "nv", 2, &nv));
  int x, y, xb, yb, t, conc, load;
  check(nc_def_var(g, "x", NC_FLOAT, 1, &xd, &x));
  check(nc_def_var(g, "y", NC_FLOAT, 1, &yd, &y));
  const int xbd[2] = {xd, nv}, ybd[2] = {yd, nv};
  check(nc_def_var(g, "x_bounds", NC_FLOAT, 2, xbd, &xb));
  check(nc_def_var(g, "y_bounds", NC_FLOAT, 2, ybd, &yb));
  check(nc_def_var(g, "time", NC_DOUBLE, 1, &td, &t));
  const int dims[3] = {td, yd, xd};
  const std::size_t chunks[3] = {1, kCells, kCells};
  for (auto [name, v] : {std::pair{"layer_concentration", &conc}, std::pair{"column_load", &load}}) {
    check(nc_def_var(g, name, NC_FLOAT, 3, dims, v));
    check(nc_def_var_chunking(g, *v, NC_CHUNKED, chunks));
    check(nc_def_var_deflate(g, *v, 1, 1, 1));
  }
  std::vector<float> c(kCells), b(2 * kCells);
  for (std::size_t i = 0; i < kCells; ++i) {
    c[i] = -15000.0f + 100.0f * static_cast<float>(i);
    b[2 * i] = c[i] - 50.0f;
    b[2 * i + 1] = c[i] + 50.0f;
  }
  check(nc_put_var_float(g, x, c.data()));
  check(nc_put_var_float(g, y, c.data()));
  check(nc_put_var_float(g, xb, b.data()));
  check(nc_put_var_float(g, yb, b.data()));
  std::vector<float> frame(kCells * kCells), loads(kCells * kCells);
  for (std::size_t k = 0; k < kFrames; ++k) {
    const double h = static_cast<double>(k);
    const double cx = 3000.0 * std::sin(2 * M_PI * h / 12.42) + 4.0 * h;
    const double cy = 1000.0 * std::cos(2 * M_PI * h / 12.42);
    const double r = 2500.0 + 2.0 * h;
    for (std::size_t j = 0; j < kCells; ++j) {
      for (std::size_t i = 0; i < kCells; ++i) {
        const double d2 = (std::pow(c[i] - cx, 2) + std::pow(c[j] - cy, 2)) / (r * r);
        const float v = d2 < 9.0 ? static_cast<float>(0.2 * std::exp(-d2) * (1.2 + std::sin(h * 0.5)))
                                 : 0.0f;
        frame[j * kCells + i] = v;
        loads[j * kCells + i] = 2.0f * v;
      }
    }
    const std::size_t start[3] = {k, 0, 0}, count[3] = {1, kCells, kCells};
    const double time = 86400.0 * 152 + 3600.0 * h;
    check(nc_put_vara_double(g, t, start, count, &time));
    check(nc_put_vara_float(g, conc, start, count, frame.data()));
    check(nc_put_vara_float(g, load, start, count, loads.data()));
  }
  check(nc_close(nc));
  return path;
}

void BM_AssessAMonthOfHourlyMaps(benchmark::State& state) {
  const std::string path = writeMapFile();
  const std::string siteFile = path.substr(0, path.rfind('/')) + "/site.toml";
  FILE* f = std::fopen(siteFile.c_str(), "w");
  std::fputs("[origin]\nlon = 2.3\nlat = 54.85\n[assessment]\n"
             "thresholds = [0.01, 0.05, 0.1]\n"
             "load_thresholds = [0.02, 0.1]\n"
             "zones = [{ name = \"high\", threshold = 0.1, percent_of_time = 5 },\n"
             "         { name = \"moderate\", threshold = 0.05, hours = 24 },\n"
             "         { name = \"influence\", threshold = 0.01, percent_of_time = 0 }]\n", f);
  std::fclose(f);
  site::Site s;
  std::vector<site::Problem> problems;
  if (!site::readSite(siteFile, s, problems)) state.SkipWithError("the site file");
  const site::Frame frame(s);
  CONTRMAPIN.dtout = 3600.0;
  for (auto _ : state) {
    int nc = -1;
    check(nc_open(path.c_str(), NC_WRITE, &nc));
    int g = -1;
    if (nc_inq_ncid(nc, "assessment", &g) == NC_NOERR) {
      state.PauseTiming();
      nc_close(nc);
      ::unlink(path.c_str());
      state.ResumeTiming();
      state.SkipWithError("the file was assessed already");
      break;
    }
    vorn2nc::writeAssessment(nc, s, frame);
    check(nc_abort(nc));  // leaves the file as it was for the next iteration
  }
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  state.counters["peak_rss_MB"] = static_cast<double>(u.ru_maxrss) / 1024.0;
  state.counters["cell_frames"] = static_cast<double>(kCells * kCells * kFrames);
  ::unlink(path.c_str());
  ::unlink(siteFile.c_str());
  ::rmdir(path.substr(0, path.rfind('/')).c_str());
}
BENCHMARK(BM_AssessAMonthOfHourlyMaps)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace
