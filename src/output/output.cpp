#include "output/output.hpp"

// The outputs arrive with the output scheduling.
void OUTPUT(std::int32_t, std::int32_t& errorcode) { errorcode = 0; }
