#pragma once
#include <cstdint>

// Gives every live packet the height at which its class's profile table
// reaches the packet's rank.
void ABRVERTPOS2();

// ABRVERTPOS2, then the horizontal move of every packet at its new height
// (MOVEHORIZ with the POSITIONS arrays, PACKETS.ktotal and the given step,
// grid and node velocities), in one pass with the same results and stops.
void PLACEANDMOVE(double dt, std::int32_t nnv, const float* heightnodes, const float* uu,
                  const float* vv);
