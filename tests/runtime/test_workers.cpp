// The worker pool and the end signals: a pass runs on the main thread and
// the workers, and only the main thread may take SIGINT, SIGTERM or SIGHUP
// (their handler notes the signal in a flag that the main thread reads).
#include <gtest/gtest.h>
#include <signal.h>

#include "runtime/signals.hpp"
#include "runtime/workers.hpp"

namespace {

struct MaskPass {
  int blocked[MAXTHREADS];  // per part: how many of the three end signals its thread blocks
  void operator()(int part, int) {
    sigset_t now;
    pthread_sigmask(SIG_BLOCK, nullptr, &now);
    blocked[part] = sigismember(&now, SIGINT) + sigismember(&now, SIGTERM) + sigismember(&now, SIGHUP);
  }
};

}  // namespace

TEST(Workers, OnlyTheMainThreadTakesTheEndSignals) {
  for (int n : {2, 3, 1}) {
    SCOPED_TRACE(n);
    startWorkers(n);
    MaskPass pass{};
    forEachPart(pass);
    EXPECT_EQ(pass.blocked[0], 0) << "the main thread must take the end signals";
    for (int p = 1; p < n; ++p) EXPECT_EQ(pass.blocked[p], 3) << "worker " << p;
  }
  // The pending flag is a lock-free atomic: a noted signal reads back.
  noteSignal(SIGTERM);
  EXPECT_EQ(pendingSignal(), SIGTERM);
  noteSignal(0);
  EXPECT_EQ(pendingSignal(), 0);

  // A signal that waits at the process, blocked, is taken as if it had
  // been caught, and leaves nothing waiting.
  sigset_t term, saved, waiting;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &term, &saved);
  raise(SIGTERM);
  collectEndSignals();
  EXPECT_EQ(pendingSignal(), SIGTERM);
  sigpending(&waiting);
  EXPECT_EQ(sigismember(&waiting, SIGTERM), 0);
  pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  noteSignal(0);
}
