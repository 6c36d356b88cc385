// The orderly end of an interrupted run.
#include "driver/interruption.hpp"

#include <string>

#include "rio/units.hpp"
#include "runtime/signals.hpp"
#include "runtime/stop.hpp"
#include "state/vornio.hpp"

void stopIfInterrupted() {
  collectEndSignals();
  const int signal = pendingSignal();
  if (signal == 0) return;
  const std::string message = "Run interrupted by signal " + std::to_string(signal);
  for (std::int32_t unit : {VORNIO.outunit, VORNIO.logunit}) {
    if (rio::unitIsOpen(unit) || unit == rio::STDOUT_UNIT) rio::listWrite(unit, message);
  }
  stopOnSignal(signal);
}
