// Ending the run: both routines unwind to main, which closes the units.
#include "driver/stop.hpp"

#include <utility>

void stopRun() { throw StopRun{}; }

void ioFailure(std::string message) { throw IoFailure{std::move(message)}; }
