#include "output/contrmaout.hpp"

// The concentration map arrives with its own writer.
void CONTRMAOUT(double, bool) {}
