// The worker threads: a fixed set of threads asleep on a condition
// variable between passes.
#include "runtime/workers.hpp"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "runtime/signals.hpp"

namespace {

class Pool {
 public:
  ~Pool() { stop(); }

  int count() const { return nthreads_; }

  void start(int n) {
    stop();
    nthreads_ = n;
    quit_ = false;
    // A new thread waits for the next pass, not one already run. It starts
    // with the end signals blocked, so that their handler runs only on the
    // main thread.
    const std::uint64_t now = generation_;
    sigset_t saved;
    blockEndSignals(saved);
    for (int p = 1; p < n; ++p) threads_[p - 1] = std::thread([this, p, now] { work(p, now); });
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  }

  void run(PartFn fn, void* ctx) {
    const int n = nthreads_;
    if (n == 1) {
      fn(ctx, 0, 1);
      return;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      fn_ = fn;
      ctx_ = ctx;
      pending_ = n - 1;
      ++generation_;
    }
    wake_.notify_all();
    fn(ctx, 0, n);
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return pending_ == 0; });
  }

 private:
  void work(int part, std::uint64_t seen) {
    for (;;) {
      PartFn fn;
      void* ctx;
      int n;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [&] { return quit_ || generation_ != seen; });
        if (quit_) return;
        seen = generation_;
        fn = fn_;
        ctx = ctx_;
        n = nthreads_;
      }
      fn(ctx, part, n);
      std::lock_guard<std::mutex> lock(mutex_);
      if (--pending_ == 0) done_.notify_one();
    }
  }

  void stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
    }
    wake_.notify_all();
    for (int p = 1; p < nthreads_; ++p) threads_[p - 1].join();
    nthreads_ = 1;
  }

  std::thread threads_[MAXTHREADS - 1];
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  std::uint64_t generation_ = 0;
  int pending_ = 0;
  bool quit_ = false;
  int nthreads_ = 1;
  PartFn fn_ = nullptr;
  void* ctx_ = nullptr;
};

Pool pool;

bool processorHasAvx2() {
#if defined(__x86_64__)
  __builtin_cpu_init();  // this may run before the library's own start-up code
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

bool wide = processorHasAvx2();

}  // namespace

void startWorkers(int n) { pool.start(std::clamp(n, 1, MAXTHREADS)); }

int workerCount() { return pool.count(); }

void runParts(PartFn fn, void* ctx) { pool.run(fn, ctx); }

void partRange(std::int32_t first, std::int32_t last, int part, int nparts, std::int32_t& lo,
               std::int32_t& hi) {
  auto boundary = [&](int p) -> std::int32_t {
    if (p <= 0) return first;
    if (p >= nparts) return last;
    const std::int64_t n = static_cast<std::int64_t>(last) - first;
    const std::int64_t b = first + n * p / nparts;
    const std::int64_t aligned = (b + 15) / 16 * 16;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(aligned, first, last));
  };
  lo = boundary(part);
  hi = boundary(part + 1);
}

bool wideKernels() { return wide; }

void useWideKernels(bool on) { wide = on && processorHasAvx2(); }
