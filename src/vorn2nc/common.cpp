// What the groups share: the time coordinate and the checks of the records'
// times against the output schedule, the map grid and sampling layers.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "output/outfileopen.hpp"
#include "rio/numfmt.hpp"
#include "state/outputs.hpp"
#include "state/timing.hpp"
#include "vorn2nc/groups.hpp"
#include "vorn2nc/ncfile.hpp"

namespace vorn2nc {

void warn(const std::string& message) {
  progressDone();
  const std::string line = "vorn2nc: warning: " + message + "\n";
  ssize_t k = ::write(2, line.data(), line.size());
  (void)k;
}

TimeAxis defineTimeAxis(int grp, const Run& run, const char* when, const char* form) {
  TimeAxis a{};
  a.dim = nc::dim(grp, "time", NC_UNLIMITED);
  a.time = nc::var(grp, "time", NC_DOUBLE, {a.dim});
  const std::string units = "seconds since " + run.origin;
  nc::describe(grp, a.time, units.c_str(),
               (std::string("time at ") + when + " (exact, from the output schedule)").c_str(),
               "time");
  nc::text(grp, a.time, "axis", "T");
  nc::text(grp, a.time, "calendar", "standard");
  nc::compress(grp, a.time, {4096});
  a.inFile = nc::var(grp, "time_in_file", NC_DOUBLE, {a.dim});
  const std::string dayUnits = "days since " + run.origin;
  nc::describe(grp, a.inFile, dayUnits.c_str(),
               (std::string("time as the text file writes it (") + form + ")").c_str());
  nc::text(grp, a.inFile, "calendar", "standard");
  nc::fill(grp, a.inFile, nc::kFillDouble);
  nc::compress(grp, a.inFile, {4096});
  return a;
}

const Step& scheduled(const TextFile& f, const Run& run, Kind kind, std::size_t n) {
  const auto& due = run.due[kind];
  if (n >= due.size()) {
    f.bad("more records than the output schedule of " + run.parfile + " gives (" +
          std::to_string(due.size()) + "); is it the parameter file of this run?");
  }
  return due[n];
}

namespace {

[[noreturn]] void offSchedule(const TextFile& f, const Run& run, const std::string& found,
                              const std::string& due) {
  f.bad("the time " + found + " is not the " + due + " that the output schedule of " +
        run.parfile + " gives; is it the parameter file of this run?");
}

std::string trimmed(std::string_view s) {
  const std::size_t a = s.find_first_not_of(' ');
  if (a == std::string_view::npos) return {};
  return std::string(s.substr(a, s.find_last_not_of(' ') - a + 1));
}

}  // namespace

void checkTime(const TextFile& f, const Run& run, std::string_view field, int w, int d,
               double seconds) {
  std::string due(static_cast<std::size_t>(w), ' ');
  rio::editE(due.data(), w, d, seconds * kDaysPerSecond);
  if (field != due) offSchedule(f, run, trimmed(field), trimmed(due));
}

void checkTime(const TextFile& f, const Run& run, std::string_view field, double seconds) {
  char due[32];
  const int n = rio::listFieldDouble(due, seconds * kDaysPerSecond);
  if (field != std::string_view(due, static_cast<std::size_t>(n))) {
    offSchedule(f, run, trimmed(field), trimmed({due, static_cast<std::size_t>(n)}));
  }
}

void checkComplete(const TextFile& f, const Run& run, Kind kind, std::size_t n) {
  const std::size_t due = run.due[kind].size();
  if (n >= due) return;
  const std::string counts = std::to_string(n) + " of the " + std::to_string(due) +
                             " records the output schedule of " + run.parfile + " gives";
  if (run.end == RunEnd::clean) {
    f.endsEarly(counts + ", though the log " + run.logfile + " says the run ended cleanly");
  }
  warn(f.name() + " holds " + counts + (run.end == RunEnd::early
                                            ? "; the log says the run ended early"
                                            : "; the log does not say how the run ended"));
}

GridVars defineGrid(int grp, int nvdim) {
  const ContrmapinRecord& m = CONTRMAPIN;
  GridVars g{};
  g.xdim = nc::dim(grp, "x", static_cast<std::size_t>(m.nx));
  g.ydim = nc::dim(grp, "y", static_cast<std::size_t>(m.ny));
  g.x = nc::var(grp, "x", NC_FLOAT, {g.xdim});
  nc::describe(grp, g.x, "m", "x from the release point",
               "projection_x_coordinate");
  nc::text(grp, g.x, "axis", "X");
  nc::text(grp, g.x, "comment", "cell centres; a cell covers half a spacing either side");
  nc::text(grp, g.x, "bounds", "x_bounds");
  g.y = nc::var(grp, "y", NC_FLOAT, {g.ydim});
  nc::describe(grp, g.y, "m", "y from the release point",
               "projection_y_coordinate");
  nc::text(grp, g.y, "axis", "Y");
  nc::text(grp, g.y, "bounds", "y_bounds");
  g.xBounds = nc::var(grp, "x_bounds", NC_FLOAT, {g.xdim, nvdim});
  g.yBounds = nc::var(grp, "y_bounds", NC_FLOAT, {g.ydim, nvdim});
  return g;
}

void writeGrid(int grp, const GridVars& g) {
  const ContrmapinRecord& m = CONTRMAPIN;
  const ContrmapworkRecord& w = CONTRMAPWORK;
  // A cell covers half a spacing either side of its centre, as the binning
  // of the map counts it.
  float xb[2 * MAPMAX], yb[2 * MAPMAX];
  for (int i = 0; i < m.nx; ++i) {
    xb[2 * i] = w.xg[i] - 0.5f * w.dx;
    xb[2 * i + 1] = w.xg[i] + 0.5f * w.dx;
  }
  for (int j = 0; j < m.ny; ++j) {
    yb[2 * j] = w.yg[j] - 0.5f * w.dy;
    yb[2 * j + 1] = w.yg[j] + 0.5f * w.dy;
  }
  const std::size_t zero[2] = {0, 0};
  const std::size_t nx[2] = {static_cast<std::size_t>(m.nx), 2};
  const std::size_t ny[2] = {static_cast<std::size_t>(m.ny), 2};
  nc::put(grp, g.x, zero, nx, w.xg);
  nc::put(grp, g.y, zero, ny, w.yg);
  nc::put(grp, g.xBounds, zero, nx, xb);
  nc::put(grp, g.yBounds, zero, ny, yb);
}

RunTimeVars defineRunTime(int grp, int nvdim, const Run& run) {
  RunTimeVars v{};
  v.time = nc::var(grp, "time", NC_DOUBLE, {});
  const std::string units = "seconds since " + run.origin;
  nc::describe(grp, v.time, units.c_str(), "end of the run", "time");
  nc::text(grp, v.time, "calendar", "standard");
  nc::text(grp, v.time, "bounds", "time_bounds");
  v.bounds = nc::var(grp, "time_bounds", NC_DOUBLE, {nvdim});
  return v;
}

void writeRunTime(int grp, const RunTimeVars& v) {
  const double end = TIMINGIN.time0 + TIMINGIN.ttotal;
  const double bounds[2] = {TIMINGIN.time0, end};
  const std::size_t zero = 0, two = 2;
  nc::put(grp, v.time, &zero, &zero, &end);
  nc::put(grp, v.bounds, &zero, &two, bounds);
}

void describeExposure(int grp, int var, const char* method, double interval, float low,
                      float high, const char* coordinates) {
  char methods[240];
  std::snprintf(methods, sizeof methods,
                "time: %s (interval: %.17g s comment: exposure weight 0 at or below "
                "threshold_low, 1 at or above threshold_high, linear between)",
                method, interval);
  nc::text(grp, var, "cell_methods", methods);
  nc::text(grp, var, "coordinates", coordinates);
  nc::number(grp, var, "threshold_low", low);
  nc::number(grp, var, "threshold_high", high);
  nc::text(grp, var, "threshold_units", "g m-3");
  nc::fill(grp, var, nc::kFillFloat);
}

LayerVars defineLayer(int grp, int stationDim, int nvdim, const char* longName) {
  LayerVars l{};
  l.scalar = stationDim < 0;
  if (!l.scalar) {
    l.z = nc::var(grp, "z", NC_FLOAT, {stationDim});
    l.bounds = nc::var(grp, "z_bounds", NC_FLOAT, {stationDim, nvdim});
  } else {
    l.z = nc::var(grp, "z", NC_FLOAT, {});
    l.bounds = nc::var(grp, "z_bounds", NC_FLOAT, {nvdim});
  }
  nc::describe(grp, l.z, "m", longName, "height_above_sea_floor");
  nc::text(grp, l.z, "positive", "up");
  nc::text(grp, l.z, "axis", "Z");
  nc::text(grp, l.z, "bounds", "z_bounds");
  return l;
}

void writeLayer(int grp, const LayerVars& l, const float* zlow, const float* ztop,
                std::size_t n) {
  float mid[CMAX], bounds[2 * CMAX];
  for (std::size_t i = 0; i < n; ++i) {
    mid[i] = (zlow[i] + ztop[i]) * 0.5f;  // the mid-height the files write
    bounds[2 * i] = zlow[i];
    bounds[2 * i + 1] = ztop[i];
  }
  const std::size_t zero[2] = {0, 0};
  const std::size_t count[2] = {n, 2};
  nc::put(grp, l.z, zero, count, mid);
  // The bounds of a single z are the pair alone.
  nc::put(grp, l.bounds, zero, l.scalar ? count + 1 : count, bounds);
}

}  // namespace vorn2nc
