// The concentration map (layer concentration and column load of every
// cell, frame by frame) and the biology map.
#include <string>
#include <vector>

#include "output/recordlayouts.hpp"
#include "rio/numfmt.hpp"
#include "rio/units.hpp"
#include "state/outputs.hpp"
#include "vorn2nc/groups.hpp"
#include "vorn2nc/ncfile.hpp"

namespace vorn2nc {
namespace {

// A header record of the map: one free-format value.
template <class T>
T headerValue(TextFile& f, const char* what) {
  const std::string_view rec = f.need(std::string("the header ends before ") + what);
  T v{};
  const rio::ListTarget t[] = {rio::target(v)};
  listValues(f, rec, t, 1);
  return v;
}

// A grid coordinate of the header: its value in km as the writer gives it.
void checkKilometres(TextFile& f, const Run& run, float metres, const char* axis, int i) {
  char due[16];
  due[0] = ' ';
  rio::listFieldReal(due + 1, metres * 0.001f);
  if (f.need(std::string("the header ends before the ") + axis + " of the grid") !=
      std::string_view(due, 16)) {
    f.bad(std::string(axis) + " " + std::to_string(i + 1) + " of the grid is not the one of " +
          run.parfile);
  }
}

}  // namespace

void writeMap(int ncid, const Run& run) {
  const ContrmapinRecord& m = CONTRMAPIN;
  const ContrmapworkRecord& w = CONTRMAPWORK;
  const std::size_t nx = static_cast<std::size_t>(m.nx), ny = static_cast<std::size_t>(m.ny);
  const int grp = nc::group(ncid, "map");
  nc::text(grp, NC_GLOBAL, "comment",
           "Concentration map at every map output step, from " + run.file[kMap]);
  const TimeAxis t = defineTimeAxis(grp, run, "the end of the advection step",
                                    "free format, 16 or 17 significant digits");
  const int nv = nc::dim(grp, "nv", 2);
  const GridVars g = defineGrid(grp, nv);
  const LayerVars layer = defineLayer(grp, -1, nv, "height of the sampling layer");
  const int conc = nc::var(grp, "layer_concentration", NC_FLOAT, {t.dim, g.ydim, g.xdim});
  nc::describe(grp, conc, "g m-3", "layer concentration",
               "mass_concentration_of_suspended_matter_in_sea_water");
  nc::text(grp, conc, "comment",
           "the column load of the cell spread over the sampling layer (z_bounds) by the "
           "vertical profile of the packets");
  nc::text(grp, conc, "coordinates", "z");
  const int load = nc::var(grp, "column_load", NC_FLOAT, {t.dim, g.ydim, g.xdim});
  nc::describe(grp, load, "g m-2", "column load");
  nc::text(grp, load, "comment", "mass of suspended sediment per unit area of the cell");
  for (int v : {conc, load}) {
    nc::text(grp, v, "cell_methods", "time: point area: mean");
    nc::fill(grp, v, nc::kFillFloat);
    nc::compress(grp, v, {1, ny, nx});
  }
  writeGrid(grp, g);
  writeLayer(grp, layer, &m.zlow, &m.ztop, 1);

  TextFile f(run.file[kMap], "concentration map");
  const std::int32_t frames = headerValue<std::int32_t>(f, "the frame count");
  nc::number(grp, NC_GLOBAL, "frames_of_a_complete_run", frames);
  if (headerValue<std::int32_t>(f, "nx") != m.nx) f.bad("nx is not the one of " + run.parfile);
  for (std::size_t i = 0; i < nx; ++i) checkKilometres(f, run, w.xg[i], "x", static_cast<int>(i));
  if (headerValue<std::int32_t>(f, "ny") != m.ny) f.bad("ny is not the one of " + run.parfile);
  for (std::size_t j = 0; j < ny; ++j) checkKilometres(f, run, w.yg[j], "y", static_cast<int>(j));

  std::vector<float> c(nx * ny), l(nx * ny);
  std::size_t n = 0;
  std::string_view rec;
  while (f.next(rec)) {
    double days = 0;
    const rio::ListTarget time[] = {rio::target(days)};
    listValues(f, rec, time, 1);
    const Step& due = scheduled(f, run, kMap, n);
    checkTime(f, run, rec.substr(1), due.time);
    const long long frameRecord = f.number();
    progress("map: frame " + std::to_string(n + 1) + " of " + std::to_string(run.due[kMap].size()));
    for (std::size_t cell = 0; cell < nx * ny; ++cell) {
      for (std::vector<float>* v : {&c, &l}) {
        if (!f.next(rec)) {
          f.endsEarly("the frame of record " + std::to_string(frameRecord) + " holds " +
                      std::to_string(cell) + " of its " + std::to_string(nx * ny) + " cells");
        }
        const rio::ListTarget value[] = {rio::target((*v)[cell])};
        listValues(f, rec, value, 1);
      }
    }
    const std::size_t start[3] = {n, 0, 0};
    const std::size_t count[3] = {1, ny, nx};
    nc::put(grp, conc, start, count, c.data());
    nc::put(grp, load, start, count, l.data());
    nc::put(grp, t.time, start, count, &due.time);
    nc::put(grp, t.inFile, start, count, &days);
    ++n;
  }
  progressDone();
  checkComplete(f, run, kMap, n);
}

void writeBiologyMap(int ncid, const Run& run) {
  const ContrmapinRecord& m = CONTRMAPIN;
  const BiologyinRecord& b = BIOLOGYIN;
  if (m.nx <= 0 || m.ny <= 0) {
    warn("the biology map " + run.file[kBiologyMap] +
         " has no grid: the run asked for no concentration map");
    return;
  }
  const std::size_t nx = static_cast<std::size_t>(m.nx), ny = static_cast<std::size_t>(m.ny);
  const int grp = nc::group(ncid, "biology_map");
  nc::text(grp, NC_GLOBAL, "comment",
           "Exposure of the biology on the map cells over the run, from " + run.file[kBiologyMap]);
  const int nv = nc::dim(grp, "nv", 2);
  const GridVars g = defineGrid(grp, nv);
  const LayerVars layer = defineLayer(grp, -1, nv, "height of the sampling layer");
  const RunTimeVars time = defineRunTime(grp, nv, run);
  const int days = nc::var(grp, "exposure_days", NC_FLOAT, {g.ydim, g.xdim});
  nc::describe(grp, days, "day", "exposure in equivalent days");
  describeExposure(grp, days, "sum", b.dtbiomap, b.cmaplow, b.cmaphigh, "time z");
  nc::compress(grp, days, {ny, nx});
  writeGrid(grp, g);
  writeLayer(grp, layer, &m.zlow, &m.ztop, 1);
  writeRunTime(grp, time);

  // Each row of cells is one or more lines of at most 100 values.
  TextFile f(run.file[kBiologyMap], "biology map");
  LayoutRecords r(f, kBiologyMapLayout);
  std::vector<float> v(nx * ny);
  for (std::size_t j = 0; j < ny; ++j) {
    for (std::size_t i0 = 0; i0 < nx; i0 += 100) {
      const std::size_t cells = std::min<std::size_t>(100, nx - i0);
      if (!r.next()) {
        f.endsEarly("row " + std::to_string(j + 1) + " of the " + std::to_string(ny) +
                    " rows of the grid of " + run.parfile + " is missing");
      }
      for (std::size_t i = 0; i < cells; ++i) v[j * nx + i0 + i] = r.real(nc::kFillFloat);
      r.done(cells);
    }
  }
  if (r.next()) f.bad("more rows than the " + std::to_string(ny) + " of the grid of " + run.parfile);
  const std::size_t start[2] = {0, 0};
  const std::size_t count[2] = {ny, nx};
  nc::put(grp, days, start, count, v.data());
}

}  // namespace vorn2nc
