#pragma once

// Rouse number wstar / (max(ustar, 1e-10) kappa) * prandtl.
float ROUSENUM(float wstar, float kappa, float ustar, float prandtl);
// Threshold friction velocity for suspension, m/s.
float THRESHOLD();
// Suspended fraction: 0 when thresh >= ustar, else 1.
float SUSPENDEDFRACTION(float ustar, float thresh);
