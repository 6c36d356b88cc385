#pragma once
// Constants of the logarithmic layer below the lowest current meter,
// shared by the node grid (which checks the lowest current meter against
// the roughness length) and the velocity series (which derive the log layer).

// Von Karman constant of the log layer; independent of the run parameter
// kappa, which only the sediment functions use.
constexpr float LOGLAYER_KAPPA = 0.4f;
// Roughness length of the log layer, m.
constexpr float LOGLAYER_ZETA0 = 0.003495f;
// The single-precision reciprocal of LOGLAYER_ZETA0, 1/m: heights are
// multiplied by it rather than divided by the roughness length.
constexpr float LOGLAYER_RECIP_ZETA0 = 286.12302f;
