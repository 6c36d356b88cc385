#pragma once
#include <cstdint>

// Vertical mixing inputs.
struct ShufflinginRecord {
  double dtms = 0;            // mixing time scale, s (read in hours)
  std::int32_t vmethod = 0;   // vertical shuffling method 1..4
};
extern ShufflinginRecord SHUFFLINGIN;

// Vertical mixing working state.
struct ShufflingmidRecord {
  double fracmix = 0;         // fraction of the packets shuffled per advection step, dtact/dtms
  std::int32_t kstart = 0;    // first packet of the next sweep block (methods 3 and 4)
  std::int32_t nsweep = 0;    // sweep blocks done since the last random restart
  std::int32_t kend = 0;      // last packet, before wrapping, of the current sweep block
};
extern ShufflingmidRecord SHUFFLINGMID;
