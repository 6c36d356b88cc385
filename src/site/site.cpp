// The site file, read with toml++, and the run's frame on Earth, by PROJ.
#include "site/site.hpp"

#include <gdal.h>
#include <ogr_api.h>
#include <proj.h>
#include <proj_experimental.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <optional>
#include <set>
#include <stdexcept>
#include <toml++/toml.h>

namespace site {

std::string Problem::text() const {
  return file + ":" + std::to_string(line) + ": error: " + message;
}

namespace {

namespace fs = std::filesystem;

long long lineOf(const toml::node* n) {
  return n != nullptr ? static_cast<long long>(n->source().begin.line) : 0;
}

// A number as a message shows it.
std::string num(double x) {
  char b[32];
  std::snprintf(b, sizeof b, "%g", x);
  return b;
}

// Reads one optional or required key of a table; adds a problem when it is
// there with another type, or missing when required.
struct Reader {
  const std::string& file;
  std::vector<Problem>& problems;

  void add(long long line, std::string message) {
    problems.push_back({file, line, std::move(message)});
  }

  const toml::node* get(const toml::table& t, const char* key, const char* where, bool required,
                        long long line) {
    const toml::node* n = t.get(key);
    if (n == nullptr && required) add(line, std::string("the key ") + key + " is missing" + where);
    return n;
  }

  bool text(const toml::table& t, const char* key, std::string& out, const char* where,
            bool required, long long line) {
    const toml::node* n = get(t, key, where, required, line);
    if (n == nullptr) return false;
    if (!n->is_string()) {
      add(lineOf(n), std::string(key) + " must be a text in quotes");
      return false;
    }
    out = *n->value<std::string>();
    return true;
  }

  bool number(const toml::table& t, const char* key, double& out, const char* where,
              bool required, long long line) {
    const toml::node* n = get(t, key, where, required, line);
    if (n == nullptr) return false;
    if (!n->is_number()) {
      add(lineOf(n), std::string(key) + " must be a number");
      return false;
    }
    out = *n->value<double>();
    if (!std::isfinite(out)) {
      add(lineOf(n), std::string(key) + " must be a finite number, not " + num(out));
      return false;
    }
    return true;
  }

  // Keys of a table that the site file does not know.
  void unknownKeys(const toml::table& t, const std::set<std::string>& known, const char* where) {
    for (const auto& [k, v] : t) {
      if (!known.count(std::string(k.str()))) {
        add(lineOf(&v), "unknown key " + std::string(k.str()) + where);
      }
    }
  }
};

// A PROJ context of its own for each use, destroyed with it; PROJ's
// messages are kept for ours instead of going to the standard error stream.
struct Context {
  PJ_CONTEXT* ctx = proj_context_create();
  std::string said;
  Context() {
    proj_log_func(ctx, this, [](void* self, int, const char* message) {
      static_cast<Context*>(self)->said = message != nullptr ? message : "";
    });
  }
  ~Context() { proj_context_destroy(ctx); }
};


struct Pj {
  PJ* p = nullptr;
  Pj() = default;
  explicit Pj(PJ* q) : p(q) {}
  ~Pj() {
    if (p != nullptr) proj_destroy(p);
  }
  Pj(const Pj&) = delete;
  Pj& operator=(const Pj&) = delete;
  Pj& operator=(PJ* q) {
    if (p != nullptr) proj_destroy(p);
    p = q;
    return *this;
  }
};

// PROJ's own word on why the last call failed.
std::string projError(const Context& c) {
  std::string m = c.said;
  const std::string prefix = "proj_create: ";
  if (m.rfind(prefix, 0) == 0) m = m.substr(prefix.size());
  return m.empty() ? "PROJ does not know it" : m;
}

void checkLayer(Reader& r, Layer& l) {
  GDALAllRegister();
  struct stat st {};
  if (::stat(l.path.c_str(), &st) != 0) {
    r.add(l.line, "the layer file " + l.file + " does not exist");
    return;
  }
  GDALDatasetH ds = GDALOpenEx(l.path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr,
                               nullptr, nullptr);
  if (ds == nullptr) {
    r.add(l.line, "GDAL cannot read the layer file " + l.file + " as vector data");
    return;
  }
  if (GDALDatasetGetLayerCount(ds) < 1) {
    r.add(l.line, "the layer file " + l.file + " holds no layer");
  } else if (!l.attribute.empty()) {
    OGRLayerH layer = GDALDatasetGetLayer(ds, 0);
    if (OGR_FD_GetFieldIndex(OGR_L_GetLayerDefn(layer), l.attribute.c_str()) < 0) {
      r.add(l.line, "the layer file " + l.file + " has no field " + l.attribute);
    }
  }
  GDALClose(ds);
}

// A list of numbers: each finite, and within [lo, hi] when given.
bool numbers(Reader& r, const toml::table& t, const char* key, std::vector<double>& out,
             double lo, double hi, const char* what) {
  const toml::node* n = t.get(key);
  if (n == nullptr) return false;
  const toml::array* a = n->as_array();
  if (a == nullptr) {
    r.add(lineOf(n), std::string(key) + " must be a list of numbers, [a, b, ...]");
    return false;
  }
  out.clear();
  for (const toml::node& v : *a) {
    const std::optional<double> x = v.value<double>();
    if (!v.is_number() || !x || !std::isfinite(*x) || *x < lo || *x > hi) {
      r.add(lineOf(&v) > 0 ? lineOf(&v) : lineOf(n),
            std::string(key) + " must hold " + what + ", not " +
                (x ? num(*x) : std::string("a value of another type")));
      return false;
    }
    out.push_back(*x);
  }
  for (std::size_t k = 1; k < out.size(); ++k) {
    if (!(out[k - 1] < out[k])) {
      r.add(lineOf(n), std::string(key) + " must increase: " + num(out[k - 1]) + " then " +
                           num(out[k]));
      return false;
    }
  }
  return true;
}

void readAssessment(Reader& r, const toml::node& an, Site& s) {
  Assessment& a = s.assessment;
  a.line = lineOf(&an);
  const toml::table* t = an.as_table();
  if (t == nullptr) {
    r.add(a.line, "assessment must be a table: [assessment]");
    return;
  }
  a.given = true;
  r.unknownKeys(*t, {"percentiles", "thresholds", "load_thresholds", "zones", "habitats"},
                " in [assessment]");
  a.percentiles = {50, 80, 95, 99};
  numbers(r, *t, "percentiles", a.percentiles, 0, 100, "percentiles from 0 to 100");
  const double big = std::numeric_limits<double>::max();
  numbers(r, *t, "thresholds", a.thresholds, 0, big, "concentrations of 0 g/m3 or more");
  numbers(r, *t, "load_thresholds", a.loadThresholds, 0, big, "loads of 0 g/m2 or more");
  if (const toml::node* zn = t->get("zones")) {
    const toml::array* za = zn->as_array();
    if (za == nullptr) {
      r.add(lineOf(zn), "zones must be a list of tables: [{ name = ..., threshold = ..., "
                        "percent_of_time = ... }, ...]");
    } else {
      std::set<std::string> names;
      for (const toml::node& n : *za) {
        const toml::table* z = n.as_table();
        const long long line = lineOf(&n) > 0 ? lineOf(&n) : lineOf(zn);
        if (z == nullptr) {
          r.add(line, "each zone must be a table: { name = ..., threshold = ..., ... }");
          continue;
        }
        Zone zone;
        r.unknownKeys(*z, {"name", "threshold", "percent_of_time", "hours"}, " in a zone");
        if (r.text(*z, "name", zone.name, " in a zone", true, line) &&
            !names.insert(zone.name).second) {
          r.add(line, "two zones are named " + zone.name);
        }
        if (r.number(*z, "threshold", zone.threshold, " in a zone", true, line) &&
            zone.threshold < 0) {
          r.add(line, "the zone " + zone.name + " has a threshold below 0: " + num(zone.threshold));
        }
        const bool share = z->get("percent_of_time") != nullptr;
        const bool hours = z->get("hours") != nullptr;
        if (share == hours) {
          r.add(line, "the zone " + zone.name +
                          " needs either percent_of_time or hours (the time above its threshold)");
        } else if (share) {
          if (r.number(*z, "percent_of_time", zone.value, "", true, line) &&
              (zone.value < 0 || zone.value >= 100)) {
            r.add(line, "percent_of_time of the zone " + zone.name +
                            " must be at least 0 and below 100, not " + num(zone.value));
          }
        } else {
          zone.byHours = true;
          if (r.number(*z, "hours", zone.value, "", true, line) && zone.value < 0) {
            r.add(line, "hours of the zone " + zone.name + " must be 0 or more, not " +
                            num(zone.value));
          }
        }
        a.zones.push_back(zone);
      }
    }
  }
  if (const toml::node* hn = t->get("habitats")) {
    const toml::table* h = hn->as_table();
    if (h == nullptr) {
      r.add(lineOf(hn), "habitats must be a table: { layer = ..., attribute = ... }");
      return;
    }
    r.unknownKeys(*h, {"layer", "attribute"}, " in habitats");
    r.text(*h, "layer", a.habitatLayer, " in habitats", true, lineOf(hn));
    r.text(*h, "attribute", a.habitatAttribute, " in habitats", false, lineOf(hn));
    const Layer* found = nullptr;
    for (const Layer& l : s.layers) {
      if (l.name == a.habitatLayer) found = &l;
    }
    if (!a.habitatLayer.empty() && found == nullptr) {
      r.add(lineOf(hn), "habitats names the layer " + a.habitatLayer +
                            ", which the site file does not have ([[layers]])");
    } else if (found != nullptr && !a.habitatAttribute.empty()) {
      // The attribute must be a field of the layer: checked as a layer's is.
      Layer l = *found;
      l.attribute = a.habitatAttribute;
      l.line = lineOf(hn);
      checkLayer(r, l);
    }
  }
}

}  // namespace

std::string siteFileFor(const std::string& given, const std::string& parfile) {
  if (!given.empty()) return given;
  const fs::path beside = fs::path(parfile).parent_path() / "site.toml";
  std::error_code ec;
  return fs::is_regular_file(beside, ec) ? beside.string() : std::string();
}

bool readSite(const std::string& path, Site& s, std::vector<Problem>& problems) {
  const std::size_t before = problems.size();
  Reader r{path, problems};
  s = Site{};
  s.file = path;
  toml::table t;
  try {
    t = toml::parse_file(path);
  } catch (const toml::parse_error& e) {
    r.add(static_cast<long long>(e.source().begin.line),
          "not a TOML file: " + std::string(e.description()));
    return false;
  }
  r.unknownKeys(t, {"name", "rotation", "origin", "layers", "assessment"}, "");
  r.text(t, "name", s.name, "", false, 1);
  if (r.number(t, "rotation", s.rotation, "", false, 1)) {
    s.rotation = std::fmod(s.rotation, 360.0);
  }

  const toml::node* on = t.get("origin");
  if (on == nullptr || !on->is_table()) {
    r.add(on != nullptr ? lineOf(on) : 1,
          "the table [origin] is missing: give the run's x = 0, y = 0 as lon, lat or as crs, x, y");
  } else {
    const toml::table& o = *on->as_table();
    const long long line = lineOf(on);
    r.unknownKeys(o, {"lon", "lat", "crs", "x", "y"}, " in [origin]");
    const bool geographic = o.get("lon") != nullptr || o.get("lat") != nullptr;
    const bool projected = o.get("crs") != nullptr || o.get("x") != nullptr || o.get("y") != nullptr;
    if (geographic && projected) {
      r.add(line, "[origin] gives both lon, lat and crs, x, y: give one of them");
    } else if (!projected) {
      s.lonlatOrigin = true;
      if (r.number(o, "lat", s.lat, " in [origin]", true, line) && std::fabs(s.lat) > 90) {
        r.add(lineOf(o.get("lat")), "lat must lie between -90 and 90 degrees, not " + num(s.lat));
      }
      if (r.number(o, "lon", s.lon, " in [origin]", true, line) && std::fabs(s.lon) > 180) {
        r.add(lineOf(o.get("lon")), "lon must lie between -180 and 180 degrees, not " + num(s.lon));
      }
    } else {
      s.lonlatOrigin = false;
      r.number(o, "x", s.x0, " in [origin]", true, line);
      r.number(o, "y", s.y0, " in [origin]", true, line);
      if (r.text(o, "crs", s.crs, " in [origin]", true, line)) {
        Context c;
        Pj crs(proj_create(c.ctx, s.crs.c_str()));
        if (crs.p == nullptr) {
          r.add(lineOf(o.get("crs")), "unknown CRS \"" + s.crs + "\": " + projError(c));
        } else if (proj_get_type(crs.p) != PJ_TYPE_PROJECTED_CRS) {
          r.add(lineOf(o.get("crs")),
                "the CRS \"" + s.crs + "\" is not a projected CRS (in metres): give lon, lat "
                "for an origin in a geographic CRS");
        }
      }
    }
  }

  if (const toml::node* ln = t.get("layers")) {
    const toml::array* a = ln->as_array();
    if (a == nullptr) {
      r.add(lineOf(ln), "layers must be an array of tables: [[layers]]");
    } else {
      std::set<std::string> names;
      for (const toml::node& n : *a) {
        const toml::table* lt = n.as_table();
        if (lt == nullptr) {
          r.add(lineOf(&n), "each of layers must be a table: [[layers]]");
          continue;
        }
        Layer l;
        l.line = lineOf(&n);
        r.unknownKeys(*lt, {"name", "kind", "file", "attribute"}, " in [[layers]]");
        const bool named = r.text(*lt, "name", l.name, " in [[layers]]", true, l.line);
        if (named && !names.insert(l.name).second) {
          r.add(l.line, "two layers are named " + l.name);
        }
        if (r.text(*lt, "kind", l.kind, " in [[layers]]", true, l.line) &&
            l.kind != "coastline" && l.kind != "habitat" && l.kind != "site" && l.kind != "other") {
          r.add(lineOf(lt->get("kind")),
                "kind must be coastline, habitat, site or other, not " + l.kind);
        }
        r.text(*lt, "attribute", l.attribute, " in [[layers]]", false, l.line);
        if (r.text(*lt, "file", l.file, " in [[layers]]", true, l.line)) {
          const fs::path f(l.file);
          l.path = f.is_absolute() ? f.string() : (fs::path(path).parent_path() / f).string();
          checkLayer(r, l);
        }
        s.layers.push_back(l);
      }
    }
  }
  if (const toml::node* an = t.get("assessment")) readAssessment(r, *an, s);
  return problems.size() == before;
}

// ---- The frame -------------------------------------------------------------

struct Frame::Proj {
  Context c;
  Pj crs;       // the frame's CRS
  Pj toWgs84;   // the frame's CRS to lon, lat (normalised: lon first, easting first)
};

namespace {

std::string wkt2(PJ_CONTEXT* ctx, PJ* crs) {
  const char* w = proj_as_wkt(ctx, crs, PJ_WKT2_2019, nullptr);
  return w != nullptr ? w : std::string();
}

// EPSG codes of the parameters that shift a projection's output.
bool isFalseEasting(int code) { return code == 8806 || code == 8826 || code == 8816; }
bool isFalseNorthing(int code) { return code == 8807 || code == 8827 || code == 8817; }

// The projected CRS `crs` with its false easting and northing less (e, n):
// its coordinates are then those of `crs` less (e, n). Null when its
// conversion has no false easting and northing.
PJ* shifted(PJ_CONTEXT* ctx, PJ* crs, double e, double n) {
  Pj conv(proj_crs_get_coordoperation(ctx, crs));
  if (conv.p == nullptr) return nullptr;
  const char* methodName = nullptr;
  const char* methodAuth = nullptr;
  const char* methodCode = nullptr;
  if (!proj_coordoperation_get_method_info(ctx, conv.p, &methodName, &methodAuth, &methodCode)) {
    return nullptr;
  }
  const int count = proj_coordoperation_get_param_count(ctx, conv.p);
  std::vector<PJ_PARAM_DESCRIPTION> params(static_cast<std::size_t>(count));
  std::vector<std::string> names(params.size()), auths(params.size()), codes(params.size()),
      units(params.size());
  bool fe = false, fn = false;
  for (int k = 0; k < count; ++k) {
    const char* name = nullptr;
    const char* auth = nullptr;
    const char* code = nullptr;
    double value = 0;
    const char* valueString = nullptr;
    double unitFactor = 0;
    const char* unitName = nullptr;
    const char* unitAuth = nullptr;
    const char* unitCode = nullptr;
    const char* unitCategory = nullptr;
    proj_coordoperation_get_param(ctx, conv.p, k, &name, &auth, &code, &value, &valueString,
                                  &unitFactor, &unitName, &unitAuth, &unitCode, &unitCategory);
    const int c = code != nullptr ? std::atoi(code) : 0;
    if (isFalseEasting(c)) {
      value -= e / unitFactor;
      fe = true;
    } else if (isFalseNorthing(c)) {
      value -= n / unitFactor;
      fn = true;
    }
    const std::size_t i = static_cast<std::size_t>(k);
    names[i] = name != nullptr ? name : "";
    auths[i] = auth != nullptr ? auth : "";
    codes[i] = code != nullptr ? code : "";
    units[i] = unitName != nullptr ? unitName : "";
    PJ_PARAM_DESCRIPTION& p = params[i];
    p.name = names[i].c_str();
    p.auth_name = auth != nullptr ? auths[i].c_str() : nullptr;
    p.code = code != nullptr ? codes[i].c_str() : nullptr;
    p.value = value;
    p.unit_name = units[i].c_str();
    p.unit_conv_factor = unitFactor;
    p.unit_type = std::string(unitCategory != nullptr ? unitCategory : "") == "angular"
                      ? PJ_UT_ANGULAR
                      : std::string(unitCategory != nullptr ? unitCategory : "") == "scale"
                            ? PJ_UT_SCALE
                            : PJ_UT_LINEAR;
  }
  if (!fe || !fn) return nullptr;
  Pj newConv(proj_create_conversion(ctx, "run frame", nullptr, nullptr, methodName, methodAuth,
                                    methodCode, count, params.data()));
  Pj geodetic(proj_crs_get_geodetic_crs(ctx, crs));
  Pj cs(proj_crs_get_coordinate_system(ctx, crs));
  if (newConv.p == nullptr || geodetic.p == nullptr || cs.p == nullptr) return nullptr;
  return proj_create_projected_crs(ctx, "run frame", geodetic.p, newConv.p, cs.p);
}

// The CF transverse_mercator parameters of a transverse Mercator CRS
// (EPSG method 9807), with its ellipsoid; false when it is not one.
bool cfTransverseMercator(PJ_CONTEXT* ctx, PJ* crs, std::vector<std::pair<std::string, double>>& out) {
  Pj conv(proj_crs_get_coordoperation(ctx, crs));
  if (conv.p == nullptr) return false;
  const char* name = nullptr;
  const char* auth = nullptr;
  const char* code = nullptr;
  if (!proj_coordoperation_get_method_info(ctx, conv.p, &name, &auth, &code) || code == nullptr ||
      std::string(code) != "9807") {
    return false;
  }
  const std::pair<int, const char*> cf[] = {{8801, "latitude_of_projection_origin"},
                                            {8802, "longitude_of_central_meridian"},
                                            {8805, "scale_factor_at_central_meridian"},
                                            {8806, "false_easting"},
                                            {8807, "false_northing"}};
  for (const auto& [epsg, cfName] : cf) {
    const int k = proj_coordoperation_get_param_index(ctx, conv.p,
                                                      epsg == 8801   ? "Latitude of natural origin"
                                                      : epsg == 8802 ? "Longitude of natural origin"
                                                      : epsg == 8805 ? "Scale factor at natural origin"
                                                      : epsg == 8806 ? "False easting"
                                                                     : "False northing");
    if (k < 0) return false;
    double value = 0;
    double factor = 1;
    proj_coordoperation_get_param(ctx, conv.p, k, nullptr, nullptr, nullptr, &value, nullptr,
                                  &factor, nullptr, nullptr, nullptr, nullptr);
    // Angles to degrees, lengths to metres; a scale stays as it is.
    const double degrees = 3.14159265358979323846 / 180.0;
    out.emplace_back(cfName, epsg <= 8802 ? value * factor / degrees
                                          : epsg == 8805 ? value : value * factor);
  }
  Pj ellipsoid(proj_get_ellipsoid(ctx, crs));
  double a = 0, b = 0, invf = 0;
  int computed = 0;
  if (ellipsoid.p != nullptr &&
      proj_ellipsoid_get_parameters(ctx, ellipsoid.p, &a, &b, &computed, &invf)) {
    out.emplace_back("semi_major_axis", a);
    out.emplace_back("inverse_flattening", invf);
  }
  return true;
}

}  // namespace

Frame::Frame(const Site& s) : p_(std::make_unique<Proj>()) {
  PJ_CONTEXT* ctx = p_->c.ctx;
  rotation_ = s.rotation;
  const double r = s.rotation * 3.14159265358979323846 / 180.0;
  cosr_ = std::cos(r);
  sinr_ = std::sin(r);
  Pj wgs84(proj_create(ctx, "EPSG:4326"));
  if (s.lonlatOrigin) {
    Pj conv(proj_create_conversion_transverse_mercator(ctx, s.lat, s.lon, 1.0, 0.0, 0.0, "degree",
                                                       0.0174532925199433, "metre", 1.0));
    Pj cs(proj_create_cartesian_2D_cs(ctx, PJ_CART2D_EASTING_NORTHING, "metre", 1.0));
    const std::string name = (s.name.empty() ? std::string("run") : s.name) +
                             " / local transverse Mercator";
    p_->crs = proj_create_projected_crs(ctx, name.c_str(), wgs84.p, conv.p, cs.p);
  } else {
    p_->crs = proj_create(ctx, s.crs.c_str());
    x0_ = s.x0;
    y0_ = s.y0;
  }
  if (p_->crs.p == nullptr || wgs84.p == nullptr) {
    throw std::runtime_error("PROJ cannot build the site's CRS: " + projError(p_->c));
  }
  Pj op(proj_create_crs_to_crs_from_pj(ctx, p_->crs.p, wgs84.p, nullptr, nullptr));
  if (op.p == nullptr) throw std::runtime_error("PROJ finds no way to longitude and latitude");
  p_->toWgs84 = proj_normalize_for_visualization(ctx, op.p);
  if (p_->toWgs84.p == nullptr) throw std::runtime_error("PROJ cannot order the axes");
  crsWkt_ = wkt2(ctx, p_->crs.p);
  const char* n = proj_get_name(p_->crs.p);
  crsName_ = n != nullptr ? n : "";

  if (std::fabs(s.rotation) == 0.0) {
    if (s.lonlatOrigin) {
      runCrsWkt_ = crsWkt_;
      if (cfTransverseMercator(ctx, p_->crs.p, cf_)) cfName_ = "transverse_mercator";
    } else {
      Pj run(shifted(ctx, p_->crs.p, s.x0, s.y0));
      if (run.p != nullptr) {
        runCrsWkt_ = wkt2(ctx, run.p);
        if (cfTransverseMercator(ctx, run.p, cf_)) cfName_ = "transverse_mercator";
      }
    }
  }
}

Frame::~Frame() = default;

void Frame::toCrs(double x, double y, double& e, double& n) const {
  e = x0_ + x * cosr_ + y * sinr_;
  n = y0_ - x * sinr_ + y * cosr_;
}

void Frame::fromCrs(double e, double n, double& x, double& y) const {
  const double de = e - x0_;
  const double dn = n - y0_;
  x = de * cosr_ - dn * sinr_;
  y = de * sinr_ + dn * cosr_;
}

void Frame::toLonLat(double x, double y, double& lon, double& lat) const {
  toCrs(x, y, lon, lat);
  PJ_COORD c = proj_coord(lon, lat, 0, 0);
  c = proj_trans(p_->toWgs84.p, PJ_FWD, c);
  lon = c.xy.x;
  lat = c.xy.y;
}

void Frame::fromLonLat(double lon, double lat, double& x, double& y) const {
  PJ_COORD c = proj_coord(lon, lat, 0, 0);
  c = proj_trans(p_->toWgs84.p, PJ_INV, c);
  fromCrs(c.xy.x, c.xy.y, x, y);
}

void Frame::toLonLat(double* xs, double* ys, std::size_t n) const {
  for (std::size_t k = 0; k < n; ++k) {
    double e, nn;
    toCrs(xs[k], ys[k], e, nn);
    xs[k] = e;
    ys[k] = nn;
  }
  proj_trans_generic(p_->toWgs84.p, PJ_FWD, xs, sizeof(double), n, ys, sizeof(double), n, nullptr,
                     0, 0, nullptr, 0, 0);
}

}  // namespace site
