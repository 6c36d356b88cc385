// The run on Earth: after every group is written, the site's frame adds a
// grid mapping to each group with positions, longitude and latitude beside
// the run's x and y, and the ACDD extent of the run.
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "site/site.hpp"
#include "state/outputs.hpp"
#include "vorn2nc/georef.hpp"
#include "vorn2nc/ncfile.hpp"

namespace vorn2nc {
namespace {

// The extent of every longitude and latitude written.
struct Extent {
  double lonMin = std::numeric_limits<double>::infinity(), lonMax = -lonMin;
  double latMin = lonMin, latMax = -lonMin;
  void add(double lon, double lat) {
    if (!std::isfinite(lon) || !std::isfinite(lat)) return;
    lonMin = std::min(lonMin, lon);
    lonMax = std::max(lonMax, lon);
    latMin = std::min(latMin, lat);
    latMax = std::max(latMax, lat);
  }
};

// The group `name`, or -1 when the file has none.
int groupOf(int ncid, const char* name) {
  int grp = -1;
  return nc_inq_ncid(ncid, name, &grp) == NC_NOERR ? grp : -1;
}

int varOf(int grp, const char* name) {
  int v = -1;
  return nc_inq_varid(grp, name, &v) == NC_NOERR ? v : -1;
}

int dimOf(int grp, const char* name) {
  int d = -1;
  nc::check(nc_inq_dimid(grp, name, &d), name);
  return d;
}

std::size_t lengthOf(int grp, int dim) {
  std::size_t n = 0;
  nc::check(nc_inq_dimlen(grp, dim, &n), "dimension length");
  return n;
}

std::vector<double> values(int grp, int var, std::size_t n) {
  std::vector<double> v(n);
  if (n > 0) nc::check(nc_get_var_double(grp, var, v.data()), "read back");
  return v;
}

// The grid mapping variable `crs` of a group: the CRS whose coordinates are
// the run's x and y, or, with a rotation, longitude and latitude on WGS 84
// (the lon and lat variables then carry the positions).
void defineCrs(int grp, const site::Frame& f) {
  const int crs = nc::var(grp, "crs", NC_INT, {});
  if (!f.runCrsWkt().empty()) {
    if (!f.cfName().empty()) {
      nc::text(grp, crs, "grid_mapping_name", f.cfName());
      for (const auto& [name, value] : f.cfParameters()) nc::number(grp, crs, name.c_str(), value);
    }
    nc::text(grp, crs, "crs_wkt", f.runCrsWkt());
    nc::text(grp, crs, "comment",
             "x and y of the run (m from the release point) are this CRS's own coordinates");
  } else {
    nc::text(grp, crs, "grid_mapping_name", "latitude_longitude");
    nc::number(grp, crs, "semi_major_axis", 6378137.0);
    nc::number(grp, crs, "inverse_flattening", 298.257223563);
    nc::text(grp, crs, "crs_wkt",
             "GEOGCRS[\"WGS 84\",DATUM[\"World Geodetic System 1984\",ELLIPSOID[\"WGS 84\","
             "6378137,298.257223563]],CS[ellipsoidal,2],AXIS[\"latitude\",north],"
             "AXIS[\"longitude\",east],ANGLEUNIT[\"degree\",0.0174532925199433],"
             "ID[\"EPSG\",4326]]");
    nc::text(grp, crs, "comment",
             "the run's y axis is turned " + std::to_string(f.rotation()) +
                 " degrees clockwise from north: x and y are not the coordinates of a CRS, and "
                 "lon and lat give the positions; the run's frame is " + f.crsName());
    // x and y keep their values but are no CRS's coordinates.
    for (const char* axis : {"x", "y"}) {
      const int v = varOf(grp, axis);
      if (v >= 0) nc_del_att(grp, v, "standard_name");
    }
  }
}

void mapTo(int grp, const char* var, const char* coordinates) {
  const int v = varOf(grp, var);
  if (v < 0) return;
  nc::text(grp, v, "grid_mapping", "crs");
  if (coordinates != nullptr) nc::text(grp, v, "coordinates", coordinates);
}

int lonLatVar(int grp, const char* name, nc_type type, std::initializer_list<int> dims, bool lon) {
  const int v = nc::var(grp, name, type, dims);
  if (lon) {
    nc::describe(grp, v, "degrees_east", "longitude", "longitude");
  } else {
    nc::describe(grp, v, "degrees_north", "latitude", "latitude");
  }
  return v;
}

// The map's cells: lon, lat of every centre (y, x) with the four corners
// of each cell as bounds.
void mapCells(int grp, const site::Frame& f, Extent& ext) {
  const int xd = dimOf(grp, "x"), yd = dimOf(grp, "y");
  const std::size_t nx = lengthOf(grp, xd), ny = lengthOf(grp, yd);
  const std::vector<double> x = values(grp, varOf(grp, "x"), nx);
  const std::vector<double> y = values(grp, varOf(grp, "y"), ny);
  const std::vector<double> xb = values(grp, varOf(grp, "x_bounds"), 2 * nx);
  const std::vector<double> yb = values(grp, varOf(grp, "y_bounds"), 2 * ny);
  int corners = -1;
  if (nc_inq_dimid(grp, "corners", &corners) != NC_NOERR) corners = nc::dim(grp, "corners", 4);
  const int lon = lonLatVar(grp, "lon", NC_DOUBLE, {yd, xd}, true);
  const int lat = lonLatVar(grp, "lat", NC_DOUBLE, {yd, xd}, false);
  nc::text(grp, lon, "bounds", "lon_bounds");
  nc::text(grp, lat, "bounds", "lat_bounds");
  nc::text(grp, lon, "comment", "the cell centres");
  const int lonb = nc::var(grp, "lon_bounds", NC_DOUBLE, {yd, xd, corners});
  const int latb = nc::var(grp, "lat_bounds", NC_DOUBLE, {yd, xd, corners});
  std::vector<double> clon(nx * ny), clat(nx * ny), blon(4 * nx * ny), blat(4 * nx * ny);
  for (std::size_t j = 0; j < ny; ++j) {
    for (std::size_t i = 0; i < nx; ++i) {
      const std::size_t c = j * nx + i;
      f.toLonLat(x[i], y[j], clon[c], clat[c]);
      // Corners counterclockwise from the lower left, as CF asks.
      const double cx[4] = {xb[2 * i], xb[2 * i + 1], xb[2 * i + 1], xb[2 * i]};
      const double cy[4] = {yb[2 * j], yb[2 * j], yb[2 * j + 1], yb[2 * j + 1]};
      for (int k = 0; k < 4; ++k) {
        f.toLonLat(cx[k], cy[k], blon[4 * c + k], blat[4 * c + k]);
        ext.add(blon[4 * c + k], blat[4 * c + k]);
      }
    }
  }
  const std::size_t start[3] = {0, 0, 0};
  const std::size_t count[3] = {ny, nx, 4};
  nc::put(grp, lon, start, count, clon.data());
  nc::put(grp, lat, start, count, clat.data());
  nc::put(grp, lonb, start, count, blon.data());
  nc::put(grp, latb, start, count, blat.data());
}

// The stations of a point group: lon, lat (station).
void stations(int grp, const site::Frame& f, Extent& ext) {
  const int sd = dimOf(grp, "station");
  const std::size_t n = lengthOf(grp, sd);
  std::vector<double> x = values(grp, varOf(grp, "x"), n);
  std::vector<double> y = values(grp, varOf(grp, "y"), n);
  f.toLonLat(x.data(), y.data(), n);
  for (std::size_t k = 0; k < n; ++k) ext.add(x[k], y[k]);
  const int lon = lonLatVar(grp, "lon", NC_DOUBLE, {sd}, true);
  const int lat = lonLatVar(grp, "lat", NC_DOUBLE, {sd}, false);
  const std::size_t zero = 0;
  nc::put(grp, lon, &zero, &n, x.data());
  nc::put(grp, lat, &zero, &n, y.data());
}

// Records over time of an x and a y variable: their lon and lat, a frame
// (or the whole series) at a time.
void track(int grp, const site::Frame& f, const char* xname, const char* yname,
           const char* lonName, const char* latName, nc_type type, Extent* ext) {
  const int xv = varOf(grp, xname), yv = varOf(grp, yname);
  int ndims = 0;
  int dims[2] = {0, 0};
  nc::check(nc_inq_varndims(grp, xv, &ndims), xname);
  nc::check(nc_inq_vardimid(grp, xv, dims), xname);
  const std::size_t frames = lengthOf(grp, dims[0]);
  const std::size_t width = ndims > 1 ? lengthOf(grp, dims[1]) : 1;
  const int lon = ndims > 1 ? lonLatVar(grp, lonName, type, {dims[0], dims[1]}, true)
                            : lonLatVar(grp, lonName, type, {dims[0]}, true);
  const int lat = ndims > 1 ? lonLatVar(grp, latName, type, {dims[0], dims[1]}, false)
                            : lonLatVar(grp, latName, type, {dims[0]}, false);
  const double fill = type == NC_FLOAT ? nc::kFillFloat : nc::kFillDouble;
  for (int v : {lon, lat}) {
    if (type == NC_FLOAT) {
      nc::fill(grp, v, nc::kFillFloat);
      if (ndims > 1) nc::compress(grp, v, {1, std::min<std::size_t>(width, 131072)});
    } else {
      nc::fill(grp, v, nc::kFillDouble);
    }
  }
  // A whole series at once when it is one value a record, else frame by frame.
  const std::size_t rows = ndims > 1 ? 1 : frames;
  const std::size_t steps = ndims > 1 ? frames : 1;
  std::vector<double> x(rows * width), y(rows * width);
  for (std::size_t s = 0; s < steps; ++s) {
    const std::size_t start[2] = {s, 0};
    const std::size_t count[2] = {rows, width};
    if (rows * width == 0) break;
    nc::check(nc_get_vara_double(grp, xv, start, count, x.data()), xname);
    nc::check(nc_get_vara_double(grp, yv, start, count, y.data()), yname);
    std::vector<bool> missing(x.size());
    for (std::size_t k = 0; k < x.size(); ++k) {
      missing[k] = !(std::fabs(x[k]) < 1e30 && std::fabs(y[k]) < 1e30);
      if (missing[k]) x[k] = y[k] = 0;
    }
    f.toLonLat(x.data(), y.data(), x.size());
    for (std::size_t k = 0; k < x.size(); ++k) {
      if (missing[k]) {
        x[k] = y[k] = fill;
      } else if (ext != nullptr) {
        ext->add(x[k], y[k]);
      }
    }
    if (type == NC_FLOAT) {
      std::vector<float> a(x.begin(), x.end()), b(y.begin(), y.end());
      nc::put(grp, lon, start, count, a.data());
      nc::put(grp, lat, start, count, b.data());
    } else {
      nc::put(grp, lon, start, count, x.data());
      nc::put(grp, lat, start, count, y.data());
    }
  }
}

}  // namespace

void georeference(int ncid, const site::Site& s, const site::Frame& f, bool packetLonLat) {
  Extent ext;
  if (const int g = groupOf(ncid, "map"); g >= 0) {
    defineCrs(g, f);
    mapCells(g, f, ext);
    mapTo(g, "layer_concentration", "z lat lon");
    mapTo(g, "column_load", "lat lon");
  }
  if (const int g = groupOf(ncid, "assessment"); g >= 0 && varOf(g, "x") >= 0) {
    defineCrs(g, f);
    mapCells(g, f, ext);
    for (const char* v : {"concentration_percentile", "concentration_max", "concentration_mean",
                          "concentration_hours_above", "concentration_percent_of_time_above",
                          "concentration_longest_spell_hours", "concentration_zone",
                          "load_percentile", "load_max", "load_mean", "load_hours_above",
                          "load_percent_of_time_above", "load_longest_spell_hours"}) {
      mapTo(g, v, "lat lon");
    }
  }
  if (const int g = groupOf(ncid, "biology_map"); g >= 0) {
    defineCrs(g, f);
    mapCells(g, f, ext);
    mapTo(g, "exposure_days", "time z lat lon");
  }
  for (const char* name : {"concentration", "biology_points"}) {
    const int g = groupOf(ncid, name);
    if (g < 0) continue;
    defineCrs(g, f);
    stations(g, f, ext);
    mapTo(g, "concentration", "time x y z lat lon");
    mapTo(g, "exposure_percent", "time x y z lat lon");
    mapTo(g, "exposure_days", "time x y z lat lon");
  }
  if (const int g = groupOf(ncid, "statistics"); g >= 0) {
    defineCrs(g, f);
    track(g, f, "x_mean", "y_mean", "lon_mean", "lat_mean", NC_DOUBLE, &ext);
    mapTo(g, "x_mean", nullptr);
    mapTo(g, "y_mean", nullptr);
  }
  if (const int g = groupOf(ncid, "packets"); g >= 0) {
    defineCrs(g, f);
    for (const char* v : {"x", "y", "z"}) mapTo(g, v, nullptr);
    if (packetLonLat) track(g, f, "x", "y", "lon", "lat", NC_FLOAT, &ext);
  }

  // The release point, the run's origin.
  double lon = 0, lat = 0;
  f.toLonLat(0.0, 0.0, lon, lat);
  ext.add(lon, lat);
  const int rlon = lonLatVar(ncid, "release_lon", NC_DOUBLE, {}, true);
  const int rlat = lonLatVar(ncid, "release_lat", NC_DOUBLE, {}, false);
  nc::text(ncid, rlon, "comment", "the release point: x = 0, y = 0 of the run");
  nc::check(nc_put_var_double(ncid, rlon, &lon), "release_lon");
  nc::check(nc_put_var_double(ncid, rlat, &lat), "release_lat");

  const int g = NC_GLOBAL;
  nc::text(ncid, g, "Conventions", "CF-1.8, ACDD-1.3");
  if (!s.name.empty()) nc::text(ncid, g, "site_name", s.name);
  nc::text(ncid, g, "site_file", s.file);
  nc::text(ncid, g, "site_crs", f.crsName());
  nc::number(ncid, g, "site_rotation", s.rotation);
  nc::number(ncid, g, "geospatial_lat_min", ext.latMin);
  nc::number(ncid, g, "geospatial_lat_max", ext.latMax);
  nc::number(ncid, g, "geospatial_lon_min", ext.lonMin);
  nc::number(ncid, g, "geospatial_lon_max", ext.lonMax);
  nc::text(ncid, g, "geospatial_lat_units", "degrees_north");
  nc::text(ncid, g, "geospatial_lon_units", "degrees_east");
}

}  // namespace vorn2nc
