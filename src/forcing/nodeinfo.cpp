#include "forcing/nodeinfo.hpp"

// The node grid arrives with the forcing files.
void NODEINFO(std::int32_t& errorcode) { errorcode = 0; }
