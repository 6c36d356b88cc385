#include "forcing/velhoriz.hpp"

// The velocity profile arrives with the forcing files.
void VELHORIZ(float& u, float& v, float, const float*, const float*, const float*,
              std::int32_t) {
  u = 0;
  v = 0;
}

void MOVEHORIZ(float*, float*, const float*, std::int32_t, double, std::int32_t, const float*,
               const float*, const float*) {}
