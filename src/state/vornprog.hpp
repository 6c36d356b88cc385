#pragma once
#include <cstdint>

// Progress of the run, written to the progress file "vornprog.out".
struct VornprogRecord {
  std::int32_t progunit = 1;  // unit of the progress file; 1, taken before any other
  std::int32_t pctnow = 0;    // progress value (percent + 1) at the latest advection step
  std::int32_t pctlast = 0;   // progress value last written; 0 before the time loop
};
extern VornprogRecord VORNPROG;
