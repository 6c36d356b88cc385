#pragma once
// The GIS layers of a converted run, written with GDAL in the site's CRS
// (and for KML in longitude and latitude).
#include <string>
#include <vector>

#include "assess/zones.hpp"
#include "site/site.hpp"
#include "vorngis/runfile.hpp"

namespace vorngis {

// The grid as the assessment's geometry takes it.
assess::MapGrid mapGrid(const Grid& g);

// Cloud-optimised GeoTIFFs (DEFLATE, nodata -9999, a band per map frame
// described by its time): layer_concentration.tif and column_load.tif from
// the map, biology_exposure.tif from the biology map; with an assessment,
// assessment_concentration.tif and assessment_load.tif (a band per
// percentile, the maximum, the mean), assessment_exceedance.tif (hours,
// percent of time and longest spell above each threshold) and
// assessment_zones.tif (the zone of each cell, 0 for none). Appends the
// files written to `written`.
void writeRasters(const RunFile& r, const site::Frame& f, const std::string& dir,
                  std::vector<std::string>& written);

// run.gpkg (in the site's CRS) with the layers release, points, track,
// track_points, ellipses (2-sigma principal-axis ellipses), packets (the
// last frame) and, for each concentration in `outlines` (g/m3), the plume
// outline of every map frame (outline); and run.kml of the same layers
// but the packets, in longitude and latitude, with time spans that Google
// Earth's time slider plays; with an assessment's zones, the layer zones
// (each zone's cells as polygons). Appends the files written to `written`.
void writeVectors(const RunFile& r, const site::Site& s, const site::Frame& f,
                  const std::string& dir, const std::vector<double>& outlines,
                  std::vector<std::string>& written);

// With an assessment: receptors.csv (every statistic of each sampling
// point) and habitats.csv (each habitat polygon's area in each zone).
void writeTables(const RunFile& r, const std::string& dir, std::vector<std::string>& written);

}  // namespace vorngis
