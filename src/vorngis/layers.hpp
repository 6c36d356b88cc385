#pragma once
// The GIS layers of a converted run, written with GDAL in the site's CRS
// (and for KML in longitude and latitude).
#include <string>
#include <vector>

#include "site/site.hpp"
#include "vorngis/runfile.hpp"

namespace vorngis {

// The geotransform of a grid in the site's CRS: pixel (column, row) with
// row 0 at the north (highest y) edge, the site's rotation included.
void geotransform(const Grid& g, const site::Frame& f, double gt[6]);

// Cloud-optimised GeoTIFFs (DEFLATE, nodata -9999, a band per map frame
// described by its time): layer_concentration.tif and column_load.tif from
// the map, biology_exposure.tif from the biology map. Appends the files
// written to `written`.
void writeRasters(const RunFile& r, const site::Frame& f, const std::string& dir,
                  std::vector<std::string>& written);

// run.gpkg (in the site's CRS) with the layers release, points, track,
// track_points, ellipses (2-sigma principal-axis ellipses), packets (the
// last frame) and, for each concentration in `outlines` (g/m3), the plume
// outline of every map frame (outline); and run.kml of the same layers
// but the packets, in longitude and latitude, with time spans that Google
// Earth's time slider plays. Appends the files written to `written`.
void writeVectors(const RunFile& r, const site::Site& s, const site::Frame& f,
                  const std::string& dir, const std::vector<double>& outlines,
                  std::vector<std::string>& written);

}  // namespace vorngis
