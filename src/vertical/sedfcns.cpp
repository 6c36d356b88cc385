#include "vertical/sedfcns.hpp"

// The sediment functions arrive with the vertical scheme.
float ROUSENUM(float, float, float, float) { return 0.0f; }
float THRESHOLD() { return 0.0f; }
float SUSPENDEDFRACTION(float, float) { return 0.0f; }
