#include "forcing/forcingfile.hpp"

#include <cstring>
#include <string>

#include "rio/text.hpp"
#include "rio/units.hpp"
#include "runtime/stop.hpp"
#include "state/vornio.hpp"

namespace {

// One console line: the message and, directly after it, the file name as
// a 120-character field.
[[noreturn]] void stopNaming(const char* message, std::string_view name) {
  const rio::Problem problem;
  Text<120> padded(name);
  std::string line = std::string(message) + std::string(padded.view());
  rio::listWrite(VORNIO.outunit, line);
  stopOnError();
}

}  // namespace

void SCANHEADER(std::int32_t unit, std::string_view name) {
  Text<120> line;  // blank: no marker yet
  while (std::memcmp(line.c, "XXXX", 4) != 0) {
    rio::ReadResult r;
    try {
      r = rio::readTextStatus(unit, line);
    } catch (const IoFailure&) {
      stopNaming("Fatal Error reading", name);
    }
    if (r == rio::ReadResult::eof) stopNaming("Never found XXXX in file", name);
  }
}

void READSERIESPREAMBLE(std::int32_t unit, std::int32_t& year, std::int32_t& ncol) {
  const std::int32_t log = VORNIO.logunit;
  Text<120> title;
  for (int line = 0; line < 2; ++line) {
    rio::readText(unit, title);
    rio::writeRecord(log, title.view());
  }
  rio::listRead(unit, year);
  rio::listWrite(log, year);
  rio::listRead(unit, ncol);
  rio::listWrite(log, ncol);
}
