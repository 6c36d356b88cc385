#pragma once
// The worker threads of the per-packet passes (positioning, advection, the
// counts of the concentration outputs). They are started once, before the
// run begins, and then only woken: a pass hands every thread one part of
// the packets and returns when all parts are done. Nothing is allocated
// per pass. A pass's results never depend on how the packets were split,
// so every thread count gives the same outputs.
#include <cstdint>

constexpr int MAXTHREADS = 64;  // largest number of threads taking part in a pass

// Runs the passes on n threads (the caller and n - 1 workers; n is held to
// 1..MAXTHREADS). Called by main at start-up; tests call it to change the
// count between runs. Never called inside the time loop.
void startWorkers(int n);

// Threads taking part in a pass: 1 until startWorkers is called.
int workerCount();

// One part of a pass: part p of nparts, with the caller's context.
using PartFn = void (*)(void* ctx, int part, int nparts);

// Runs fn(ctx, p, nparts) for p = 0..nparts-1 with nparts = workerCount(),
// part 0 on the calling thread, and returns when every part has returned.
// A part must not throw or stop the run: it records what went wrong and
// the caller reports it after the pass.
void runParts(PartFn fn, void* ctx);

// The same for any callable f(part, nparts), without allocating.
template <class F>
void forEachPart(F& f) {
  runParts([](void* ctx, int part, int nparts) { (*static_cast<F*>(ctx))(part, nparts); }, &f);
}

// Packets [lo, hi) (0-based) of part p of nparts over packets [first,
// last): equal shares with boundaries on multiples of 16 packets (64
// bytes of each packet array), so no two threads write one cache line.
void partRange(std::int32_t first, std::int32_t last, int part, int nparts, std::int32_t& lo,
               std::int32_t& hi);

// Whether the per-packet passes use their AVX2 kernels: true when the
// processor has AVX2, unless useWideKernels(false) asked for the portable
// SSE2 ones (tests compare both). Both give the same bits.
bool wideKernels();
void useWideKernels(bool on);
