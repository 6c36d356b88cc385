#pragma once
// Times in days, as the parameter and forcing files give them, to the
// program's seconds: multiplied by 3600 and then by 24, each product
// rounded in the precision of the value. A single product by 86400 rounds
// differently (44.5958 days: 3853077.119999999 s here, 3853077.120000000
// by 86400) and can move an event across the middle of a step.

// Double-precision times (velocity and discharge series, the start time).
inline double daysToSeconds(double days) { return days * 3600.0 * 24.0; }

// Single-precision times (the stress series).
inline float daysToSeconds(float days) {
  const float hours = days * 3600.0f;
  return hours * 24.0f;
}
