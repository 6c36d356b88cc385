#pragma once
// The converted run (the NetCDF file of vorn2nc) as the GIS writers take
// it: the map grid and its frames, the sampling points, the statistics of
// the cloud, the last packet frame. Read with netcdf-c; frames one at a time.
#include <cstddef>
#include <string>
#include <vector>

namespace vorngis {

struct GisError {
  std::string message;
};
[[noreturn]] void fail(const std::string& message);

// A time of the run: seconds since the run's day origin, and as text.
struct Time {
  double seconds = 0;  // since the time origin of the file
  double day = 0;      // the run's day number
  std::string iso;     // YYYY-MM-DDThh:mm:ssZ
};

// The map grid in the run's frame: cell edges (m), nx by ny cells, row 0
// the southernmost (lowest y).
struct Grid {
  std::size_t nx = 0, ny = 0;
  double x0 = 0, dx = 0;  // the west edge of column 0 and the width of a column, m
  double y0 = 0, dy = 0;  // the south edge of row 0 and the height of a row, m
  float zlow = 0, ztop = 0;  // the sampling layer, m above the bed
};

struct Point {
  int number = 0;
  double x = 0, y = 0;  // m
  float zlow = 0, ztop = 0, radius = 0;  // m
  double peak = 0, mean = 0;             // g/m3 over the run (NaN without records)
  double exposurePercent = 0, exposureDays = 0;  // NaN without biology
};

struct StatsRecord {
  Time t;
  double x = 0, y = 0;          // centre of mass, m
  double varMajor = 0, varMinor = 0;  // principal variances, m2
  double direction = 0;         // of the larger, degrees from the x axis towards y
};

// The plume assessment of the run (the group `assessment` of vorn2nc).
struct Assessment {
  bool given = false;
  std::vector<double> percentiles, thresholds, loadThresholds;  // percent, g/m3, g/m2
  std::vector<std::string> zones;        // names, the most severe first
  bool hasMap = false;
  // Per cell (ny, nx; row 0 the southernmost), per percentile or threshold
  // first: concentration and load statistics, and the zone (0 for none).
  std::vector<double> cPercentile, cMax, cMean, cHours, cShare, cSpell;
  std::vector<double> lPercentile, lMax, lMean;
  std::vector<signed char> zone;
  // Per point (station), per percentile or threshold first.
  std::vector<double> pPercentile, pMax, pMean, pHours, pShare, pSpell;
  std::vector<signed char> pZone;
  // Per habitat polygon.
  std::vector<std::string> habitatType, habitatName;
  std::vector<double> habitatArea, habitatZoneArea, habitatZonePercent;  // ha; (habitat, zone)
};

struct RunFile {
  std::string path;
  int ncid = -1;
  std::string siteFile;     // the site file the converter placed the run with, or empty
  std::string origin;       // "YYYY-MM-DD hh:mm:ss" of time 0
  bool hasMap = false, hasBiologyMap = false;
  Grid grid, bioGrid;
  std::vector<Time> mapTimes;
  std::vector<Point> points;
  bool hasPoints = false, hasBiologyPoints = false;
  std::vector<StatsRecord> stats;
  double statsInterval = 0;  // s between statistics records (0 with fewer than two)
  bool hasPackets = false;
  Time packetTime;                      // of the last frame
  std::vector<float> px, py, pz;        // the last frame, m
  float bioLow = 0, bioHigh = 0;        // thresholds of the biology map, g/m3
  Assessment assessment;
};

// The time `seconds` after the origin "YYYY-MM-DD hh:mm:ss", as
// YYYY-MM-DDThh:mm:ssZ (to the nearest second).
std::string isoTime(const std::string& origin, double seconds);

// Opens the file and reads all but the map frames; fails with a message
// naming the file when it is not a file of vorn2nc.
RunFile openRun(const std::string& path);
void closeRun(RunFile& r);

// Frame k of the map's layer concentration or column load, (ny, nx) with
// row 0 the southernmost; fill values as NaN.
void mapFrame(const RunFile& r, const char* variable, std::size_t k, std::vector<float>& out);
// The biology map's exposure (days), (ny, nx).
void biologyMap(const RunFile& r, std::vector<float>& out);

}  // namespace vorngis
