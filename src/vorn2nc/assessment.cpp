// The plume assessment of a converted run: per map cell and per sampling
// point, the statistics of the site's [assessment] over the whole run, and
// the habitats' areas in each zone, written as the group `assessment`.
// The map is read back from the file a block of rows at a time, so memory
// stays bounded for any number of frames.
#include <netcdf.h>
#include <ogr_geometry.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "assess/seriesstats.hpp"
#include "assess/zones.hpp"
#include "state/outputs.hpp"
#include "vorn2nc/georef.hpp"
#include "vorn2nc/ncfile.hpp"

namespace vorn2nc {
namespace {

// The bytes of map values a block of rows holds at most.
constexpr std::size_t kBlockBytes = std::size_t{48} << 20;

int groupOf(int ncid, const char* name) {
  int g = -1;
  return nc_inq_ncid(ncid, name, &g) == NC_NOERR ? g : -1;
}

int varOf(int grp, const char* name) {
  int v = -1;
  nc::check(nc_inq_varid(grp, name, &v), name);
  return v;
}

std::size_t dimLength(int grp, const char* name) {
  int d = -1;
  nc::check(nc_inq_dimid(grp, name, &d), name);
  std::size_t n = 0;
  nc::check(nc_inq_dimlen(grp, d, &n), name);
  return n;
}

// The results of every series of one kind (map cells or points).
struct Results {
  std::size_t cells = 0;
  std::vector<double> percentile, max, mean, hours, share, spell;
  std::vector<signed char> zone;
  Results(std::size_t n, const assess::Plan& p)
      : cells(n),
        percentile(p.percentiles.size() * n),
        max(n),
        mean(n),
        hours(p.thresholds.size() * n),
        share(p.thresholds.size() * n),
        spell(p.thresholds.size() * n),
        zone(n) {}
  assess::Out out() {
    return {percentile.data(), max.data(), mean.data(), hours.data(), share.data(), spell.data(),
            zone.data()};
  }
};

// The statistics of every cell of a map variable (time, y, x), read a block
// of rows at a time; the cells of a block are shared out between threads.
Results mapStatistics(int grp, const char* variable, std::size_t nt, std::size_t ny,
                      std::size_t nx, const assess::Plan& plan) {
  Results r(ny * nx, plan);
  const int var = varOf(grp, variable);
  const std::size_t rows =
      std::clamp<std::size_t>(kBlockBytes / std::max<std::size_t>(1, nt * nx * sizeof(float)), 1, ny);
  std::vector<float> block(nt * rows * nx);
  const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
  const assess::Out out = r.out();
  for (std::size_t j0 = 0; j0 < ny; j0 += rows) {
    const std::size_t nr = std::min(rows, ny - j0);
    const std::size_t start[3] = {0, j0, 0};
    const std::size_t count[3] = {nt, nr, nx};
    if (nt > 0) nc::check(nc_get_vara_float(grp, var, start, count, block.data()), variable);
    const std::size_t cells = nr * nx;
    for (std::size_t k = 0; k < nt * cells; ++k) {
      if (!(std::fabs(block[k]) < 1e30f)) block[k] = NAN;  // a fill value
    }
    auto part = [&](unsigned p) {
      std::vector<float> scratch;
      scratch.reserve(nt);
      for (std::size_t c = cells * p / threads; c < cells * (p + 1) / threads; ++c) {
        assess::seriesStatistics(block.data() + c, nt, cells, plan, out, j0 * nx + c, r.cells,
                                 scratch);
      }
    };
    std::vector<std::thread> pool;
    for (unsigned p = 1; p < threads; ++p) pool.emplace_back(part, p);
    part(0);
    for (std::thread& t : pool) t.join();
  }
  return r;
}

int coordinate(int grp, const char* name, const std::vector<double>& v, const char* units,
               const char* longName) {
  const int d = nc::dim(grp, name, v.size());
  const int c = nc::var(grp, name, NC_DOUBLE, {d});
  nc::describe(grp, c, units, longName);
  if (!v.empty()) {
    const std::size_t zero = 0, n = v.size();
    nc::put(grp, c, &zero, &n, v.data());
  }
  return d;
}

// Writes one kind's results: NAME_percentile, NAME_max, NAME_mean,
// NAME_hours_above, NAME_percent_of_time_above, NAME_longest_spell_hours
// and, with zones, NAME_zone; `dims` are the dimensions of one series'
// place (y, x or station), `tdim` the thresholds'.
void writeResults(int grp, const std::string& name, Results& r, std::vector<int> place, int pdim,
                  int tdim, const char* units, const char* what, bool zones,
                  const std::string& zoneMeanings, int nzones) {
  const auto define = [&](const std::string& var, nc_type type, int lead) {
    std::vector<int> dims;
    if (lead >= 0) dims.push_back(lead);
    dims.insert(dims.end(), place.begin(), place.end());
    int v = -1;
    nc::check(nc_def_var(grp, var.c_str(), type, static_cast<int>(dims.size()), dims.data(), &v),
              var.c_str());
    return v;
  };
  const auto put = [&](int v, const std::vector<double>& values) {
    if (!values.empty()) nc::check(nc_put_var_double(grp, v, values.data()), "assessment");
  };
  const int pct = define(name + "_percentile", NC_DOUBLE, pdim);
  nc::describe(grp, pct, units, (std::string("percentiles of the ") + what + " over the run").c_str());
  nc::text(grp, pct, "comment", "linear between the ordered values: rank p/100 (n - 1) from 0");
  const int mx = define(name + "_max", NC_DOUBLE, -1);
  nc::describe(grp, mx, units, (std::string("largest ") + what + " of the run").c_str());
  const int mean = define(name + "_mean", NC_DOUBLE, -1);
  nc::describe(grp, mean, units, (std::string("mean ") + what + " over the run").c_str());
  const int hours = define(name + "_hours_above", NC_DOUBLE, tdim);
  nc::describe(grp, hours, "h", (std::string("time the ") + what + " is above each threshold").c_str());
  const int share = define(name + "_percent_of_time_above", NC_DOUBLE, tdim);
  nc::describe(grp, share, "percent", (std::string("share of the time the ") + what +
                                       " is above each threshold").c_str());
  const int spell = define(name + "_longest_spell_hours", NC_DOUBLE, tdim);
  nc::describe(grp, spell, "h", (std::string("longest unbroken time the ") + what +
                                     " is above each threshold").c_str());
  int zone = -1;
  if (zones) {
    zone = define(name + "_zone", NC_BYTE, -1);
    nc::describe(grp, zone, "1", "zone of the assessment (0: none; 1 the most severe)");
    std::vector<signed char> flags(static_cast<std::size_t>(nzones) + 1);
    for (std::size_t k = 0; k < flags.size(); ++k) flags[k] = static_cast<signed char>(k);
    nc::check(nc_put_att_schar(grp, zone, "flag_values", NC_BYTE, flags.size(), flags.data()),
              "flag_values");
    nc::text(grp, zone, "flag_meanings", zoneMeanings);
  }
  put(pct, r.percentile);
  put(mx, r.max);
  put(mean, r.mean);
  put(hours, r.hours);
  put(share, r.share);
  put(spell, r.spell);
  if (zone >= 0) nc::check(nc_put_var_schar(grp, zone, r.zone.data()), "zone");
}

void putStrings(int grp, int var, const std::vector<std::string>& s) {
  std::vector<const char*> p;
  for (const std::string& x : s) p.push_back(x.c_str());
  if (!p.empty()) nc::check(nc_put_var_string(grp, var, p.data()), "strings");
}

}  // namespace

bool writeAssessment(int ncid, const site::Site& s, const site::Frame& f) {
  const site::Assessment& a = s.assessment;
  if (!a.given) return false;
  const int map = groupOf(ncid, "map");
  const int conc = groupOf(ncid, "concentration");
  if (map < 0 && conc < 0) return false;
  const int grp = nc::group(ncid, "assessment");
  nc::text(grp, NC_GLOBAL, "comment",
           "The plume assessment of the site file's [assessment]: per map cell and per sampling "
           "point, statistics over every output time of the run (each standing for one output "
           "interval); above means strictly above a threshold; a zone holds where its threshold "
           "is exceeded for more than its share of the time or its hours, the most severe first.");
  const int pdim = coordinate(grp, "percentile", a.percentiles, "percent", "percentile");
  const int tdim = coordinate(grp, "threshold", a.thresholds, "g m-3",
                              "threshold of the layer concentration");
  const int ldim = coordinate(grp, "load_threshold", a.loadThresholds, "g m-2",
                              "threshold of the column load");
  const int nz = static_cast<int>(a.zones.size());
  int zd = -1;
  std::string meanings = "none";
  std::vector<std::string> zoneNames;
  std::vector<double> zoneThresholds, zoneShare, zoneHours;
  for (const site::Zone& z : a.zones) {
    std::string m = z.name;
    std::replace(m.begin(), m.end(), ' ', '_');
    meanings += " " + m;
    zoneNames.push_back(z.name);
    zoneThresholds.push_back(z.threshold);
    zoneShare.push_back(z.byHours ? nc::kFillDouble : z.value);
    zoneHours.push_back(z.byHours ? z.value : nc::kFillDouble);
  }
  if (nz > 0) {
    zd = nc::dim(grp, "zone", static_cast<std::size_t>(nz));
    const int name = nc::var(grp, "zone_name", NC_STRING, {zd});
    nc::describe(grp, name, nullptr, "name of the zone, the most severe first");
    const int th = nc::var(grp, "zone_threshold", NC_DOUBLE, {zd});
    nc::describe(grp, th, "g m-3", "the zone's threshold of the layer concentration");
    const int sh = nc::var(grp, "zone_percent_of_time", NC_DOUBLE, {zd});
    nc::describe(grp, sh, "percent", "the zone's share of the time above its threshold");
    const int hr = nc::var(grp, "zone_hours", NC_DOUBLE, {zd});
    nc::describe(grp, hr, "h", "the zone's time above its threshold");
    nc::fill(grp, sh, nc::kFillDouble);
    nc::fill(grp, hr, nc::kFillDouble);
    putStrings(grp, name, zoneNames);
    const std::size_t zero = 0, n = static_cast<std::size_t>(nz);
    nc::put(grp, th, &zero, &n, zoneThresholds.data());
    nc::put(grp, sh, &zero, &n, zoneShare.data());
    nc::put(grp, hr, &zero, &n, zoneHours.data());
  }
  std::vector<assess::ZoneRule> rules;
  for (const site::Zone& z : a.zones) rules.push_back({z.threshold, z.byHours, z.value});

  if (map >= 0) {
    const std::size_t nt = dimLength(map, "time"), ny = dimLength(map, "y"), nx = dimLength(map, "x");
    // The map's cells again in this group, for its own coordinates.
    const int xd = nc::dim(grp, "x", nx), yd = nc::dim(grp, "y", ny);
    int nvd = -1;
    if (nc_inq_dimid(grp, "nv", &nvd) != NC_NOERR) nvd = nc::dim(grp, "nv", 2);
    std::vector<double> xv(nx), yv(ny), xb(2 * nx), yb(2 * ny);
    nc::check(nc_get_var_double(map, varOf(map, "x"), xv.data()), "x");
    nc::check(nc_get_var_double(map, varOf(map, "y"), yv.data()), "y");
    nc::check(nc_get_var_double(map, varOf(map, "x_bounds"), xb.data()), "x_bounds");
    nc::check(nc_get_var_double(map, varOf(map, "y_bounds"), yb.data()), "y_bounds");
    for (auto [name, dim, values, bounds, axis] :
         {std::tuple{"x", xd, &xv, &xb, "X"}, std::tuple{"y", yd, &yv, &yb, "Y"}}) {
      const int v = nc::var(grp, name, NC_FLOAT, {dim});
      nc::describe(grp, v, "m", (std::string(name) + " from the release point").c_str(),
                   axis[0] == 'X' ? "projection_x_coordinate" : "projection_y_coordinate");
      nc::text(grp, v, "axis", axis);
      nc::text(grp, v, "bounds", std::string(name) + "_bounds");
      const int b = nc::var(grp, (std::string(name) + "_bounds").c_str(), NC_FLOAT, {dim, nvd});
      nc::check(nc_put_var_double(grp, v, values->data()), name);
      nc::check(nc_put_var_double(grp, b, bounds->data()), name);
    }
    const double hours = CONTRMAPIN.dtout / 3600.0;
    assess::Plan plan{a.percentiles, a.thresholds, rules, hours};
    Results c = mapStatistics(map, "layer_concentration", nt, ny, nx, plan);
    writeResults(grp, "concentration", c, {yd, xd}, pdim, tdim, "g m-3",
                 "layer concentration", nz > 0, meanings, nz);
    assess::Plan loadPlan{a.percentiles, a.loadThresholds, {}, hours};
    Results l = mapStatistics(map, "column_load", nt, ny, nx, loadPlan);
    writeResults(grp, "load", l, {yd, xd}, pdim, ldim, "g m-2", "column load", false, "", 0);

    // The habitats' areas in each zone.
    if (nz > 0 && !a.habitatLayer.empty()) {
      const assess::MapGrid g{nx, ny, xb.front(), (xb.back() - xb.front()) / static_cast<double>(nx),
                              yb.front(), (yb.back() - yb.front()) / static_cast<double>(ny)};
      const auto zones = assess::zonePolygons(c.zone.data(), g, f, nz);
      const std::vector<assess::HabitatArea> h = assess::habitatAreas(s, f, zones);
      const int hd = nc::dim(grp, "habitat", h.size());
      const int type = nc::var(grp, "habitat_type", NC_STRING, {hd});
      nc::describe(grp, type, nullptr, "habitat type of the polygon");
      const int name = nc::var(grp, "habitat_name", NC_STRING, {hd});
      nc::describe(grp, name, nullptr, "name of the habitat polygon");
      const int area = nc::var(grp, "habitat_area", NC_DOUBLE, {hd});
      nc::describe(grp, area, "ha", "area of the habitat polygon");
      const int zarea = nc::var(grp, "habitat_zone_area", NC_DOUBLE, {hd, zd});
      nc::describe(grp, zarea, "ha", "area of the habitat polygon in each zone");
      const int zshare = nc::var(grp, "habitat_zone_percent", NC_DOUBLE, {hd, zd});
      nc::describe(grp, zshare, "percent", "share of the habitat polygon's area in each zone");
      nc::text(grp, area, "comment", "in the plane of the site's CRS (" + f.crsName() + ")");
      std::vector<std::string> types, names;
      std::vector<double> areas, za, zs;
      for (const assess::HabitatArea& x : h) {
        types.push_back(x.type);
        names.push_back(x.name);
        areas.push_back(x.areaHa);
        for (double v : x.zoneHa) {
          za.push_back(v);
          zs.push_back(x.areaHa > 0 ? 100.0 * v / x.areaHa : 0.0);
        }
      }
      putStrings(grp, type, types);
      putStrings(grp, name, names);
      if (!h.empty()) {
        nc::check(nc_put_var_double(grp, area, areas.data()), "habitat_area");
        nc::check(nc_put_var_double(grp, zarea, za.data()), "habitat_zone_area");
        nc::check(nc_put_var_double(grp, zshare, zs.data()), "habitat_zone_percent");
      }
    }
  }

  if (conc >= 0) {
    const std::size_t nt = dimLength(conc, "time"), n = dimLength(conc, "station");
    const int sd = nc::dim(grp, "station", n);
    std::vector<float> series(nt * n);
    if (!series.empty()) {
      nc::check(nc_get_var_float(conc, varOf(conc, "concentration"), series.data()), "concentration");
    }
    for (float& v : series) {
      if (!(std::fabs(v) < 1e30f)) v = NAN;  // a fill value
    }
    assess::Plan plan{a.percentiles, a.thresholds, rules, CONTRIN.dtout / 3600.0};
    Results r(n, plan);
    std::vector<float> scratch;
    for (std::size_t i = 0; i < n; ++i) {
      assess::seriesStatistics(series.data() + i, nt, n, plan, r.out(), i, n, scratch);
    }
    writeResults(grp, "point", r, {sd}, pdim, tdim, "g m-3", "concentration at the point",
                 nz > 0, meanings, nz);
  }
  return true;
}

}  // namespace vorn2nc
