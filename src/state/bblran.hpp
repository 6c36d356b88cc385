#pragma once
#include <cstdint>

// The two seeds of the random numbers, as read from the parameter file.
struct BblranRecord {
  std::int32_t seed1 = 0;
  std::int32_t seed2 = 0;
};
extern BblranRecord BBLRAN;
