// The vector layers of a run: a GeoPackage in the site's CRS and KML in
// longitude and latitude, with the times Google Earth's slider plays.
#include <gdal_alg.h>
#include <gdal_priv.h>
#include <gdal_utils.h>
#include <ogrsf_frmts.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "assess/gdalhandles.hpp"
#include "vorngis/layers.hpp"

namespace vorngis {
namespace {

using assess::Dataset;
using assess::Feature;

// Sets a date-time field from "YYYY-MM-DDThh:mm:ssZ" (UTC).
void setTime(OGRFeature& f, const char* field, const std::string& iso) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  if (std::sscanf(iso.c_str(), "%d-%d-%dT%d:%d:%d", &y, &mo, &d, &h, &mi, &s) == 6) {
    f.SetField(field, y, mo, d, h, mi, static_cast<float>(s), 100);
  }
}

// A layer of the GeoPackage with its fields; `times` adds begin and end
// (the span in which the feature holds) and day.
OGRLayer* layer(GDALDataset& d, OGRSpatialReference& srs, const char* name,
                OGRwkbGeometryType type,
                const std::vector<std::pair<const char*, OGRFieldType>>& fields, bool times) {
  OGRLayer* l = d.CreateLayer(name, &srs, type, nullptr);
  if (l == nullptr) fail(std::string("cannot create the layer ") + name + ": " + CPLGetLastErrorMsg());
  std::vector<std::pair<const char*, OGRFieldType>> all = {{"name", OFTString}};
  all.insert(all.end(), fields.begin(), fields.end());
  if (times) {
    all.push_back({"day", OFTReal});
    all.push_back({"begin", OFTDateTime});
    all.push_back({"end", OFTDateTime});
  }
  for (const auto& [field, kind] : all) {
    OGRFieldDefn def(field, kind);
    l->CreateField(&def);
  }
  return l;
}

void add(OGRLayer* l, Feature f) {
  if (l->CreateFeature(f.get()) != OGRERR_NONE) {
    fail(std::string("cannot write a feature of ") + l->GetName() + ": " + CPLGetLastErrorMsg());
  }
}

OGRPoint pointAt(const site::Frame& f, double x, double y) {
  double e, n;
  f.toCrs(x, y, e, n);
  return OGRPoint(e, n);
}

// The span a record holds for: from its time to the next one's (the last
// for one interval more).
void span(OGRFeature& ft, const Time& t, const Time* next, double interval,
          const std::string& origin) {
  ft.SetField("day", t.day);
  setTime(ft, "begin", t.iso);
  setTime(ft, "end", next != nullptr ? next->iso : isoTime(origin, t.seconds + interval));
}

std::string dayName(const char* what, double day) {
  char b[64];
  std::snprintf(b, sizeof b, "%s day %.4f", what, day);
  return b;
}

// The plume outlines of one map frame at the concentration c: the polygons
// of GDAL's contouring where the layer concentration is c or more.
void outlines(const RunFile& r, const site::Frame& f, OGRSpatialReference& srs,
              const std::vector<float>& frame, double c, OGRLayer* out, const Time& t,
              const Time* next, double interval) {
  const Grid& g = r.grid;
  GDALDriver* mem = GetGDALDriverManager()->GetDriverByName("MEM");
  Dataset raster(mem->Create("", static_cast<int>(g.nx), static_cast<int>(g.ny), 1, GDT_Float32,
                             nullptr));
  double gt[6];
  assess::geotransform(mapGrid(g), f, gt);
  raster->SetGeoTransform(gt);
  raster->SetSpatialRef(&srs);
  std::vector<float> rows(frame.size());
  for (std::size_t j = 0; j < g.ny; ++j) {
    for (std::size_t i = 0; i < g.nx; ++i) {
      const float v = frame[(g.ny - 1 - j) * g.nx + i];
      rows[j * g.nx + i] = std::isnan(v) ? -9999.0f : v;
    }
  }
  GDALRasterBand* band = raster->GetRasterBand(1);
  band->SetNoDataValue(-9999.0);
  if (band->RasterIO(GF_Write, 0, 0, static_cast<int>(g.nx), static_cast<int>(g.ny), rows.data(),
                     static_cast<int>(g.nx), static_cast<int>(g.ny), GDT_Float32, 0, 0) != CE_None) {
    fail("cannot fill the raster of the outlines");
  }
  GDALDriver* memv = GetGDALDriverManager()->GetDriverByName("Memory");
  Dataset vec(memv->Create("", 0, 0, 0, GDT_Unknown, nullptr));
  OGRLayer* l = vec->CreateLayer("contours", &srs, wkbMultiPolygon, nullptr);
  for (const char* name : {"id", "low", "high"}) {
    OGRFieldDefn def(name, name[0] == 'i' ? OFTInteger : OFTReal);
    l->CreateField(&def);
  }
  const std::string level = "FIXED_LEVELS=" + std::to_string(c);
  const char* options[] = {level.c_str(), "POLYGONIZE=YES", "ID_FIELD=0", "ELEV_FIELD_MIN=1",
                           "ELEV_FIELD_MAX=2", "NODATA=-9999", nullptr};
  if (GDALContourGenerateEx(band, l, const_cast<char**>(options), nullptr, nullptr) != CE_None) {
    fail(std::string("GDAL's contouring failed: ") + CPLGetLastErrorMsg());
  }
  l->ResetReading();
  for (Feature ft(l->GetNextFeature()); ft; ft.reset(l->GetNextFeature())) {
    if (ft->GetFieldAsDouble("low") < c) continue;  // the band below the level
    const OGRGeometry* geom = ft->GetGeometryRef();
    if (geom == nullptr || geom->IsEmpty()) continue;
    Feature o(OGRFeature::CreateFeature(out->GetLayerDefn()));
    char name[64];
    std::snprintf(name, sizeof name, "%g g/m3, day %.4f", c, t.day);
    o->SetField("name", name);
    o->SetField("concentration_g_m3", c);
    span(*o, t, next, interval, r.origin);
    o->SetGeometry(geom);
    add(out, std::move(o));
  }
}

}  // namespace

void writeVectors(const RunFile& r, const site::Site& s, const site::Frame& f,
                  const std::string& dir, const std::vector<double>& levels,
                  std::vector<std::string>& written) {
  GDALAllRegister();
  std::string scratch = dir + "/.vorngis-XXXXXX";
  if (::mkdtemp(scratch.data()) == nullptr) fail("cannot create a folder in " + dir);
  struct Remove {
    std::string d;
    ~Remove() {
      std::error_code ec;
      std::filesystem::remove_all(d, ec);
    }
  } remove{scratch};

  OGRSpatialReference srs;
  srs.importFromWkt(f.crsWkt().c_str());
  srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  GDALDriver* gpkg = GetGDALDriverManager()->GetDriverByName("GPKG");
  const std::string gpkgTmp = scratch + "/run.gpkg";
  Dataset d(gpkg->Create(gpkgTmp.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
  if (!d) fail("cannot create " + gpkgTmp + ": " + CPLGetLastErrorMsg());
  std::vector<std::string> kmlLayers;

  {  // The release point.
    OGRLayer* l = layer(*d, srs, "release", wkbPoint, {}, false);
    Feature ft(OGRFeature::CreateFeature(l->GetLayerDefn()));
    ft->SetField("name", ("release point" + (s.name.empty() ? "" : " of " + s.name)).c_str());
    OGRPoint p = pointAt(f, 0, 0);
    ft->SetGeometry(&p);
    add(l, std::move(ft));
    kmlLayers.push_back("release");
  }
  if (r.hasPoints) {
    OGRLayer* l = layer(*d, srs, "points", wkbPoint,
                        {{"number", OFTInteger}, {"layer_bottom_m", OFTReal},
                         {"layer_top_m", OFTReal}, {"radius_m", OFTReal},
                         {"peak_g_m3", OFTReal}, {"mean_g_m3", OFTReal},
                         {"exposure_percent", OFTReal}, {"exposure_days", OFTReal}},
                        false);
    for (const Point& p : r.points) {
      Feature ft(OGRFeature::CreateFeature(l->GetLayerDefn()));
      ft->SetField("name", ("point " + std::to_string(p.number)).c_str());
      ft->SetField("number", p.number);
      ft->SetField("layer_bottom_m", p.zlow);
      ft->SetField("layer_top_m", p.ztop);
      ft->SetField("radius_m", p.radius);
      for (auto [field, v] : {std::pair<const char*, double>{"peak_g_m3", p.peak},
                              {"mean_g_m3", p.mean}, {"exposure_percent", p.exposurePercent},
                              {"exposure_days", p.exposureDays}}) {
        if (!std::isnan(v)) ft->SetField(field, v);
      }
      OGRPoint pt = pointAt(f, p.x, p.y);
      ft->SetGeometry(&pt);
      add(l, std::move(ft));
    }
    kmlLayers.push_back("points");
  }
  if (!r.stats.empty()) {
    const std::size_t n = r.stats.size();
    OGRLayer* track = layer(*d, srs, "track", wkbLineString, {}, false);
    for (const char* field : {"begin", "end"}) {
      OGRFieldDefn def(field, OFTDateTime);
      track->CreateField(&def);
    }
    OGRLayer* points = layer(*d, srs, "track_points", wkbPoint, {}, true);
    OGRLayer* ellipses = layer(*d, srs, "ellipses", wkbPolygon,
                               {{"major_m", OFTReal}, {"minor_m", OFTReal},
                                {"direction_deg", OFTReal}},
                               true);
    OGRLineString line;
    for (std::size_t k = 0; k < n; ++k) {
      const StatsRecord& s2 = r.stats[k];
      if (std::isnan(s2.x) || std::isnan(s2.y)) continue;
      OGRPoint p = pointAt(f, s2.x, s2.y);
      line.addPoint(&p);
      const Time* next = k + 1 < n ? &r.stats[k + 1].t : nullptr;
      Feature ft(OGRFeature::CreateFeature(points->GetLayerDefn()));
      ft->SetField("name", dayName("centre of mass,", s2.t.day).c_str());
      span(*ft, s2.t, next, r.statsInterval, r.origin);
      ft->SetGeometry(&p);
      add(points, std::move(ft));
      // The 2-sigma principal-axis ellipse.
      const double a = 2 * std::sqrt(std::max(s2.varMajor, 0.0));
      const double b = 2 * std::sqrt(std::max(s2.varMinor, 0.0));
      if (!(a > 0) || std::isnan(s2.direction)) continue;
      const double th = s2.direction * M_PI / 180.0;
      OGRLinearRing ring;
      for (int q = 0; q <= 72; ++q) {
        const double phi = 2 * M_PI * (q % 72) / 72.0;
        const double x = s2.x + a * std::cos(phi) * std::cos(th) - b * std::sin(phi) * std::sin(th);
        const double y = s2.y + a * std::cos(phi) * std::sin(th) + b * std::sin(phi) * std::cos(th);
        OGRPoint v = pointAt(f, x, y);
        ring.addPoint(&v);
      }
      OGRPolygon poly;
      poly.addRing(&ring);
      Feature e(OGRFeature::CreateFeature(ellipses->GetLayerDefn()));
      e->SetField("name", dayName("2-sigma ellipse,", s2.t.day).c_str());
      e->SetField("major_m", a);
      e->SetField("minor_m", b);
      e->SetField("direction_deg", s2.direction);
      span(*e, s2.t, next, r.statsInterval, r.origin);
      e->SetGeometry(&poly);
      add(ellipses, std::move(e));
    }
    Feature t(OGRFeature::CreateFeature(track->GetLayerDefn()));
    t->SetField("name", "track of the centre of mass");
    setTime(*t, "begin", r.stats.front().t.iso);
    setTime(*t, "end", r.stats.back().t.iso);
    t->SetGeometry(&line);
    add(track, std::move(t));
    for (const char* k : {"track", "track_points", "ellipses"}) kmlLayers.push_back(k);
  }
  if (r.hasPackets) {
    OGRLayer* l = layer(*d, srs, "packets", wkbPoint, {{"slot", OFTInteger}, {"z_m", OFTReal}},
                        true);
    d->StartTransaction();
    for (std::size_t k = 0; k < r.px.size(); ++k) {
      Feature ft(OGRFeature::CreateFeature(l->GetLayerDefn()));
      ft->SetField("slot", static_cast<int>(k + 1));
      ft->SetField("z_m", r.pz[k]);
      span(*ft, r.packetTime, nullptr, 0, r.origin);
      OGRPoint p = pointAt(f, r.px[k], r.py[k]);
      ft->SetGeometry(&p);
      add(l, std::move(ft));
    }
    d->CommitTransaction();
  }
  if (r.hasMap && !levels.empty()) {
    OGRLayer* l = layer(*d, srs, "outline", wkbMultiPolygon, {{"concentration_g_m3", OFTReal}}, true);
    const double interval =
        r.mapTimes.size() > 1 ? r.mapTimes[1].seconds - r.mapTimes[0].seconds : 0.0;
    std::vector<float> frame;
    for (std::size_t k = 0; k < r.mapTimes.size(); ++k) {
      mapFrame(r, "layer_concentration", k, frame);
      const Time* next = k + 1 < r.mapTimes.size() ? &r.mapTimes[k + 1] : nullptr;
      for (double c : levels) outlines(r, f, srs, frame, c, l, r.mapTimes[k], next, interval);
    }
    kmlLayers.push_back("outline");
  }

  const Assessment& a = r.assessment;
  if (!a.zone.empty()) {
    OGRLayer* l = layer(*d, srs, "zones", wkbMultiPolygon, {{"rank", OFTInteger}}, false);
    const auto zones = assess::zonePolygons(a.zone.data(), mapGrid(r.grid), f,
                                            static_cast<int>(a.zones.size()));
    for (std::size_t k = 0; k < zones.size(); ++k) {
      if (zones[k]->IsEmpty()) continue;
      Feature ft(OGRFeature::CreateFeature(l->GetLayerDefn()));
      ft->SetField("name", a.zones[k].c_str());
      ft->SetField("rank", static_cast<int>(k + 1));
      ft->SetGeometry(zones[k].get());
      add(l, std::move(ft));
    }
    kmlLayers.push_back("zones");
  }

  // KML of the vector layers but the packets, in longitude and latitude.
  const std::string kmlTmp = scratch + "/run.kml";
  std::vector<std::string> args = {"-f", "LIBKML", "-t_srs", "EPSG:4326"};
  args.insert(args.end(), kmlLayers.begin(), kmlLayers.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  GDALVectorTranslateOptions* o = GDALVectorTranslateOptionsNew(argv.data(), nullptr);
  GDALDatasetH src = d.get();
  int usageError = 0;
  // The KML driver writes the date-time fields begin and end as the
  // TimeSpan of each placemark; its warning that KML has no date-time
  // field type is beside the point.
  CPLPushErrorHandler(CPLQuietErrorHandler);
  GDALDatasetH kml = GDALVectorTranslate(kmlTmp.c_str(), nullptr, 1, &src, o, &usageError);
  CPLPopErrorHandler();
  GDALVectorTranslateOptionsFree(o);
  if (kml == nullptr) fail("cannot write run.kml: " + std::string(CPLGetLastErrorMsg()));
  GDALClose(kml);
  d.reset();

  for (const char* name : {"run.gpkg", "run.kml"}) {
    const std::string target = dir + "/" + name;
    if (std::rename((scratch + "/" + name).c_str(), target.c_str()) != 0) fail("cannot write " + target);
    written.push_back(target);
  }
}

}  // namespace vorngis
