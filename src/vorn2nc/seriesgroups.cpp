// The time series of the site: sediment parameters, velocity profiles and
// the statistics of the packet cloud.
#include <string>

#include "output/recordlayouts.hpp"
#include "rio/numfmt.hpp"
#include "state/outputs.hpp"
#include "state/velinfo.hpp"
#include "vorn2nc/groups.hpp"
#include "vorn2nc/ncfile.hpp"

namespace vorn2nc {
namespace {

// A float data variable of the records (time[, width dim]), with its fill.
int series(int grp, const char* name, std::initializer_list<int> dims, const char* units,
           const char* longName, const char* standardName = nullptr) {
  const int v = nc::var(grp, name, NC_FLOAT, dims);
  nc::describe(grp, v, units, longName, standardName);
  nc::fill(grp, v, nc::kFillFloat);
  return v;
}

// A count of packets. No _FillValue, so that readers keep it an integer: a
// count of the store never overflows its I7 field (KMAX has 7 digits).
int counts(int grp, const char* name, int dim, const char* longName) {
  const int v = nc::var(grp, name, NC_INT, {dim});
  nc::describe(grp, v, "1", longName);
  nc::compress(grp, v, {4096});
  return v;
}

}  // namespace

void writeSediment(int ncid, const Run& run) {
  const int grp = nc::group(ncid, "sediment");
  nc::text(grp, NC_GLOBAL, "comment",
           "Friction, Rouse numbers, packets and settling velocity at every sediment output "
           "step, from " + run.file[kSediment]);
  const TimeAxis t = defineTimeAxis(grp, run, "the middle of the advection step",
                                    "E12.5, 5 significant digits");
  struct Real {
    const char* name;
    const char* units;
    const char* longName;
  };
  const Real reals[] = {
      {"ustar", "m s-1", "friction velocity in force (u*cw or u*)"},
      {"ustarc", "m s-1", "current-only friction velocity u*c"},
      {"zw", "m", "wave boundary layer height"},
      {"rouse_w", "1", "Rouse number of wstar"},
      {"rouse_i", "1", "Rouse number of the initial settling velocity"},
      {"rouse_wc", "1", "Rouse number of wstar with u*c"},
      {"rouse_ic", "1", "Rouse number of the initial settling velocity with u*c"},
  };
  int var[7];
  for (int k = 0; k < 7; ++k) {
    var[k] = series(grp, reals[k].name, {t.dim}, reals[k].units, reals[k].longName);
    nc::compress(grp, var[k], {4096});
  }
  const int ktotal = counts(grp, "ktotal", t.dim, "packets live");
  const int kbreak = counts(grp, "kbreak", t.dim,
                            "packets broken up (1..kbreak settle with wstar)");
  const int wstar = series(grp, "wstar", {t.dim}, "m s-1", "settling velocity in force");
  nc::compress(grp, wstar, {4096});

  nc::Series s(grp);
  const int cTime = s.column(t.time), cFile = s.column(t.inFile);
  int c[7];
  for (int k = 0; k < 7; ++k) c[k] = s.column(var[k]);
  const int cK = s.column(ktotal), cB = s.column(kbreak), cW = s.column(wstar);

  TextFile f(run.file[kSediment], "sediment parameter");
  LayoutRecords r(f, kSedimentLayout);
  const auto& first = r.layout().items()[0];
  std::size_t n = 0;
  while (r.next()) {
    const Step& due = scheduled(f, run, kSediment, n);
    checkTime(f, run, r.field(0), first.w, first.d, due.time);
    s.set(cTime, due.time);
    s.set(cFile, r.real8(nc::kFillDouble));
    for (int k = 0; k < 7; ++k) s.set(c[k], r.real(nc::kFillFloat));
    const std::int32_t live = r.integer(nc::kFillInt);
    if (live != due.ktotal) {
      f.bad(std::to_string(live) + " packets where the release of " + run.parfile + " gives " +
            std::to_string(due.ktotal));
    }
    s.set(cK, live);
    s.set(cB, r.integer(nc::kFillInt));
    s.set(cW, r.real(nc::kFillFloat));
    r.done(11);
    s.endRecord();
    ++n;
  }
  s.finish();
  checkComplete(f, run, kSediment, n);
}

void writeVelocityProfiles(int ncid, const Run& run) {
  const VelinfomidRecord& g = VELINFOMID;
  const int grp = nc::group(ncid, "velocity_profile");
  nc::text(grp, NC_GLOBAL, "comment",
           "Velocity at every node of the profile at every velocity output step, from " +
               run.file[kVelocity]);
  const TimeAxis t = defineTimeAxis(grp, run, "the middle of the advection step",
                                    "E12.5, 5 significant digits");
  const int node = nc::dim(grp, "node", static_cast<std::size_t>(g.nnv));
  const int height = nc::var(grp, "height", NC_FLOAT, {node});
  nc::describe(grp, height, "m", "height of the node above the bed", "height_above_sea_floor");
  nc::text(grp, height, "positive", "up");
  nc::text(grp, height, "axis", "Z");
  const std::size_t nnv = static_cast<std::size_t>(g.nnv);
  const int u = series(grp, "u", {t.dim, node}, "m s-1", "velocity along x", "sea_water_x_velocity");
  const int v = series(grp, "v", {t.dim, node}, "m s-1", "velocity along y", "sea_water_y_velocity");
  nc::compress(grp, u, {1024, nnv});
  nc::compress(grp, v, {1024, nnv});
  const std::size_t zero = 0;
  nc::put(grp, height, &zero, &nnv, g.heightnodes);

  nc::Series s(grp);
  const int cTime = s.column(t.time), cFile = s.column(t.inFile);
  const int cU = s.column(u, nnv), cV = s.column(v, nnv);

  TextFile f(run.file[kVelocity], "velocity profile");
  if (f.need("the header line is missing") != " Velocity profile ") {
    f.bad("\"Velocity profile\" expected");
  }
  LayoutRecords r(f, kVelocityProfileLayout);
  const auto& first = r.layout().items()[0];
  std::size_t n = 0;
  while (r.next()) {
    const Step& due = scheduled(f, run, kVelocity, n);
    s.set(cTime, due.time);
    for (std::size_t j = 0; j < nnv; ++j) {
      if (j > 0 && !r.next()) {
        f.endsEarly("the profile ends after " + std::to_string(j) + " of its " +
                    std::to_string(nnv) + " nodes");
      }
      checkTime(f, run, r.field(0), first.w, first.d, due.time);
      const double days = r.real8(nc::kFillDouble);
      if (j == 0) s.set(cFile, days);
      char h[8];
      rio::editF(h, 8, 3, g.heightnodes[j]);
      if (r.field(1) != std::string_view(h, 8)) {
        f.bad("the height of node " + std::to_string(j + 1) + " is not the one of the node grid of " +
              run.parfile);
      }
      r.real(nc::kFillFloat);
      s.at(cU)[j] = r.real(nc::kFillFloat);
      s.at(cV)[j] = r.real(nc::kFillFloat);
      r.done(4);
    }
    s.endRecord();
    ++n;
  }
  s.finish();
  checkComplete(f, run, kVelocity, n);
}

void writeStatistics(int ncid, const Run& run) {
  const StatsinRecord& st = STATSIN;
  const int grp = nc::group(ncid, "statistics");
  nc::text(grp, NC_GLOBAL, "comment",
           "Statistics of the packet cloud at every statistics output step, from " +
               run.file[kStatistics]);
  const TimeAxis t = defineTimeAxis(grp, run, "the end of the advection step",
                                    "E14.8, 8 significant digits");
  struct Real {
    const char* name;
    const char* units;
    const char* longName;
    const char* standardName;
  };
  const Real reals[] = {
      {"x_mean", "m", "x of the centre of mass", nullptr},
      {"y_mean", "m", "y of the centre of mass", nullptr},
      {"z_mean", "m", "mean height above the bed", nullptr},
      {"variance_major", "m2", "larger principal horizontal variance", nullptr},
      {"variance_minor", "m2", "smaller principal horizontal variance", nullptr},
      {"direction_major", "degree", "direction of the larger variance from the x axis", nullptr},
      {"column_load", "g m-2", "column load around the centre of mass", nullptr},
      {"layer_concentration", "g m-3", "layer concentration around the centre of mass",
       "mass_concentration_of_suspended_matter_in_sea_water"},
  };
  int var[8];
  for (int k = 0; k < 8; ++k) {
    var[k] = series(grp, reals[k].name, {t.dim}, reals[k].units, reals[k].longName,
                    reals[k].standardName);
    nc::compress(grp, var[k], {4096});
  }
  nc::text(grp, var[5], "comment", "towards the y axis, in (-90, 90]");
  nc::text(grp, var[6], "comment", "packets within the radius of the centre of mass");
  nc::text(grp, var[7], "comment",
           "packets within the radius of the centre of mass and between the layer's bottom and top");
  for (int k : {6, 7}) {
    nc::number(grp, var[k], "cylinder_radius_m", st.radius);
    nc::number(grp, var[k], "layer_bottom_m", st.zlow);
    nc::number(grp, var[k], "layer_top_m", st.ztop);
  }

  nc::Series s(grp);
  const int cTime = s.column(t.time), cFile = s.column(t.inFile);
  int c[8];
  for (int k = 0; k < 8; ++k) c[k] = s.column(var[k]);

  TextFile f(run.file[kStatistics], "statistics");
  LayoutRecords r(f, kStatisticsLayout);
  const auto& first = r.layout().items()[0];
  std::size_t n = 0;
  while (r.next()) {
    const Step& due = scheduled(f, run, kStatistics, n);
    checkTime(f, run, r.field(0), first.w, first.d, due.time);
    s.set(cTime, due.time);
    s.set(cFile, r.real8(nc::kFillDouble));
    for (int k = 0; k < 8; ++k) s.set(c[k], r.real(nc::kFillFloat));
    r.done(9);
    s.endRecord();
    ++n;
  }
  s.finish();
  checkComplete(f, run, kStatistics, n);
}

}  // namespace vorn2nc
