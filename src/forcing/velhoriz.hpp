#pragma once
#include <cstdint>

// Velocity (u, v) at height z by linear interpolation between nodes.
void VELHORIZ(float& u, float& v, float z, const float* uu, const float* vv,
              const float* heightnodes, std::int32_t nnv);

// Moves packets 1..ktotal horizontally by one step of dt seconds with the
// velocity at their heights.
void MOVEHORIZ(float* x, float* y, const float* z, std::int32_t ktotal, double dt,
               std::int32_t nnv, const float* heightnodes, const float* uu, const float* vv);
