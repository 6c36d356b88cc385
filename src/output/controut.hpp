#pragma once
#include <cstdint>

// Concentration at the fixed sampling points. With `first` it reads the
// points from the parameter input and writes the file's header; otherwise
// it evaluates every point into CONTROUTH and, when the series is written,
// appends one record stamped `time` (s).
void CONTROUT(double time, bool first);

// The concentration (g/m3) of points 1..ctotal into result: the column load
// of the packets within each point's radius spread over its layer with the
// current profile tables.
void CNCENTR1(const float* xpt, const float* ypt, const float* radius, const float* zlow,
              const float* ztop, float* result, std::int32_t ctotal);
