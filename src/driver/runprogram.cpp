#include "driver/runprogram.hpp"

#include <unistd.h>

#include <exception>
#include <string>

#include "rio/statusline.hpp"
#include "rio/units.hpp"
#include "runtime/stop.hpp"

namespace {

void toStandardError(const std::string& message) {
  rio::statusLineClear();  // the message starts on a row of its own
  std::string line = message + "\n";
  ssize_t k = ::write(2, line.data(), line.size());
  (void)k;
}

int endOnIoFailure(const IoFailure& e) {
  toStandardError(e.message);
  rio::abandonAllUnits();
  return EXIT_IO_ERROR;
}

// A stop: everything written so far must reach its file; a write that
// fails on the way is an output error.
int endOnStop(int status) {
  rio::statusLineClose();
  try {
    rio::closeAllUnits();
    return status;
  } catch (const IoFailure& e) {
    return endOnIoFailure(e);
  }
}

}  // namespace

int runProgram(const std::function<void()>& body) {
  try {
    body();
  } catch (const StopRun& stop) {
    return endOnStop(exitStatus(stop));
  } catch (const IoFailure& e) {
    return endOnIoFailure(e);
  } catch (const std::exception& e) {
    toStandardError(std::string("vornv7: internal error: ") + e.what());
    rio::abandonAllUnits();
    return EXIT_RUN_ERROR;
  }
  return endOnStop(EXIT_CLEAN);
}
