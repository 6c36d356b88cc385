#pragma once
#include <cstdint>

// Vertical shuffling of ranks. iflag < 0 initialises the sweep; otherwise
// one step of the method vmethod over about fracmix * ktotal packets.
void VERTSHUFFL(std::int32_t iflag, std::int32_t& errorcode);

// The packet number chosen by a draw u (the exact value z * 2^-31 of a
// RANF draw) among ktotal packets: nearest(u (ktotal - 1) + 1), the sum
// exact in double, rounded to single precision, halves away from zero.
// In 1..ktotal; the end packets come half as often as the others.
std::int32_t packetOfDraw(double u, std::int32_t ktotal);
