#include <cmath>
#include <cstdint>

#include "output/modelrecords.hpp"
#include "output/outfileopen.hpp"
#include "output/recordlayouts.hpp"
#include "rio/layout.hpp"
#include "rio/units.hpp"
#include "state/outputs.hpp"
#include "state/packets.hpp"

// All statistics in single precision, the sums taken in store order.
void STATOUT(double time, bool) {
  const std::int32_t n = PACKETS.ktotal;
  const float* x = POSITIONS.x;
  const float* y = POSITIONS.y;
  const float* z = POSITIONS.z;
  float sx = 0.0f, sy = 0.0f, sz = 0.0f;
  for (std::int32_t k = 0; k < n; ++k) {
    sx += x[k];
    sy += y[k];
    sz += z[k];
  }
  const float fn = static_cast<float>(n);
  const float xm = n > 0 ? sx / fn : 0.0f;
  const float ym = n > 0 ? sy / fn : 0.0f;
  const float zm = n > 0 ? sz / fn : 0.0f;

  float sxx = 0.0f, syy = 0.0f, sxy = 0.0f;
  for (std::int32_t k = 0; k < n; ++k) {
    const float dx = x[k] - xm;
    const float dy = y[k] - ym;
    sxx += dx * dx;
    syy += dy * dy;
    sxy += dx * dy;
  }
  // A lone packet has no spread: variances and direction 0 rather than a
  // division by zero.
  float vxx = 0.0f, vyy = 0.0f, vxy = 0.0f;
  if (n > 1) {
    const float dof = static_cast<float>(n - 1);
    vxx = sxx / dof;
    vyy = syy / dof;
    vxy = sxy / dof;
  }
  const float diff = vxx - vyy;
  const float d = std::sqrt(diff * diff + 4.0f * vxy * vxy);
  const float lambda1 = 0.5f * (vxx + vyy + d);
  const float lambda2 = 0.5f * (vxx + vyy - d);
  float theta = 0.0f;
  if (!(std::fabs(vxy) <= 1e-7f && std::fabs(diff) <= 1e-7f)) {
    theta = 0.5f * std::atan2(2.0f * vxy, diff);
  }
  const float degrees = theta * 180.0f * 0.31831014f;

  // The cylinder that follows the centre of mass.
  const StatsinRecord& s = STATSIN;
  const float r2 = s.radius * s.radius;
  const float area = 3.14159f * r2;
  std::int32_t ncol = 0, nlay = 0;
  for (std::int32_t k = 0; k < n; ++k) {
    const float dx = xm - x[k];
    const float dy = ym - y[k];
    if (dx * dx + dy * dy <= r2) {
      ++ncol;
      if (s.zlow <= z[k] && z[k] < s.ztop) ++nlay;
    }
  }
  const float pmass = PACKETS.pmass;
  const float load = static_cast<float>(ncol) * pmass / area;
  const float conc = static_cast<float>(nlay) * pmass / (area * (s.ztop - s.zlow));

  static const rio::Layout kStats(kStatisticsLayout);
  rio::layoutWrite(s.unit, kStats, time * kDaysPerSecond, xm, ym, zm, lambda1, lambda2, degrees,
                   load, conc);
}
