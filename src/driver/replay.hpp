#pragma once
// The run's advection steps replayed without the model, for the tools that
// need the schedule of a run (the NetCDF converter, the parameter checker).
#include <cstdint>
#include <functional>

// For velocity updates i = 1..nvu and steps j = 1..nadv, sets the step's
// times in TIMINGMID (tvu, tlocal, time, timef) as MAIN does and releases
// the step's packets by the run's release routine (releasePackets); then
// calls `step`, which reads TIMINGMID and PACKETS and returns false to end
// the replay. Needs a start-up done (STARTUP, or its steps one by one).
// The release's own stops (too many packets, a discharge row that cannot
// be read) end the replay by their exceptions, as they would end the run.
void REPLAYSTEPS(std::int32_t nvu, const std::function<bool()>& step);
