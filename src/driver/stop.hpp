#pragma once
// How the program ends. A stop (clean end or fatal condition) throws
// StopRun, which main catches: every open unit is flushed and closed and
// the exit status is 0. An input or output error throws IoFailure: its
// message goes to the standard error stream, the other units are flushed
// and closed, and the exit status is 1. Tests catch both in-process.
#include <string>

struct StopRun {};

struct IoFailure {
  std::string message;
};

// Ends the run (exit status 0).
[[noreturn]] void stopRun();

// Ends the run on an input or output error (exit status 1).
[[noreturn]] void ioFailure(std::string message);
