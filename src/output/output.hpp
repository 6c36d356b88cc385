#pragma once
#include <cstdint>

// The output dispatcher: iflag < 0 sets up every output asked for, 0 writes
// whatever is due after an advection step, > 0 closes the outputs.
void OUTPUT(std::int32_t iflag, std::int32_t& errorcode);
