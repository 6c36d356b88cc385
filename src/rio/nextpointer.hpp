#pragma once
#include <cstdint>

// Given the unit just taken, returns the next free unit number: units 5
// and 6 (standard input and output) are never handed out, and the run
// stops when more than 99 units would be needed.
std::int32_t NEXTPOINTER(std::int32_t unit);
