#pragma once
// The zones of a plume assessment on the map as polygons in the site's CRS,
// and the area of each habitat polygon of the site in each zone, by GDAL/OGR
// geometry.
#include <memory>
#include <string>
#include <vector>

#include "site/site.hpp"

class OGRGeometry;

namespace assess {

// A map grid in the run's frame: nx by ny cells of dx by dy metres, the
// south-west corner of cell (0, 0) at x0, y0; row 0 the southernmost.
struct MapGrid {
  std::size_t nx = 0, ny = 0;
  double x0 = 0, dx = 0, y0 = 0, dy = 0;
};

// The geotransform of a grid in the site's CRS: pixel (column, row) with
// row 0 at the north (highest y) edge, the site's rotation included.
void geotransform(const MapGrid& g, const site::Frame& f, double gt[6]);

// The cells of each zone (zone[j * nx + i] = 1..nzones, 0 for none; row 0
// the southernmost) merged into polygons by GDAL's polygonize: one
// multipolygon per zone, in the site's CRS (empty for a zone no cell is in).
std::vector<std::unique_ptr<OGRGeometry>> zonePolygons(const signed char* zone, const MapGrid& g,
                                                       const site::Frame& f, int nzones);

// One habitat polygon of the site and its area in each zone.
struct HabitatArea {
  std::string type;              // its habitat type (the attribute), or the layer's name
  std::string name;              // its field "name", when it has one
  double areaHa = 0;             // its whole area, ha
  std::vector<double> zoneHa;    // its area in each zone, ha
};

// The habitats of the site's assessment (its layer `habitats.layer`, each
// feature's type from `habitats.attribute`) against the zone polygons:
// areas in the plane of the site's CRS. Empty when the assessment names no
// habitat layer.
std::vector<HabitatArea> habitatAreas(const site::Site& s, const site::Frame& f,
                                      const std::vector<std::unique_ptr<OGRGeometry>>& zones);

}  // namespace assess
