#pragma once
#include <cstdint>
#include <string_view>

// Steady release. iflag < 0: initialises the packet store (a rank drawn for
// every slot, positions zero) and the release parameters; otherwise releases
// the packets due at the advection step whose middle is `time`.
void CRTPCKTS(float* x, float* y, float* z, float* ranks, std::int32_t& ktotal, double time,
              double dtact, float& mtotal, float& pmass, std::int32_t iflag,
              std::int32_t& errorcode);

// The number of release events over which a steady release shares its
// npack packets, nrel + 1 (1 when all are released at once), from RELEASEIN
// as CRTPCKTS's set-up leaves it (addint raised to the advection step). The
// packets per event are npack / STEADYEVENTS(), truncated. Called by
// CRTPCKTS and by the parameter checker.
std::int64_t STEADYEVENTS();

// Release from a discharge series: the same arguments and calling order.
void CRTPCKTSDIS(float* x, float* y, float* z, float* ranks, std::int32_t& ktotal, double time,
                 double dtact, float& mtotal, float& pmass, std::int32_t iflag,
                 std::int32_t& errorcode);

// Reads the next row of the discharge series open on `unit` (file `name`):
// its time (days, returned in seconds) and number of packets. Returns false
// at the end of the file; a row that cannot be read, or a negative number
// of packets, ends the run as an input error naming the file and record.
// Called by CRTPCKTSDIS and by the parameter checker.
bool readDischargeRow(std::int32_t unit, std::string_view name, double& distime,
                      std::int32_t& addnum);
