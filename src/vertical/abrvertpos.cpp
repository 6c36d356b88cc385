#include "vertical/abrvertpos.hpp"

// Positioning by rank arrives with the vertical scheme.
void ABRVERTPOS2() {}
