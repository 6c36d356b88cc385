#pragma once
// Signals that end a run. SIGINT, SIGTERM and SIGHUP only note that the run
// is to end; the driver ends it at the next point where every file can be
// left in whole records (the end of an advection step, the end of
// start-up, a wait for input). A second such signal ends the process at
// once. A signal ignored when the run started (nohup) stays ignored.
// SIGPIPE and SIGXFSZ are ignored, so that a console whose reader has
// gone and a file that reaches the size limit come back as the write
// errors they are. The three end signals are handled on the main thread
// only: the worker threads start with them blocked (blockEndSignals).
#include <signal.h>

// Installs the handlers and unblocks the three end signals in the calling
// thread, whatever mask the parent process left; main calls it once,
// before the run.
void installSignalHandlers();

// The first signal that asked the run to end, or 0.
int pendingSignal();

// Takes an end signal that waits at the process because no thread could
// take it (every thread had it blocked), as if its handler had run. The
// call also lets a runtime that holds caught signals back until the
// thread's next library call (ThreadSanitizer does) hand them over. The
// driver calls it before it looks at pendingSignal at the end of a step.
void collectEndSignals();

// Notes `signal` as if it had arrived; 0 forgets a noted signal. For tests
// and for running start-up alone.
void noteSignal(int signal);

// Blocks SIGINT, SIGTERM and SIGHUP in the calling thread and returns in
// `saved` the mask it had, for pthread_sigmask(SIG_SETMASK, &saved, ...).
// The worker pool calls it around starting its threads, which inherit the
// blocked mask.
void blockEndSignals(sigset_t& saved);

// What a wait for input does when a signal interrupted it: the action set
// here, which may end the run (the driver sets its orderly end,
// stopIfInterrupted); with none set, the wait goes on. Called by the
// record layer.
void setInterruptedWaitAction(void (*action)());
void interruptedWait();
