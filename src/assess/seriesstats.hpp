#pragma once
// The statistics of a plume assessment over one series: the values of a
// map cell (or of a sampling point) at every output time of the run, each
// standing for one output interval.
//
//   percentile p   linear between the ordered values: the value at rank
//                  p/100 (n - 1) from 0, between two ranks in proportion
//   maximum, mean  over the n values
//   hours above t  the number of values above t (strictly) times the
//                  interval, in hours
//   share above t  the same as a percentage of the n values
//   longest spell  the most consecutive values above t, times the interval
//   zone           the first (most severe) zone whose condition holds: its
//                  threshold exceeded for more than its share of the time,
//                  or for more than its hours; 0 when none holds
// A value a text file could not hold (a fill value, NaN) is taken as above
// every threshold and above every other value: it was too large to write.
#include <cstddef>
#include <vector>

namespace assess {

struct ZoneRule {
  double threshold = 0;   // g/m3
  bool byHours = false;   // else by the share of time, percent
  double value = 0;
};

// What to compute for every series.
struct Plan {
  std::vector<double> percentiles;  // percent
  std::vector<double> thresholds;   // in the series' unit
  std::vector<ZoneRule> zones;      // most severe first (empty: no zone)
  double intervalHours = 0;         // between two values
};

// One series' results, in the arrays given (sized by the plan):
// percentile[np], hours[nt], share[nt], spell[nt].
struct Out {
  double* percentile;
  double* max;
  double* mean;
  double* hours;
  double* share;
  double* spell;
  signed char* zone;
};

// Computes the statistics of the n values v[0], v[stride], ... into `out`
// at index `at` (out.percentile[k * cells + at] and so on for the
// per-percentile and per-threshold arrays, cells the count of series).
// `scratch` is working storage of the caller (no allocation per series
// once it has grown to n).
void seriesStatistics(const float* v, std::size_t n, std::size_t stride, const Plan& p,
                      const Out& out, std::size_t at, std::size_t cells,
                      std::vector<float>& scratch);

}  // namespace assess
