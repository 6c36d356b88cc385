#pragma once
#include <cstdint>

// Timing inputs, read in hours (time0 in days) and held in seconds.
struct TiminginRecord {
  double dta = 0;     // requested advection time step, s
  double dtvu = 0;    // time between velocity-field updates, s
  double ttotal = 0;  // total integration time, s
  double time0 = 0;   // time at the start of the run, s (moved onto the velocity records at start-up)
};
extern TiminginRecord TIMINGIN;

// Timing of the current step, derived and advanced by the driver only.
struct TimingmidRecord {
  double dtact = 0;   // actual advection time step dtvu/nadv, s
  double tvu = 0;     // start of the current velocity-update interval, s
  double time = 0;    // middle of the current advection step, s
  double timef = 0;   // end of the current advection step, s
  double tlocal = 0;  // from the start of the interval to the middle of the step, s
  std::int32_t nadv = 0;  // advection steps per velocity update
};
extern TimingmidRecord TIMINGMID;
