#pragma once
// How the program ends. A stop throws StopRun, which main catches: every
// open unit is flushed and closed and the exit status tells how the run
// ended (StopKind). An input or output error throws IoFailure: its message
// goes to the standard error stream, the other units are flushed and
// closed, and the exit status is 1. Tests catch both in-process.
#include <string>

enum class StopKind {
  clean,        // the run came to its end ("Clean exit"): status 0
  error,        // every other stop that ends a run on an error: status 2
  interrupted,  // a signal asked the run to end: status 128 + signal
};

struct StopRun {
  StopKind kind = StopKind::clean;
  int signal = 0;  // the signal number of an interrupted run
};

struct IoFailure {
  std::string message;
};

constexpr int EXIT_CLEAN = 0;
constexpr int EXIT_IO_ERROR = 1;
constexpr int EXIT_RUN_ERROR = 2;

// Ends the run at its clean end (exit status 0).
[[noreturn]] void stopRun();

// Ends the run on an error: a failed start-up, a run that ended on the
// errors it counted, and every fatal stop inside a routine (exit status 2).
// The message is already written where the run writes it.
[[noreturn]] void stopOnError();

// Ends a run interrupted by signal `signal` (exit status 128 + signal).
[[noreturn]] void stopOnSignal(int signal);

// Ends the run on an input or output error (exit status 1).
[[noreturn]] void ioFailure(std::string message);

// The exit status of a stop.
int exitStatus(const StopRun& stop);
