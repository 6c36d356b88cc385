// The one instance of every state record.
#include "state/vornio.hpp"

VornioRecord VORNIO;
