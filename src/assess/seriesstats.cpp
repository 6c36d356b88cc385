// The statistics of one series of an assessment.
#include "assess/seriesstats.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace assess {

void seriesStatistics(const float* v, std::size_t n, std::size_t stride, const Plan& p,
                      const Out& out, std::size_t at, std::size_t cells,
                      std::vector<float>& scratch) {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  const std::size_t nt = p.thresholds.size();
  // The values above 0, in time order; a fill value (NaN) as +infinity.
  scratch.clear();
  double sum = 0;
  float top = 0;
  for (std::size_t k = 0; k < n; ++k) {
    float x = v[k * stride];
    if (std::isnan(x)) x = kInf;
    if (x != 0.0f) scratch.push_back(x);
    sum += x;
    top = k == 0 ? x : std::max(top, x);
  }
  const std::size_t nonzero = scratch.size();
  *(out.max + at) = n > 0 ? top : 0.0;
  *(out.mean + at) = n > 0 ? sum / static_cast<double>(n) : 0.0;

  // Time above each threshold and the longest spell, in time order.
  for (std::size_t t = 0; t < nt; ++t) {
    const double c = p.thresholds[t];
    std::size_t above = 0, run = 0, longest = 0;
    if (nonzero > 0 || c < 0) {
      for (std::size_t k = 0; k < n; ++k) {
        float x = v[k * stride];
        if (std::isnan(x)) x = kInf;
        if (x > c) {
          ++above;
          longest = std::max(longest, ++run);
        } else {
          run = 0;
        }
      }
    }
    out.hours[t * cells + at] = static_cast<double>(above) * p.intervalHours;
    out.share[t * cells + at] = n > 0 ? 100.0 * static_cast<double>(above) / static_cast<double>(n) : 0.0;
    out.spell[t * cells + at] = static_cast<double>(longest) * p.intervalHours;
  }

  // Zones, most severe first.
  signed char zone = 0;
  for (std::size_t z = 0; z < p.zones.size() && zone == 0 && n > 0; ++z) {
    const ZoneRule& r = p.zones[z];
    std::size_t above = 0;
    for (std::size_t k = 0; k < n && (nonzero > 0 || r.threshold < 0); ++k) {
      float x = v[k * stride];
      if (std::isnan(x)) x = kInf;
      above += x > r.threshold;
    }
    const bool holds = r.byHours ? static_cast<double>(above) * p.intervalHours > r.value
                                 : 100.0 * static_cast<double>(above) / static_cast<double>(n) > r.value;
    if (holds) zone = static_cast<signed char>(z + 1);
  }
  *(out.zone + at) = zone;

  // Percentiles: the values other than 0 sorted, the zeros between those
  // below 0 and those above.
  std::sort(scratch.begin(), scratch.end());
  const std::size_t zeros = n - nonzero;
  const std::size_t negative = static_cast<std::size_t>(
      std::lower_bound(scratch.begin(), scratch.end(), 0.0f) - scratch.begin());
  const auto ranked = [&](std::size_t r) -> double {
    if (r < negative) return scratch[r];
    return r < negative + zeros ? 0.0 : static_cast<double>(scratch[r - zeros]);
  };
  for (std::size_t k = 0; k < p.percentiles.size(); ++k) {
    double value = 0;
    if (n > 0) {
      const double rank = p.percentiles[k] / 100.0 * static_cast<double>(n - 1);
      const std::size_t lo = static_cast<std::size_t>(std::floor(rank));
      const std::size_t hi = std::min(lo + 1, n - 1);
      const double f = rank - static_cast<double>(lo);
      const double a = ranked(lo), b = ranked(hi);
      value = f == 0.0 ? a : (a == b ? a : a + f * (b - a));
    }
    out.percentile[k * cells + at] = value;
  }
}

}  // namespace assess
