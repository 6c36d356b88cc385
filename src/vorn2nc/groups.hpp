#pragma once
// The groups of the converted run, one per output kind the run wrote. Each
// reads its text file record by record, checks it against the parameter
// file (the output schedule, the sampling points, the grid) and writes its
// group. Called by the converter's main in the program's output order.
#include <cstddef>
#include <string>
#include <string_view>

#include "vorn2nc/convert.hpp"
#include "vorn2nc/textfile.hpp"

namespace vorn2nc {

// Global attributes: conventions, provenance and the run's parameters.
void writeRunAttributes(int ncid, const Run& run, const std::string& history);

void writeSediment(int ncid, const Run& run);
void writeVelocityProfiles(int ncid, const Run& run);
void writeStatistics(int ncid, const Run& run);
void writePackets(int ncid, const Run& run);
void writeConcentration(int ncid, const Run& run);
void writeMap(int ncid, const Run& run);
void writeBiologyPoints(int ncid, const Run& run);
void writeBiologyMap(int ncid, const Run& run);

// ---- Shared by the groups ------------------------------------------------

// A warning on the standard error stream.
void warn(const std::string& message);

// The time coordinate of a group's records: `time` (exact, seconds since
// the run's day origin) and `time_in_file` (days, as the file writes them).
struct TimeAxis {
  int dim;
  int time;
  int inFile;
};
// `when` says which time of the step the records carry, `form` how the
// file writes it.
TimeAxis defineTimeAxis(int grp, const Run& run, const char* when, const char* form);

// The schedule's record `n` (from 0) of `kind`; fails when the file holds
// more records than the schedule gives.
const Step& scheduled(const TextFile& f, const Run& run, Kind kind, std::size_t n);
// The time field `field` of the current record must be the exact time of
// the scheduled record written with Ew.d.
void checkTime(const TextFile& f, const Run& run, std::string_view field, int w, int d,
               double seconds);
// The same for a time in days written free-format: `field` its 25 characters.
void checkTime(const TextFile& f, const Run& run, std::string_view field, double seconds);
// After the last record of `kind`: a file of a run that ended cleanly
// must hold every scheduled record.
void checkComplete(const TextFile& f, const Run& run, Kind kind, std::size_t n);

// The map grid as coordinates of a group: x(x), y(y) (cell centres, m)
// with their cell bounds, from the concentration map's set-up.
struct GridVars {
  int xdim, ydim;
  int x, y, xBounds, yBounds;
};
GridVars defineGrid(int grp, int nvdim);
void writeGrid(int grp, const GridVars& g);

// The run as the one cell of time of the biology outputs: `time` (its end)
// with `time_bounds` (its start and end).
struct RunTimeVars {
  int time, bounds;
};
RunTimeVars defineRunTime(int grp, int nvdim, const Run& run);
void writeRunTime(int grp, const RunTimeVars& v);
// An exposure variable: its cell_methods (`method` over the biology steps of
// `interval` s), thresholds, coordinates and fill value.
void describeExposure(int grp, int var, const char* method, double interval, float low,
                      float high, const char* coordinates);

// A sampling layer as the coordinate z (its middle, m above the bed) with
// the layer as its bounds: one per station along `stationDim`, or one for
// the whole group when `stationDim` < 0.
struct LayerVars {
  int z, bounds;
  bool scalar;
};
LayerVars defineLayer(int grp, int stationDim, int nvdim, const char* longName);
// Writes the layers [zlow, ztop] of n stations (n = 1 for a scalar z).
void writeLayer(int grp, const LayerVars& l, const float* zlow, const float* ztop, std::size_t n);

}  // namespace vorn2nc
