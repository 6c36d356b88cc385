#pragma once
// Signals that end a run. SIGINT, SIGTERM and SIGHUP only note that the run
// is to end; the driver ends it at the next point where every file can be
// left in whole records (the end of an advection step, the end of
// start-up, a wait for input). A second such signal ends the process at
// once. A signal ignored when the run started (nohup) stays ignored.
// SIGPIPE and SIGXFSZ are ignored, so that a console whose reader has
// gone and a file that reaches the size limit come back as the write
// errors they are.

// Installs the handlers; main calls it once, before the run.
void installSignalHandlers();

// The first signal that asked the run to end, or 0.
int pendingSignal();

// Notes `signal` as if it had arrived; 0 forgets a noted signal. For tests
// and for running start-up alone.
void noteSignal(int signal);

// Ends the run if a signal asked for it: " Run interrupted by signal N" on
// the console and in the log, then a stop with status 128 + N, which
// flushes and closes every unit. Called by the driver at the end of every
// advection step and of start-up, and by the record layer when a wait for
// input was interrupted.
void stopIfInterrupted();
