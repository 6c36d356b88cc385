// The program's start-up run dry, for the tools that read parameter files.
#include "driver/drystartup.hpp"

#include <utility>

#include "driver/inputstyleroutines.hpp"
#include "driver/startup.hpp"
#include "random/ranf1.hpp"
#include "runtime/stop.hpp"
#include "state/reset.hpp"

DryStartup beginDryStartup(std::string_view parfile, rio::RecordSink sink) {
  resetAllState();
  resetRandomPackage();
  rio::beginDryRun(std::move(sink));
  const std::string name(parfile);
  const char* argv[] = {"vornv7", name.c_str()};
  setCommandLine(2, argv);
  DryStartup r;
  try {
    r.nvu = STARTUP();
  } catch (const StopRun&) {
    r.end = StartupEnd::stopped;
  } catch (const IoFailure& e) {
    r.end = StartupEnd::ioError;
    r.message = e.message;
  }
  return r;
}

void endDryStartup() {
  rio::abandonAllUnits();
  rio::endDryRun();
}
