// The signal handlers and the pending-signal flag.
#include "runtime/signals.hpp"

#include <signal.h>

#include <atomic>
#include <csignal>

namespace {

// Written by the handler (on the main thread: the workers block the end
// signals) and read by the main thread; atomic all the same, so that a
// read from any thread is well defined.
std::atomic<int> pending{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a lock-free flag");

void (*waitAction)() = nullptr;

// The first signal is noted; the second restores the default action and
// takes it, so the process ends at once. Only async-signal-safe calls.
extern "C" void onEndSignal(int signal) {
  int none = 0;
  if (pending.compare_exchange_strong(none, signal)) return;
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  sigaction(signal, &dfl, nullptr);
  raise(signal);
}

void endSignalSet(sigset_t& set) {
  sigemptyset(&set);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, s);
}

}  // namespace

void installSignalHandlers() {
  // No SA_RESTART: a wait for typed input returns, so that Ctrl-C at a
  // prompt ends the run at once. The record layer retries interrupted
  // calls everywhere else. A signal the run was started with ignored (by
  // nohup, or for a job in the background of a script) stays ignored.
  struct sigaction end {};
  end.sa_handler = onEndSignal;
  endSignalSet(end.sa_mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    if (sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    sigaction(s, &end, nullptr);
  }

  // A mask inherited from the parent would hold the end signals back for
  // the whole run: the main thread takes them.
  sigset_t endSet;
  endSignalSet(endSet);
  pthread_sigmask(SIG_UNBLOCK, &endSet, nullptr);

  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
  sigaction(SIGXFSZ, &ignore, nullptr);
}

int pendingSignal() { return pending.load(); }

void collectEndSignals() {
  sigset_t waiting;
  if (sigpending(&waiting) != 0) return;
  for (int s : {SIGINT, SIGTERM, SIGHUP}) {
    if (sigismember(&waiting, s) != 1) continue;
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, s);
    const timespec now{0, 0};
    if (sigtimedwait(&one, nullptr, &now) == s) {
      int none = 0;
      pending.compare_exchange_strong(none, s);
    }
  }
}

void noteSignal(int signal) { pending.store(signal); }

void blockEndSignals(sigset_t& saved) {
  sigset_t block;
  endSignalSet(block);
  pthread_sigmask(SIG_BLOCK, &block, &saved);
}

void setInterruptedWaitAction(void (*action)()) { waitAction = action; }

void interruptedWait() {
  if (waitAction != nullptr) waitAction();
}
