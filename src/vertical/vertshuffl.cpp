#include "vertical/vertshuffl.hpp"

// Shuffling arrives with the vertical scheme.
void VERTSHUFFL(std::int32_t, std::int32_t& errorcode) { errorcode = 0; }
