#pragma once
#include <cstdint>

// Error codes of NODEINFO.
constexpr std::int32_t NODEINFO_BAD_GRID = 2;  // counts out of range, or heights unusable
constexpr std::int32_t NODEINFO_HREF = 3;      // href is not the bottom node's height

// Builds the vertical node grid from the two node files named on the next
// two parameter records, and settles hmax against it.
void NODEINFO(std::int32_t& errorcode);
