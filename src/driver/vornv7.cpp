#include "driver/vornv7.hpp"

#include <cstdint>

#include "driver/inputstyleroutines.hpp"
#include "driver/nextpointer.hpp"
#include "driver/stop.hpp"
#include "state/vornio.hpp"

void MAIN() {
  std::int32_t iflag = -1;
  const std::int32_t progunit = 1;  // the progress file's unit, taken before any other
  VORNIO.nextunit = 1;
  VORNIO.nextunit = NEXTPOINTER(progunit);
  INPUTSTYLECMDLN_POSIX(iflag);
  // The run control (parameters, start-up, time loop) is built on this.
  iflag = 1;
  INPUTSTYLECMDLN_POSIX(iflag);
  stopRun();
}
