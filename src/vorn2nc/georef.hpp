#pragma once
// The converted run on Earth, from the site of the run.
#include "site/site.hpp"

namespace vorn2nc {

// Adds to the open file, whose groups are all written: in each group with
// positions a grid mapping variable `crs` (the CRS of the run's x, y, or
// latitude_longitude when the site turns the run's axes), grid_mapping on
// the variables with positions, lon and lat beside x and y (the map's cell
// centres with their corners as bounds, the stations, the statistics'
// centre of mass, and with `packetLonLat` every packet); at the root the
// release point's lon, lat and the ACDD extent. Called by main after the
// groups when the run has a site.
void georeference(int ncid, const site::Site& s, const site::Frame& f, bool packetLonLat);

// The plume assessment of the site's [assessment], as the group
// `assessment`: per map cell (layer concentration and column load) and per
// sampling point the percentiles, maximum, mean, hours, share of time and
// longest spell above each threshold, and the zone; each habitat polygon's
// area in each zone. Reads the map and point groups already written.
// Returns false, writing nothing, without an assessment or without a map
// and points. Called by main before georeference().
bool writeAssessment(int ncid, const site::Site& s, const site::Frame& f);

}  // namespace vorn2nc
