// Program vornv7: the entry point hands the command line to the driver
// and returns the exit status of the way the run ended.
#include "driver/inputstyleroutines.hpp"
#include "driver/runprogram.hpp"
#include "driver/signals.hpp"
#include "driver/vornv7.hpp"

int main(int argc, char** argv) {
  setCommandLine(argc, argv);
  installSignalHandlers();
  return runProgram(MAIN);
}
