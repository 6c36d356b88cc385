#pragma once
#include <cstdint>

#include "rio/text.hpp"
#include "state/limits.hpp"

// Friction model and its parameters.
struct FrictioninRecord {
  Text<120> fricfile;          // bottom friction (stress series) file; blank when nfricp > 0
  float fricp[NFRICMAX] = {};  // drag-law coefficients 1..nfricp: u*^2 = p1 + p2 U + p3 U^2
  float kappa = 0;             // von Karman constant of the sediment functions
  std::int32_t nfricp = 0;     // 1..3 drag law; 0 u*cw, -1 u*c, -2 two-layer model from the file
  std::int32_t fricunit = 0;   // unit of the bottom friction file
};
extern FrictioninRecord FRICTIONIN;

// Friction triples: (ustar, ustarc, zw).
struct FrictionmidRecord {
  float ustar = 0;     // friction velocity in force at the current step, m/s
  float ustarc = 0;    // current-only friction velocity, m/s (0 with the drag law)
  float zw = 0;        // height of the boundary between the two layers, m (0 with the drag law)
  float fricprev[3] = {};  // the triple at the start of the velocity-update interval
  float fricnext[3] = {};  // the triple at its end
};
extern FrictionmidRecord FRICTIONMID;

// The bottom stress series between the calls of STRESSINFO.
struct StressmidRecord {
  std::int32_t ncol = 0;  // columns of the series rows, time included
  float t1 = 0;           // time of the latest record read, s (single precision, as read)
};
extern StressmidRecord STRESSMID;
