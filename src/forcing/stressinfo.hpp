#pragma once
#include <cstdint>

// Bottom stress series: flag 0 opens the file and finds the record at
// time0; flag i reads the record of velocity update i into us(1..3).
void STRESSINFO(float* us, double time0, double dtvu, std::int32_t flag, std::int32_t& errorcode,
                std::int32_t nfricp);

// Stops the run, with the messages of the stress reader, when the series
// has too few columns for the friction model nfricp. Called by STRESSINFO
// and by the parameter checker.
void checkStressColumns(std::int32_t ncol, std::int32_t nfricp);

// Reads one row of a stress series of ncol columns on `unit`: the time
// (days, returned in seconds, single precision) and the friction values
// us(1..min(ncol - 1, 3)). Called by STRESSINFO and by the parameter checker.
void readStressRow(std::int32_t unit, std::int32_t ncol, float& t, float* us);

// (1 - w) a + w b with w = t/dt rounded to single precision.
float INTERPSCALAR(float a, float b, double t, double dt);
