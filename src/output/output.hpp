#pragma once
#include <cstdint>

// The output dispatcher: iflag < 0 sets up every output asked for, 0 writes
// whatever is due after an advection step, > 0 closes the outputs.
void OUTPUT(std::int32_t iflag, std::int32_t& errorcode);

// Whether an output of interval `interval` (s) is due at the end of an
// advection step that lies `elapsed` (s, single precision) after the start
// of the run: the interval is on and the elapsed time lies less than one
// advection step (TIMINGMID.dtact) past a whole number of intervals. The
// test OUTPUT makes after every step; the tools that rebuild a run's output
// schedule make it too.
bool OUTPUTDUE(float elapsed, double interval);
