// Node velocities interpolated in time within a velocity update interval.
#include "forcing/interpvel.hpp"

// out(i) = w b(i) + (1 - w) a(i) for nodes 1..n, with w = t/dt rounded to
// single precision and no clamping. Called by the driver at every advection
// step, for u and for v: a = the record at the start of the interval, b =
// the record at its end, t = the time from the start to the middle of the
// step, dt = the update interval.
void INTERPVEL(float* out, const float* a, const float* b, std::int32_t n, double t, double dt) {
  const float w = static_cast<float>(t / dt);
  const float w1 = 1.0f - w;
  for (std::int32_t i = 0; i < n; ++i) out[i] = w * b[i] + w1 * a[i];
}
