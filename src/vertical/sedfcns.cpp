#include "vertical/sedfcns.hpp"

// The Rouse number of a settling class: wstar / (max(ustar, 1e-10) kappa)
// times prandtl, all in single precision. The floor keeps the division
// finite at zero or negative friction. Called by the driver every step,
// for the current and the initial settling velocity.
float ROUSENUM(float wstar, float kappa, float ustar, float prandtl) {
  const float us = ustar > 1.0E-10f ? ustar : 1.0E-10f;
  return wstar / (us * kappa) * prandtl;
}

// The threshold friction velocity for suspension, m/s: none (0). Called
// by the driver every step before SUSPENDEDFRACTION.
float THRESHOLD() { return 0.0f; }

// The suspended fraction: 0 while the friction velocity does not exceed
// the threshold, else 1 (the whole sediment is in suspension). Called by
// the driver every step; the result goes to the profile builders.
float SUSPENDEDFRACTION(float ustar, float thresh) { return thresh >= ustar ? 0.0f : 1.0f; }
