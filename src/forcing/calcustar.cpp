// The friction velocity from the current speed at the lowest current meter
// by a polynomial drag law.
#include "forcing/calcustar.hpp"

#include <cmath>

#include "rio/units.hpp"
#include "state/limits.hpp"
#include "state/vornio.hpp"

// u* = sqrt(fricp(1) + fricp(2) U + fricp(3) U^2), as far as nfricp
// coefficients are given, at U = |(u, v)|. errorcode: 0, or
// CALCUSTAR_NO_COEFFICIENTS (nfricp < 1) or CALCUSTAR_NEGATIVE (u*^2 < 0),
// with 0 returned. Called by the driver when nfricp > 0, at start-up and at
// every velocity update, with the velocity at the lowest current meter.
float CALCUSTAR(float u, float v, const float* fricp, std::int32_t nfricp,
                std::int32_t& errorcode) {
  errorcode = 0;
  // The speed from the exact squares in double, rounded once.
  const double ud = u;
  const double vd = v;
  const float speed = static_cast<float>(std::sqrt(ud * ud + vd * vd));
  if (nfricp < 1) {
    rio::listWrite(VORNIO.outunit, "Error: CalcUstar:");
    rio::listWrite(VORNIO.outunit, "Not enought friction parameters, nfricp =", nfricp);
    errorcode = CALCUSTAR_NO_COEFFICIENTS;
    return 0;
  }
  const std::int32_t n = nfricp > NFRICMAX ? NFRICMAX : nfricp;
  // Horner's rule, highest coefficient first, in double.
  double p = fricp[n - 1];
  for (std::int32_t i = n - 1; i >= 1; --i) p = p * speed + fricp[i - 1];
  const float ustar2 = static_cast<float>(p);
  if (!(ustar2 >= 0.0f)) {
    // No real friction velocity: the coefficients do not suit this speed.
    for (std::int32_t unit : {VORNIO.outunit, VORNIO.logunit}) {
      rio::listWrite(unit, "Error: CalcUstar:");
      rio::listWrite(unit, "The friction law gives u*^2 < 0. U, u*^2 =", speed, ustar2);
    }
    errorcode = CALCUSTAR_NEGATIVE;
    return 0;
  }
  return std::sqrt(ustar2);
}
