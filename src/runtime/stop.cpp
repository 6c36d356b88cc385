// Ending the run: every routine unwinds to main, which closes the units.
#include "runtime/stop.hpp"

#include <utility>

void stopRun() { throw StopRun{StopKind::clean, 0}; }

void stopOnError() { throw StopRun{StopKind::error, 0}; }

void stopOnSignal(int signal) { throw StopRun{StopKind::interrupted, signal}; }

void ioFailure(std::string message) { throw IoFailure{std::move(message)}; }

int exitStatus(const StopRun& stop) {
  switch (stop.kind) {
    case StopKind::clean:
      return EXIT_CLEAN;
    case StopKind::interrupted:
      return 128 + stop.signal;
    case StopKind::error:
      break;
  }
  return EXIT_RUN_ERROR;
}
