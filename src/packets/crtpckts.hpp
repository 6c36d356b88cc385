#pragma once
#include <cstdint>

// Steady release. iflag < 0: initialises the packet store (a rank drawn for
// every slot, positions zero) and the release parameters; otherwise releases
// the packets due at the advection step whose middle is `time`.
void CRTPCKTS(float* x, float* y, float* z, float* ranks, std::int32_t& ktotal, double time,
              double dtact, float& mtotal, float& pmass, std::int32_t iflag,
              std::int32_t& errorcode);

// Release from a discharge series: the same arguments and calling order.
void CRTPCKTSDIS(float* x, float* y, float* z, float* ranks, std::int32_t& ktotal, double time,
                 double dtact, float& mtotal, float& pmass, std::int32_t iflag,
                 std::int32_t& errorcode);
