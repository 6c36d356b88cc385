// The one instance of the random number package's state and flags.
#include "state/globe.hpp"

GlobeRecord GLOBE;
GlobeFlags GLOBEFLAGS;
