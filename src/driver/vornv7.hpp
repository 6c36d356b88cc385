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

// The simulation driver: start-up, the time loop and the end of the run.
// Always ends through a stop.
void MAIN();
