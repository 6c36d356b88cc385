#pragma once
#include <cstdint>

// Exposure of the biology at the concentration points: iflag < 0 reads the
// thresholds, 0 accumulates the exposure of the latest concentrations,
// > 0 writes the end-of-run records and closes the file.
void DOBIOLOGY(std::int32_t iflag);

// The same on the cells of the concentration map.
void DOBIOLOGYMAP(std::int32_t iflag);
