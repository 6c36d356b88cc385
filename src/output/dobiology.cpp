#include "output/dobiology.hpp"

// The biology outputs arrive with their own writers.
void DOBIOLOGY(std::int32_t) {}
void DOBIOLOGYMAP(std::int32_t) {}
