#pragma once
#include <cstdint>

// Bottom stress series: flag 0 opens the file and finds the record at
// time0; flag i reads the record of velocity update i into us(1..3).
void STRESSINFO(float* us, double time0, double dtvu, std::int32_t flag, std::int32_t& errorcode,
                std::int32_t nfricp);

// (1 - w) a + w b with w = t/dt rounded to single precision.
float INTERPSCALAR(float a, float b, double t, double dt);
