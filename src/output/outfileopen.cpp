#include "output/outfileopen.hpp"

#include <cmath>
#include <string>

#include "rio/nextpointer.hpp"
#include "rio/numfmt.hpp"
#include "rio/text.hpp"
#include "rio/units.hpp"
#include "runtime/stop.hpp"
#include "state/timing.hpp"
#include "state/vornio.hpp"

namespace {

// The same free-format write on the console, then in the log.
template <class... T>
void toBoth(const T&... items) {
  rio::listWrite(VORNIO.outunit, items...);
  rio::listWrite(VORNIO.logunit, items...);
}

}  // namespace

void OUTFILEOPEN(std::int32_t& unit, double& dtout, std::string_view name, std::int32_t&,
                 const char* key, const char* field) {
  rio::listWrite(VORNIO.outunit, "Enter Time step (in hours) for ", name);
  double hours = 0;
  if (key) rio::nameNextRead(VORNIO.inunit, "interval", field, 0, key);
  rio::listRead(VORNIO.inunit, hours);
  toBoth("Time step for ", name, ":");
  toBoth(hours);
  dtout = hours * 3600.0;
  const double dtact = TIMINGMID.dtact;
  if (dtact < kOutputOff) {
    const rio::Problem problem;
    toBoth("Model time step too small!!!  See subroutine outfileopen.");
    stopOnError();
  }
  if (std::fabs(dtout) <= kOutputOff) {
    toBoth("No output for ", name);
    rio::listWrite(VORNIO.outunit);
    return;
  }
  if (std::fabs(dtout) < dtact) {
    // Four items of one free-format write: the name goes onto a record
    // of its own when it would take the line past 79 characters.
    const rio::Problem problem(rio::Severity::warning);
    rio::listWrite(VORNIO.outunit, "Too Small!!!, Using default model timestep: ", dtact, " for ",
                   name);
    dtout = std::copysign(dtact, dtout);
  }
  if (dtout < -kOutputOff) {
    toBoth("Postprocess but suppress output for ", name);
    return;
  }
  rio::listWrite(VORNIO.outunit, "Enter file name for ", name);
  Text<120> file;
  if (key) rio::nameNextRead(VORNIO.inunit, "file", "file", 0, key);
  rio::readText(VORNIO.inunit, file);
  unit = VORNIO.nextunit;
  VORNIO.nextunit = NEXTPOINTER(unit);
  rio::openUnit(unit, file.trimmed(), rio::FileStatus::unknown, name);
  for (std::int32_t u : {VORNIO.logunit, VORNIO.outunit}) {
    rio::listWrite(u, "File name for ", name);
    rio::writeRecord(u, file.view());
  }
}
