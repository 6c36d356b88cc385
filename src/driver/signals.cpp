// The signal handlers and the orderly end of an interrupted run.
#include "driver/signals.hpp"

#include <signal.h>

#include <csignal>
#include <string>

#include "config/units.hpp"
#include "driver/stop.hpp"
#include "state/vornio.hpp"

namespace {

volatile std::sig_atomic_t pending = 0;

// The first signal is noted; the second restores the default action and
// takes it, so the process ends at once. Only async-signal-safe calls.
extern "C" void onEndSignal(int signal) {
  if (pending != 0) {
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(signal, &dfl, nullptr);
    raise(signal);
    return;
  }
  pending = signal;
}

}  // namespace

void installSignalHandlers() {
  // No SA_RESTART: a wait for typed input returns, so that Ctrl-C at a
  // prompt ends the run at once. The record layer retries interrupted
  // calls everywhere else. A signal the run was started with ignored (by
  // nohup, or for a job in the background of a script) stays ignored.
  struct sigaction end {};
  end.sa_handler = onEndSignal;
  sigemptyset(&end.sa_mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&end.sa_mask, s);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    if (sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    sigaction(s, &end, nullptr);
  }

  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
  sigaction(SIGXFSZ, &ignore, nullptr);
}

int pendingSignal() { return pending; }

void noteSignal(int signal) { pending = signal; }

void stopIfInterrupted() {
  const int signal = pending;
  if (signal == 0) return;
  const std::string message = "Run interrupted by signal " + std::to_string(signal);
  for (std::int32_t unit : {VORNIO.outunit, VORNIO.logunit}) {
    if (rio::unitIsOpen(unit) || unit == rio::STDOUT_UNIT) rio::listWrite(unit, message);
  }
  stopOnSignal(signal);
}
