#include "driver/inputstyleroutines.hpp"

#include <string>
#include <string_view>
#include <vector>

#include "driver/cmdoptions.hpp"
#include "rio/nextpointer.hpp"
#include "rio/text.hpp"
#include "rio/units.hpp"
#include "runtime/stop.hpp"
#include "state/vornio.hpp"

namespace {

// Each argument is fetched as a text of 256 characters, blank-padded.
std::vector<Text<256>> arguments;

bool isStdIn(const Text<256>& a) { return a.trimmed() == "StdIn"; }

// unit = nextunit; nextunit = NEXTPOINTER(unit).
std::int32_t takeUnit() {
  std::int32_t unit = VORNIO.nextunit;
  VORNIO.nextunit = NEXTPOINTER(unit);
  return unit;
}

void usage() {
  const int u = rio::STDOUT_UNIT;
  rio::listWrite(u, "Too many calling parameters!!");
  rio::listWrite(u, "call with 1 of:");
  rio::listWrite(u, "vornv6_ts");
  rio::listWrite(u, "vornv6_ts < infile");
  rio::listWrite(u, "vornv6_ts infile");
  rio::listWrite(u, "vornv6_ts < infile > outfile");
  rio::listWrite(u, "vornv6_ts infile outfile");
  rio::listWrite(u, "If all else fails goto line line 134 of vornv6");
  stopOnError();
}

}  // namespace

void setCommandLine(int argc, const char* const* argv) {
  arguments.clear();
  for (int k = 1; k < argc; ++k) arguments.emplace_back(std::string_view(argv[k]));
}

void INPUTSTYLECMDLN_POSIX(std::int32_t iflag) {
  if (iflag > 0) {
    rio::closeUnit(VORNIO.inunit);
    rio::closeUnit(VORNIO.outunit);
    return;
  }
  if (iflag == 0) return;

  if (!COMMANDOPTIONS(arguments)) usage();
  const std::size_t n = arguments.size();
  if (n >= 3) usage();
  VORNIO.inunit = rio::STDIN_UNIT;
  VORNIO.outunit = rio::STDOUT_UNIT;
  if (n == 0) return;
  if (n == 1) {
    if (isStdIn(arguments[0])) return;
    VORNIO.inunit = takeUnit();
    rio::openUnit(VORNIO.inunit, arguments[0].trimmed(), rio::FileStatus::old, "parameter file");
    return;
  }
  if (!isStdIn(arguments[0])) {
    VORNIO.inunit = takeUnit();
    rio::openUnit(VORNIO.inunit, arguments[0].trimmed(), rio::FileStatus::old, "parameter file");
  }
  VORNIO.outunit = takeUnit();
  rio::openUnit(VORNIO.outunit, arguments[1].trimmed(), rio::FileStatus::unknown,
                "console output file");
}
