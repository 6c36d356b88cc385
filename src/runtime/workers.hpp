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

// The instruction-set paths of the per-packet kernels (placing by rank,
// the horizontal move), slowest first. Every path gives the same bits.
enum class KernelPath { sse2, avx2, avx512 };

// The path the passes take: the processor's best, unless useKernelPath or
// the environment variable VORN_KERNELS (read by the program at start-up)
// asked for another.
KernelPath kernelPath();
// Whether the processor can run path p (sse2 always, on x86-64).
bool processorRuns(KernelPath p);
// Takes path p when the processor can run it; returns false (and keeps the
// path) otherwise. Tests set each path in turn.
bool useKernelPath(KernelPath p);
// The path's name, "sse2", "avx2" or "avx512"; and the path of a name,
// false for any other text.
const char* kernelPathName(KernelPath p);
bool kernelPathNamed(const char* name, KernelPath& p);

// Whether the passes use wide kernels (AVX2 or AVX-512); useWideKernels
// takes the processor's best path when on, the portable SSE2 one when off.
bool wideKernels();
void useWideKernels(bool on);
