// Program vornv7: the entry point hands the command line to the driver
// and returns the exit status of the way the run ended.
#include <unistd.h>

#include <string>

#include "driver/inputstyleroutines.hpp"
#include "driver/interruption.hpp"
#include "driver/runprogram.hpp"
#include "driver/threadsoption.hpp"
#include "driver/vornv7.hpp"
#include "runtime/signals.hpp"
#include "runtime/workers.hpp"

int main(int argc, char** argv) {
  // --threads N first: the other arguments keep their positions.
  std::string error;
  const int threads = takeThreadsOption(argc, argv, error);
  if (threads == 0 || !takeKernelsSetting(error)) {
    error += "\n";
    ssize_t k = ::write(2, error.data(), error.size());
    (void)k;
    return 2;
  }
  startWorkers(threads);
  setCommandLine(argc, argv);
  installSignalHandlers();
  setInterruptedWaitAction(stopIfInterrupted);
  return runProgram(MAIN);
}
