#pragma once
#include <cstdint>

#include "state/limits.hpp"

// The packet store: KMAX slots, packet k at index k - 1; packets
// 1..ktotal are live.
struct PacketsRecord {
  float pmass = 0;           // mass of one packet, g
  float mtotal = 0;          // mass of all live packets, g
  std::int32_t ktotal = 0;   // number of live packets
  std::int32_t kbreak = 0;   // packets 1..kbreak have been broken up at least once
};
extern PacketsRecord PACKETS;

struct PositionsRecord {
  float x[KMAX];  // displacement from the release point along the first axis, m
  float y[KMAX];  // along the second axis, m
  float z[KMAX];  // height above the bed, m
};
extern PositionsRecord POSITIONS;

struct RanksRecord {
  float ranks[KMAX];  // quantile of the packet in its class's vertical distribution, in (0, 1)
};
extern RanksRecord RANKS;
