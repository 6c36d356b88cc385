#pragma once
#include <cstdint>

// Velocity series: flag 0 opens every file and moves time0 onto the
// records; flag i reads the record of velocity update i. uu, vv receive the
// node velocities (the log layer derived below the lowest current meter).
void VELINFO(float* uu, float* vv, std::int32_t flag, std::int32_t& errorcode);
