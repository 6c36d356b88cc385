// The NetCDF file of a converted run, read back for the GIS layers.
#include "vorngis/runfile.hpp"

#include <netcdf.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>

namespace vorngis {

void fail(const std::string& message) { throw GisError{"vorngis: " + message}; }

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

void check(int status, const RunFile& r, const std::string& what) {
  if (status != NC_NOERR) fail(r.path + ": " + what + ": " + nc_strerror(status));
}

int group(const RunFile& r, const char* name) {
  int g = -1;
  return nc_inq_ncid(r.ncid, name, &g) == NC_NOERR ? g : -1;
}

int var(const RunFile& r, int grp, const char* name) {
  int v = -1;
  check(nc_inq_varid(grp, name, &v), r, std::string("no variable ") + name);
  return v;
}

std::size_t dimLength(const RunFile& r, int grp, const char* name) {
  int d = -1;
  check(nc_inq_dimid(grp, name, &d), r, std::string("no dimension ") + name);
  std::size_t n = 0;
  check(nc_inq_dimlen(grp, d, &n), r, name);
  return n;
}

std::vector<double> doubles(const RunFile& r, int grp, const char* name, std::size_t n) {
  std::vector<double> v(n);
  if (n > 0) check(nc_get_var_double(grp, var(r, grp, name), v.data()), r, name);
  // Fill values of the converter are far beyond any value of a run.
  for (double& x : v) {
    if (!(std::fabs(x) < 1e30)) x = kNaN;
  }
  return v;
}

std::vector<std::string> strings(const RunFile& r, int grp, const char* name, std::size_t n) {
  std::vector<char*> p(n, nullptr);
  if (n > 0) check(nc_get_var_string(grp, var(r, grp, name), p.data()), r, name);
  std::vector<std::string> out;
  for (char* s : p) out.emplace_back(s != nullptr ? s : "");
  if (n > 0) nc_free_string(n, p.data());
  return out;
}

std::string textAttribute(int grp, int v, const char* name) {
  std::size_t n = 0;
  if (nc_inq_attlen(grp, v, name, &n) != NC_NOERR) return {};
  std::string s(n, '\0');
  if (nc_get_att_text(grp, v, name, s.data()) != NC_NOERR) return {};
  return s;
}

// The time origin of a time variable: its units "seconds since ...".
std::string originOf(const RunFile& r, int grp) {
  const std::string units = textAttribute(grp, var(r, grp, "time"), "units");
  const std::string since = "seconds since ";
  if (units.rfind(since, 0) != 0) fail(r.path + ": the time units are not \"seconds since\"");
  return units.substr(since.size());
}

}  // namespace

std::string isoTime(const std::string& origin, double secs) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  if (std::sscanf(origin.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s) < 3) return {};
  using namespace std::chrono;
  const sys_days day0 = year{y} / month{static_cast<unsigned>(mo)} / day{static_cast<unsigned>(d)};
  const auto t = time_point_cast<seconds>(day0 + hours{h} + minutes{mi} + seconds{s}) +
                 seconds{static_cast<long long>(std::llround(secs))};
  const sys_days dd = floor<days>(t);
  const year_month_day ymd{dd};
  const hh_mm_ss<std::chrono::seconds> hms{t - dd};
  char buf[80];
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02uT%02lld:%02lld:%02lldZ", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                static_cast<long long>(hms.hours().count()),
                static_cast<long long>(hms.minutes().count()),
                static_cast<long long>(hms.seconds().count()));
  return buf;
}

namespace {

std::vector<Time> times(const RunFile& r, int grp) {
  const std::size_t n = dimLength(r, grp, "time");
  std::vector<double> t = doubles(r, grp, "time", n);
  std::vector<Time> out(n);
  for (std::size_t k = 0; k < n; ++k) {
    out[k].seconds = t[k];
    out[k].day = t[k] / 86400.0;
    out[k].iso = isoTime(r.origin, t[k]);
  }
  return out;
}

Grid gridOf(const RunFile& r, int grp) {
  Grid g;
  g.nx = dimLength(r, grp, "x");
  g.ny = dimLength(r, grp, "y");
  const std::vector<double> xb = doubles(r, grp, "x_bounds", 2 * g.nx);
  const std::vector<double> yb = doubles(r, grp, "y_bounds", 2 * g.ny);
  if (g.nx == 0 || g.ny == 0) fail(r.path + ": the map has no cells");
  g.x0 = xb.front();
  g.dx = (xb.back() - xb.front()) / static_cast<double>(g.nx);
  g.y0 = yb.front();
  g.dy = (yb.back() - yb.front()) / static_cast<double>(g.ny);
  float zb[2] = {0, 0};
  if (nc_get_var_float(grp, var(r, grp, "z_bounds"), zb) == NC_NOERR) {
    g.zlow = zb[0];
    g.ztop = zb[1];
  }
  return g;
}

}  // namespace

RunFile openRun(const std::string& path) {
  RunFile r;
  r.path = path;
  if (nc_open(path.c_str(), NC_NOWRITE, &r.ncid) != NC_NOERR) {
    fail("cannot open " + path + " as a NetCDF file");
  }
  r.siteFile = textAttribute(r.ncid, NC_GLOBAL, "site_file");

  if (const int g = group(r, "map"); g >= 0) {
    r.hasMap = true;
    r.origin = originOf(r, g);
    r.grid = gridOf(r, g);
    r.mapTimes = times(r, g);
  }
  if (const int g = group(r, "biology_map"); g >= 0) {
    r.hasBiologyMap = true;
    r.bioGrid = gridOf(r, g);
    const int v = var(r, g, "exposure_days");
    nc_get_att_float(g, v, "threshold_low", &r.bioLow);
    nc_get_att_float(g, v, "threshold_high", &r.bioHigh);
  }
  if (const int g = group(r, "concentration"); g >= 0) {
    r.hasPoints = true;
    if (r.origin.empty()) r.origin = originOf(r, g);
    const std::size_t n = dimLength(r, g, "station");
    const std::size_t nt = dimLength(r, g, "time");
    const std::vector<double> x = doubles(r, g, "x", n), y = doubles(r, g, "y", n);
    const std::vector<double> rad = doubles(r, g, "radius", n);
    const std::vector<double> zb = doubles(r, g, "z_bounds", 2 * n);
    const std::vector<double> c = doubles(r, g, "concentration", n * nt);
    r.points.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
      Point& p = r.points[i];
      p.number = static_cast<int>(i + 1);
      p.x = x[i];
      p.y = y[i];
      p.radius = static_cast<float>(rad[i]);
      p.zlow = static_cast<float>(zb[2 * i]);
      p.ztop = static_cast<float>(zb[2 * i + 1]);
      double peak = kNaN, sum = 0;
      std::size_t m = 0;
      for (std::size_t k = 0; k < nt; ++k) {
        const double v = c[k * n + i];
        if (std::isnan(v)) continue;
        peak = std::isnan(peak) ? v : std::max(peak, v);
        sum += v;
        ++m;
      }
      p.peak = peak;
      p.mean = m > 0 ? sum / static_cast<double>(m) : kNaN;
      p.exposurePercent = p.exposureDays = kNaN;
    }
  }
  if (const int g = group(r, "biology_points"); g >= 0 && r.hasPoints) {
    r.hasBiologyPoints = true;
    const std::size_t n = dimLength(r, g, "station");
    const std::vector<double> pct = doubles(r, g, "exposure_percent", n);
    const std::vector<double> days = doubles(r, g, "exposure_days", n);
    for (std::size_t i = 0; i < std::min(n, r.points.size()); ++i) {
      r.points[i].exposurePercent = pct[i];
      r.points[i].exposureDays = days[i];
    }
  }
  if (const int g = group(r, "statistics"); g >= 0) {
    if (r.origin.empty()) r.origin = originOf(r, g);
    const std::vector<Time> t = times(r, g);
    const std::size_t n = t.size();
    const std::vector<double> x = doubles(r, g, "x_mean", n), y = doubles(r, g, "y_mean", n);
    const std::vector<double> v1 = doubles(r, g, "variance_major", n);
    const std::vector<double> v2 = doubles(r, g, "variance_minor", n);
    const std::vector<double> dir = doubles(r, g, "direction_major", n);
    for (std::size_t k = 0; k < n; ++k) r.stats.push_back({t[k], x[k], y[k], v1[k], v2[k], dir[k]});
    if (n > 1) r.statsInterval = t[1].seconds - t[0].seconds;
  }
  if (const int g = group(r, "packets"); g >= 0) {
    if (r.origin.empty()) r.origin = originOf(r, g);
    const std::vector<Time> t = times(r, g);
    if (!t.empty()) {
      r.hasPackets = true;
      r.packetTime = t.back();
      int live = 0;
      const std::size_t last[1] = {t.size() - 1};
      check(nc_get_var1_int(g, var(r, g, "ktotal"), last, &live), r, "ktotal");
      const std::size_t n = static_cast<std::size_t>(std::max(live, 0));
      const std::size_t start[2] = {t.size() - 1, 0};
      const std::size_t count[2] = {1, n};
      for (auto [name, out] : {std::pair<const char*, std::vector<float>*>{"x", &r.px},
                               {"y", &r.py}, {"z", &r.pz}}) {
        out->resize(n);
        if (n > 0) check(nc_get_vara_float(g, var(r, g, name), start, count, out->data()), r, name);
      }
    }
  }
  if (const int g = group(r, "assessment"); g >= 0) {
    Assessment& a = r.assessment;
    a.given = true;
    const auto vec = [&](const char* dim, const char* name) {
      return doubles(r, g, name, dimLength(r, g, dim));
    };
    a.percentiles = vec("percentile", "percentile");
    a.thresholds = vec("threshold", "threshold");
    a.loadThresholds = vec("load_threshold", "load_threshold");
    int zd = -1;
    if (nc_inq_dimid(g, "zone", &zd) == NC_NOERR) a.zones = strings(r, g, "zone_name", dimLength(r, g, "zone"));
    const auto bytes = [&](const char* name, std::size_t n) {
      std::vector<signed char> v(n);
      int id = -1;
      if (n > 0 && nc_inq_varid(g, name, &id) == NC_NOERR) check(nc_get_var_schar(g, id, v.data()), r, name);
      return v;
    };
    int id = -1;
    if (nc_inq_varid(g, "concentration_max", &id) == NC_NOERR && r.hasMap) {
      a.hasMap = true;
      const std::size_t cells = r.grid.nx * r.grid.ny;
      const std::size_t np = a.percentiles.size(), nt = a.thresholds.size();
      a.cPercentile = doubles(r, g, "concentration_percentile", np * cells);
      a.cMax = doubles(r, g, "concentration_max", cells);
      a.cMean = doubles(r, g, "concentration_mean", cells);
      a.cHours = doubles(r, g, "concentration_hours_above", nt * cells);
      a.cShare = doubles(r, g, "concentration_percent_of_time_above", nt * cells);
      a.cSpell = doubles(r, g, "concentration_longest_spell_hours", nt * cells);
      a.lPercentile = doubles(r, g, "load_percentile", np * cells);
      a.lMax = doubles(r, g, "load_max", cells);
      a.lMean = doubles(r, g, "load_mean", cells);
      if (!a.zones.empty()) a.zone = bytes("concentration_zone", cells);
    }
    if (nc_inq_varid(g, "point_max", &id) == NC_NOERR) {
      const std::size_t n = dimLength(r, g, "station");
      const std::size_t np = a.percentiles.size(), nt = a.thresholds.size();
      a.pPercentile = doubles(r, g, "point_percentile", np * n);
      a.pMax = doubles(r, g, "point_max", n);
      a.pMean = doubles(r, g, "point_mean", n);
      a.pHours = doubles(r, g, "point_hours_above", nt * n);
      a.pShare = doubles(r, g, "point_percent_of_time_above", nt * n);
      a.pSpell = doubles(r, g, "point_longest_spell_hours", nt * n);
      if (!a.zones.empty()) a.pZone = bytes("point_zone", n);
    }
    int hd = -1;
    if (nc_inq_dimid(g, "habitat", &hd) == NC_NOERR) {
      const std::size_t n = dimLength(r, g, "habitat");
      a.habitatType = strings(r, g, "habitat_type", n);
      a.habitatName = strings(r, g, "habitat_name", n);
      a.habitatArea = doubles(r, g, "habitat_area", n);
      a.habitatZoneArea = doubles(r, g, "habitat_zone_area", n * a.zones.size());
      a.habitatZonePercent = doubles(r, g, "habitat_zone_percent", n * a.zones.size());
    }
  }
  if (!r.hasMap && !r.hasPoints && r.stats.empty() && !r.hasPackets) {
    fail(path + " holds none of the groups of a converted run (map, concentration, statistics, "
                "packets)");
  }
  return r;
}

void closeRun(RunFile& r) {
  if (r.ncid >= 0) nc_close(r.ncid);
  r.ncid = -1;
}

void mapFrame(const RunFile& r, const char* variable, std::size_t k, std::vector<float>& out) {
  const int g = group(r, "map");
  out.resize(r.grid.nx * r.grid.ny);
  const std::size_t start[3] = {k, 0, 0};
  const std::size_t count[3] = {1, r.grid.ny, r.grid.nx};
  check(nc_get_vara_float(g, var(r, g, variable), start, count, out.data()), r, variable);
  for (float& v : out) {
    if (!(std::fabs(v) < 1e30f)) v = std::numeric_limits<float>::quiet_NaN();
  }
}

void biologyMap(const RunFile& r, std::vector<float>& out) {
  const int g = group(r, "biology_map");
  out.resize(r.bioGrid.nx * r.bioGrid.ny);
  check(nc_get_var_float(g, var(r, g, "exposure_days"), out.data()), r, "exposure_days");
  for (float& v : out) {
    if (!(std::fabs(v) < 1e30f)) v = std::numeric_limits<float>::quiet_NaN();
  }
}

}  // namespace vorngis
