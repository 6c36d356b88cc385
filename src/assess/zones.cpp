// Zone polygons and habitat areas, by GDAL's polygonize and OGR geometry.
#include "assess/zones.hpp"

#include <gdal_alg.h>
#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <stdexcept>

#include "assess/gdalhandles.hpp"

namespace assess {

void geotransform(const MapGrid& g, const site::Frame& f, double gt[6]) {
  // The run-frame corner of the image's first pixel: west edge, north edge.
  const double top = g.y0 + g.dy * static_cast<double>(g.ny);
  double e0, n0, ex, nx, ey, ny;
  f.toCrs(g.x0, top, e0, n0);
  f.toCrs(g.x0 + g.dx, top, ex, nx);  // one column east
  f.toCrs(g.x0, top - g.dy, ey, ny);  // one row south
  gt[0] = e0;
  gt[1] = ex - e0;
  gt[2] = ey - e0;
  gt[3] = n0;
  gt[4] = nx - n0;
  gt[5] = ny - n0;
}

namespace {

// The area of a polygonal geometry (0 for points and lines), in the square
// units of its CRS.
double areaOf(const OGRGeometry& g) {
  switch (wkbFlatten(g.getGeometryType())) {
    case wkbPolygon:
      return g.toPolygon()->get_Area();
    case wkbMultiPolygon:
    case wkbGeometryCollection:
      return g.toGeometryCollection()->get_Area();
    default:
      return 0;
  }
}

}  // namespace

std::vector<std::unique_ptr<OGRGeometry>> zonePolygons(const signed char* zone, const MapGrid& g,
                                                       const site::Frame& f, int nzones) {
  GDALAllRegister();
  std::vector<std::unique_ptr<OGRGeometry>> out(static_cast<std::size_t>(nzones));
  for (auto& z : out) z = std::make_unique<OGRMultiPolygon>();
  GDALDriver* mem = GetGDALDriverManager()->GetDriverByName("MEM");
  Dataset raster(mem->Create("", static_cast<int>(g.nx), static_cast<int>(g.ny), 1, GDT_Int16,
                             nullptr));
  double gt[6];
  geotransform(g, f, gt);
  raster->SetGeoTransform(gt);
  std::vector<short> rows(g.nx * g.ny);
  for (std::size_t j = 0; j < g.ny; ++j) {
    for (std::size_t i = 0; i < g.nx; ++i) rows[j * g.nx + i] = zone[(g.ny - 1 - j) * g.nx + i];
  }
  GDALRasterBand* band = raster->GetRasterBand(1);
  if (band->RasterIO(GF_Write, 0, 0, static_cast<int>(g.nx), static_cast<int>(g.ny), rows.data(),
                     static_cast<int>(g.nx), static_cast<int>(g.ny), GDT_Int16, 0, 0) != CE_None) {
    throw std::runtime_error("cannot fill the zone raster");
  }
  GDALDriver* memv = GetGDALDriverManager()->GetDriverByName("Memory");
  Dataset vec(memv->Create("", 0, 0, 0, GDT_Unknown, nullptr));
  OGRLayer* l = vec->CreateLayer("zones", nullptr, wkbPolygon, nullptr);
  OGRFieldDefn field("zone", OFTInteger);
  l->CreateField(&field);
  // Cells of no zone (0) are masked out by the band itself.
  if (GDALPolygonize(band, band, l, 0, nullptr, nullptr, nullptr) != CE_None) {
    throw std::runtime_error(std::string("GDAL's polygonize failed: ") + CPLGetLastErrorMsg());
  }
  l->ResetReading();
  for (Feature ft(l->GetNextFeature()); ft; ft.reset(l->GetNextFeature())) {
    const int z = ft->GetFieldAsInteger(0);
    if (z < 1 || z > nzones || ft->GetGeometryRef() == nullptr) continue;
    static_cast<OGRMultiPolygon*>(out[static_cast<std::size_t>(z - 1)].get())
        ->addGeometry(ft->GetGeometryRef());
  }
  return out;
}

std::vector<HabitatArea> habitatAreas(const site::Site& s, const site::Frame& f,
                                      const std::vector<std::unique_ptr<OGRGeometry>>& zones) {
  std::vector<HabitatArea> out;
  const site::Assessment& a = s.assessment;
  const site::Layer* layer = nullptr;
  for (const site::Layer& l : s.layers) {
    if (l.name == a.habitatLayer) layer = &l;
  }
  if (layer == nullptr) return out;
  GDALAllRegister();
  Dataset ds(static_cast<GDALDataset*>(
      GDALOpenEx(layer->path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr)));
  if (!ds) throw std::runtime_error("cannot open the habitat layer " + layer->file);
  OGRLayer* l = ds->GetLayer(0);
  OGRSpatialReference target;
  target.importFromWkt(f.crsWkt().c_str());
  target.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  std::unique_ptr<OGRCoordinateTransformation> to;
  if (const OGRSpatialReference* src = l->GetSpatialRef()) {
    OGRSpatialReference from(*src);
    from.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    to.reset(OGRCreateCoordinateTransformation(&from, &target));
    if (!to) throw std::runtime_error("GDAL cannot bring " + layer->file + " into the site's CRS");
  }
  const std::string attribute = !a.habitatAttribute.empty() ? a.habitatAttribute : layer->attribute;
  l->ResetReading();
  for (Feature ft(l->GetNextFeature()); ft; ft.reset(l->GetNextFeature())) {
    const OGRGeometry* g0 = ft->GetGeometryRef();
    if (g0 == nullptr) continue;
    std::unique_ptr<OGRGeometry> g(g0->clone());
    if (to && g->transform(to.get()) != OGRERR_NONE) {
      throw std::runtime_error("GDAL cannot bring a habitat of " + layer->file + " into the site's CRS");
    }
    const OGRwkbGeometryType type = wkbFlatten(g->getGeometryType());
    if (type != wkbPolygon && type != wkbMultiPolygon) continue;
    HabitatArea h;
    const int ti = attribute.empty() ? -1 : ft->GetFieldIndex(attribute.c_str());
    h.type = ti >= 0 ? ft->GetFieldAsString(ti) : layer->name;
    const int ni = ft->GetFieldIndex("name");
    if (ni >= 0) h.name = ft->GetFieldAsString(ni);
    h.areaHa = areaOf(*g) / 1e4;
    for (const auto& z : zones) {
      std::unique_ptr<OGRGeometry> common(z->IsEmpty() ? nullptr : g->Intersection(z.get()));
      h.zoneHa.push_back(common ? areaOf(*common) / 1e4 : 0.0);
    }
    out.push_back(std::move(h));
  }
  return out;
}

}  // namespace assess
