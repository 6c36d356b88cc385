#pragma once

// Settling velocities and the floc break-up threshold, m/s.
struct SettlinginRecord {
  float iniwstar = 0;   // initial settling velocity
  float bigwstar = 0;   // settling velocity of large flocs
  float litwstar = 0;   // settling velocity of small flocs
  float breakupus = 0;  // friction velocity at and above which flocs break up; <= 0: off
};
extern SettlinginRecord SETTLINGIN;

struct SettlingmidRecord {
  float wstar = 0;  // settling velocity in force at the current step, m/s
};
extern SettlingmidRecord SETTLINGMID;
