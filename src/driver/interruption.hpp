#pragma once
// The orderly end of a run that a signal asked to end.

// Ends the run if a signal asked for it: " Run interrupted by signal N" on
// the console and in the log, then a stop with status 128 + N, which
// flushes and closes every unit. Called by the driver at the end of every
// advection step and of start-up, and, as the record layer's action on an
// interrupted wait for input (set by main), when a wait for input was
// interrupted.
void stopIfInterrupted();
