#pragma once
#include <cstdint>

// Vertical shuffling of ranks. iflag < 0 initialises the sweep; otherwise
// one step of the method vmethod over about fracmix * ktotal packets.
void VERTSHUFFL(std::int32_t iflag, std::int32_t& errorcode);
