#pragma once
#include <cstdint>

// The start-up of a run, in the program's fixed order: the input source and
// console, the parameters, the timing, the packet store, shuffling, the node
// grid, the velocities and friction at the start time (time0 moved onto the
// velocity records) and the output set-up; every state record is filled.
// Returns the number of velocity updates; stops (StopRun) when an error was
// counted. Called by MAIN, and by the tools that walk a parameter file in a
// dry run (drystartup.hpp).
std::int32_t STARTUP();

// The steps of start-up, also taken one by one by the parameter checker.

// The packet release of the chosen mode (CRTPCKTS, or CRTPCKTSDIS when
// btype = 0), at start-up (iflag -1, time time0) or at a step.
void releasePackets(double time, std::int32_t iflag, std::int32_t& errorcode);

// The friction triple for the end of velocity update `flag` (0: the start)
// into FRICTIONMID.fricnext: from the drag law at the lowest current meter
// (a failure reported and counted in nerror) or from the stress series.
void nextFriction(std::int32_t flag, std::int32_t& errorcode, std::int32_t& nerror);

// Derives nvu, nadv, dtact and fracmix and echoes them to the log; the
// timing checks of the driver count their errors in nerror. Returns false
// when the parameters give no usable time stepping.
bool deriveTiming(std::int32_t& nvu, std::int32_t& nerror);

// The driver's own checks: kappa positive; the statistics radius positive
// when the statistics are on; at most MAXNODES - 1 nodes. Each counts its
// error in nerror, with its messages on console and log.
void checkKappa(std::int32_t& nerror);
void checkStatisticsRadius(std::int32_t& nerror);
void checkNodeCount(std::int32_t& nerror);
