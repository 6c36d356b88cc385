#pragma once
// A dry run of the program's start-up. The tools of the project (the NetCDF
// converter, the parameter checker) read a parameter file with exactly the
// program's own reading code, which leaves every state record as a run
// would, without running the model and without touching any file.
#include <cstdint>
#include <string>
#include <string_view>

#include "rio/units.hpp"

enum class StartupEnd {
  ready,    // start-up went through: the time loop would begin now
  stopped,  // start-up stopped (errors counted, or a fatal condition); its messages went to the sink
  ioError,  // an input or output error (a missing or malformed file): `message`
};

struct DryStartup {
  StartupEnd end = StartupEnd::ready;
  std::int32_t nvu = 0;  // velocity updates of the run (when ready)
  std::string message;   // the error's message (when ioError)
};

// Runs STARTUP on the parameter file `parfile` (a name of at most 256
// characters, as the command line holds them) as `vornv7 parfile` would, on
// fresh state (every record and the random numbers reset), in a dry run
// whose records go to `sink`. On return the dry run is still on and the
// units stay connected, so the caller can ask for the files of the outputs
// (rio::unitFileName) and call further routines of the program; it ends
// both with endDryStartup.
DryStartup beginDryStartup(std::string_view parfile, rio::RecordSink sink = {});

// Disconnects every unit (no file is touched) and ends the dry run.
void endDryStartup();
