// The sampling points: the concentration time series as a CF timeSeries
// collection, and the exposure of the biology at the points.
#include <algorithm>
#include <string>

#include "output/recordlayouts.hpp"
#include "rio/numfmt.hpp"
#include "rio/units.hpp"
#include "state/outputs.hpp"
#include "vorn2nc/groups.hpp"
#include "vorn2nc/ncfile.hpp"

namespace vorn2nc {
namespace {

// The points as station variables: number, x, y, the sampling layer (z
// with its bounds) and the radius of the sampling cylinder.
struct Stations {
  int dim, number, x, y, radius;
  LayerVars layer;
};

Stations defineStations(int grp, std::size_t n) {
  Stations s{};
  s.dim = nc::dim(grp, "station", n);
  const int nv = nc::dim(grp, "nv", 2);
  s.number = nc::var(grp, "station", NC_INT, {s.dim});
  nc::describe(grp, s.number, nullptr, "sampling point");
  nc::text(grp, s.number, "comment", "the point's number in the parameter file, from 1");
  s.x = nc::var(grp, "x", NC_FLOAT, {s.dim});
  nc::describe(grp, s.x, "m", "x from the release point",
               "projection_x_coordinate");
  s.y = nc::var(grp, "y", NC_FLOAT, {s.dim});
  nc::describe(grp, s.y, "m", "y from the release point",
               "projection_y_coordinate");
  s.layer = defineLayer(grp, s.dim, nv, "height of the sampling layer");
  s.radius = nc::var(grp, "radius", NC_FLOAT, {s.dim});
  nc::describe(grp, s.radius, "m", "radius of the sampling cylinder");
  return s;
}

void writeStations(int grp, const Stations& s, std::size_t n) {
  const ContrinRecord& c = CONTRIN;
  std::int32_t number[CMAX];
  for (std::size_t i = 0; i < n; ++i) number[i] = static_cast<std::int32_t>(i + 1);
  const std::size_t zero = 0;
  nc::put(grp, s.number, &zero, &n, number);
  nc::put(grp, s.x, &zero, &n, c.xpt);
  nc::put(grp, s.y, &zero, &n, c.ypt);
  nc::put(grp, s.radius, &zero, &n, c.radius);
  writeLayer(grp, s.layer, c.zlow, c.ztop, n);
}

std::size_t points() { return static_cast<std::size_t>(std::clamp<std::int32_t>(CONTRIN.ctotal, 0, CMAX)); }

}  // namespace

void writeConcentration(int ncid, const Run& run) {
  const ContrinRecord& c = CONTRIN;
  const std::size_t n = points();
  const int grp = nc::group(ncid, "concentration");
  nc::text(grp, NC_GLOBAL, "featureType", "timeSeries");
  nc::text(grp, NC_GLOBAL, "comment",
           "Concentration at the sampling points at every concentration output step, from " +
               run.file[kConcentration]);
  const TimeAxis t = defineTimeAxis(grp, run, "the end of the advection step",
                                    "E14.6, 6 significant digits");
  const Stations s = defineStations(grp, n);
  nc::text(grp, s.number, "cf_role", "timeseries_id");
  const int conc = nc::var(grp, "concentration", NC_FLOAT, {t.dim, s.dim});
  nc::describe(grp, conc, "g m-3", "concentration",
               "mass_concentration_of_suspended_matter_in_sea_water");
  nc::text(grp, conc, "comment",
           "the column load within the radius spread over the sampling layer (z_bounds) by "
           "the vertical profile of the packets");
  nc::text(grp, conc, "coordinates", "time x y z");
  nc::text(grp, conc, "cell_methods", "time: point area: mean");
  nc::fill(grp, conc, nc::kFillFloat);
  nc::compress(grp, conc, {1024, n});
  writeStations(grp, s, n);

  TextFile f(run.file[kConcentration], "concentration");
  if (f.need("the header is missing") != " Concentration") f.bad("\"Concentration\" expected");
  {
    const std::string_view rec = f.need("the header ends early");
    const std::string_view head = " x y z number_of_positions:";
    std::int32_t count = 0;
    if (rec.substr(0, head.size()) != head) f.bad("\"x y z number_of_positions:\" expected");
    const rio::ListTarget values[] = {rio::target(count)};
    listValues(f, rec.substr(head.size()), values, 1);
    if (count != c.ctotal) {
      f.bad(std::to_string(count) + " points where " + run.parfile + " has " +
            std::to_string(c.ctotal));
    }
  }
  for (std::size_t i = 0; i < n; ++i) {
    // The point as the header writes it: x, y and mid-height, free format.
    char due[1 + 3 * 15];
    due[0] = ' ';
    rio::listFieldReal(due + 1, c.xpt[i]);
    rio::listFieldReal(due + 16, c.ypt[i]);
    rio::listFieldReal(due + 31, (c.zlow[i] + c.ztop[i]) * 0.5f);
    if (f.need("the header ends early") != std::string_view(due, sizeof due)) {
      f.bad("point " + std::to_string(i + 1) + " is not the one of " + run.parfile);
    }
  }
  if (!f.need("the header ends early").empty()) f.bad("an empty record expected");

  nc::Series series(grp, 1024);
  const int cTime = series.column(t.time), cFile = series.column(t.inFile);
  const int cConc = series.column(conc, n);
  LayoutRecords r(f, kConcentrationLayout);
  const auto& first = r.layout().items()[0];
  std::size_t k = 0;
  while (r.next()) {
    const Step& due = scheduled(f, run, kConcentration, k);
    checkTime(f, run, r.field(0), first.w, first.d, due.time);
    series.set(cTime, due.time);
    series.set(cFile, r.real8(nc::kFillDouble));
    for (std::size_t i = 0; i < n; ++i) series.at(cConc)[i] = r.real(nc::kFillFloat);
    r.done(1 + n);
    series.endRecord();
    ++k;
  }
  series.finish();
  checkComplete(f, run, kConcentration, k);
}

void writeBiologyPoints(int ncid, const Run& run) {
  const ContrinRecord& c = CONTRIN;
  const BiologyinRecord& b = BIOLOGYIN;
  const std::size_t n = points();
  const int grp = nc::group(ncid, "biology_points");
  nc::text(grp, NC_GLOBAL, "comment",
           "Exposure of the biology at the sampling points over the run, from " +
               run.file[kBiology]);
  const Stations s = defineStations(grp, n);
  int nvdim = 0;
  nc::check(nc_inq_dimid(grp, "nv", &nvdim), "nv");
  const RunTimeVars time = defineRunTime(grp, nvdim, run);
  const int percent = nc::var(grp, "exposure_percent", NC_FLOAT, {s.dim});
  nc::describe(grp, percent, "percent",
               "exposure as a share of the biology steps");
  describeExposure(grp, percent, "mean", b.dtbio, b.clow, b.chigh, "time x y z");
  const int days = nc::var(grp, "exposure_days", NC_FLOAT, {s.dim});
  nc::describe(grp, days, "day", "exposure in equivalent days");
  describeExposure(grp, days, "sum", b.dtbio, b.clow, b.chigh, "time x y z");
  writeStations(grp, s, n);
  writeRunTime(grp, time);
  const std::size_t zero = 0;

  TextFile f(run.file[kBiology], "biology at points");
  LayoutRecords r(f, kBiologyLayout);
  float share[CMAX], exposure[CMAX];
  for (std::size_t i = 0; i < n; ++i) {
    if (!r.next()) {
      f.endsEarly("it holds " + std::to_string(i) + " of the " + std::to_string(n) +
                  " points of " + run.parfile);
    }
    if (r.integer(nc::kFillInt) != static_cast<std::int32_t>(i + 1)) {
      f.bad("point " + std::to_string(i + 1) + " expected");
    }
    // x, y and mid-height as the file writes them: those of the parameter file.
    const float where[3] = {c.xpt[i], c.ypt[i], (c.zlow[i] + c.ztop[i]) * 0.5f};
    for (int k = 0; k < 3; ++k) {
      const auto& item = r.layout().items()[static_cast<std::size_t>(k + 1)];
      char due[16];
      rio::editF(due, item.w, item.d, where[k]);
      if (r.field(static_cast<std::size_t>(k + 1)) != std::string_view(due, static_cast<std::size_t>(item.w))) {
        f.bad("point " + std::to_string(i + 1) + " is not the one of " + run.parfile);
      }
      r.real(nc::kFillFloat);
    }
    share[i] = r.real(nc::kFillFloat);
    exposure[i] = r.real(nc::kFillFloat);
    r.done(6);
  }
  if (r.next()) f.bad("more points than the " + std::to_string(n) + " of " + run.parfile);
  nc::put(grp, percent, &zero, &n, share);
  nc::put(grp, days, &zero, &n, exposure);
}

}  // namespace vorn2nc
