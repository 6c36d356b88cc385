#pragma once
#include <cstdint>

// out(i) = w b(i) + (1 - w) a(i) for nodes 1..n, w = t/dt rounded to single.
void INTERPVEL(float* out, const float* a, const float* b, std::int32_t n, double t, double dt);
