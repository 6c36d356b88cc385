#pragma once
#include <cstdint>

// Shared by the steady and the discharge release.

// Ranks drawn for all KMAX slots in slot order, every position zero.
void initPacketStore(float* x, float* y, float* z, float* ranks);
// Stops the run, with its messages, when ktotal exceeds KMAX.
void checkPacketCapacity(std::int64_t ktotal, double time);
