// The worker threads: a fixed set of threads that spin for a while after
// a pass, waiting for the next one, and then sleep on a condition variable.
#include "runtime/workers.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>

#include "runtime/signals.hpp"

namespace {

// How long a thread spins on an atomic before it sleeps on a condition
// variable: longer than the sequential work of a step between two passes,
// so that the workers stay awake through a run and a pass starts at once.
constexpr auto kSpin = std::chrono::microseconds(2000);

// Spins until done() or kSpin has passed; returns done(). After the first
// tens of microseconds it yields the processor at each turn, so that more
// threads than processors still leave the others their time.
template <class Done>
bool spinUntil(Done done) {
  const auto start = std::chrono::steady_clock::now();
  bool yielding = false;
  for (int n = 0;; ++n) {
    if (done()) return true;
    if (yielding) {
      std::this_thread::yield();
    } else {
#if defined(__x86_64__)
      __builtin_ia32_pause();
#endif
    }
    if ((n & 63) == 63) {
      const auto spent = std::chrono::steady_clock::now() - start;
      if (spent > kSpin) return done();
      yielding = spent > std::chrono::microseconds(50);
    }
  }
}

class Pool {
 public:
  ~Pool() { stop(); }

  int count() const { return nthreads_; }

  void start(int n) {
    stop();
    nthreads_ = n;
    quit_.store(false);
    // A new thread waits for the next pass, not one already run. It starts
    // with the end signals blocked, so that their handler runs only on the
    // main thread.
    const std::uint64_t now = generation_.load();
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
    fn_ = fn;
    ctx_ = ctx;
    pending_.store(n - 1, std::memory_order_relaxed);
    {
      // Under the lock, so that a worker about to sleep sees the new pass.
      std::lock_guard<std::mutex> lock(mutex_);
      generation_.fetch_add(1, std::memory_order_release);
    }
    wake_.notify_all();
    fn(ctx, 0, n);
    if (spinUntil([this] { return pending_.load(std::memory_order_acquire) == 0; })) return;
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return pending_.load(std::memory_order_acquire) == 0; });
  }

 private:
  void work(int part, std::uint64_t seen) {
    for (;;) {
      auto ready = [&] {
        return quit_.load(std::memory_order_acquire) ||
               generation_.load(std::memory_order_acquire) != seen;
      };
      if (!spinUntil(ready)) {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, ready);
      }
      if (quit_.load(std::memory_order_acquire)) return;
      seen = generation_.load(std::memory_order_acquire);
      fn_(ctx_, part, nthreads_);
      if (pending_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        // The caller may be asleep: wake it under the lock it checks under.
        std::lock_guard<std::mutex> lock(mutex_);
        done_.notify_one();
      }
    }
  }

  void stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_.store(true, std::memory_order_release);
    }
    wake_.notify_all();
    for (int p = 1; p < nthreads_; ++p) threads_[p - 1].join();
    nthreads_ = 1;
  }

  std::thread threads_[MAXTHREADS - 1];
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  std::atomic<std::uint64_t> generation_{0};  // passes started
  std::atomic<int> pending_{0};               // workers yet to finish the pass
  std::atomic<bool> quit_{false};
  int nthreads_ = 1;
  // The pass: written before generation_ is raised, read after it is seen.
  PartFn fn_ = nullptr;
  void* ctx_ = nullptr;
};

Pool pool;

// The best path this processor runs.
KernelPath bestPath() {
#if defined(__x86_64__)
  __builtin_cpu_init();  // this may run before the library's own start-up code
  if (__builtin_cpu_supports("avx512f")) return KernelPath::avx512;
  if (__builtin_cpu_supports("avx2")) return KernelPath::avx2;
#endif
  return KernelPath::sse2;
}

KernelPath path = bestPath();

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

KernelPath kernelPath() { return path; }

bool processorRuns(KernelPath p) { return p <= bestPath(); }

bool useKernelPath(KernelPath p) {
  if (!processorRuns(p)) return false;
  path = p;
  return true;
}

const char* kernelPathName(KernelPath p) {
  switch (p) {
    case KernelPath::sse2:
      return "sse2";
    case KernelPath::avx2:
      return "avx2";
    case KernelPath::avx512:
      return "avx512";
  }
  return "sse2";
}

bool kernelPathNamed(const char* name, KernelPath& p) {
  for (KernelPath q : {KernelPath::sse2, KernelPath::avx2, KernelPath::avx512}) {
    if (std::strcmp(name, kernelPathName(q)) == 0) {
      p = q;
      return true;
    }
  }
  return false;
}

bool wideKernels() { return path != KernelPath::sse2; }

void useWideKernels(bool on) { path = on ? bestPath() : KernelPath::sse2; }
