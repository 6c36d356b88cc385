#pragma once

// Rouse numbers of the current step (dimensionless).
struct RouseRecord {
  float rousew = 0;   // for wstar (lower layer of the two-layer model)
  float rousei = 0;   // for iniwstar (lower layer of the two-layer model)
  float rousewc = 0;  // for wstar with ustarc, upper layer; 0 in the other models
  float rouseic = 0;  // for iniwstar with ustarc, upper layer; 0 in the other models
};
extern RouseRecord ROUSE;
