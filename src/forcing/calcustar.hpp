#pragma once
#include <cstdint>

// Error codes of CALCUSTAR.
constexpr std::int32_t CALCUSTAR_NO_COEFFICIENTS = 1;  // nfricp < 1
constexpr std::int32_t CALCUSTAR_NEGATIVE = 2;         // the drag law gives u*^2 < 0

// Friction velocity (m/s) from the drag law u*^2 = p1 + p2 U + p3 U^2 at
// the speed U of (u, v).
float CALCUSTAR(float u, float v, const float* fricp, std::int32_t nfricp,
                std::int32_t& errorcode);
