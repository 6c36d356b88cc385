#pragma once
// The one option of the command line: --threads N, the number of threads
// of the per-packet passes.
#include <string>

// Takes "--threads N" (or "--threads=N") out of argv(1..argc-1), wherever
// it stands, so that the remaining arguments keep their positional
// meaning; argc is reduced to match. Returns N, or the default when the
// option is absent; returns 0 and sets `error` to a message when the
// option has no value, a value that is not a whole number from 1 to
// MAXTHREADS, or is given twice. Called by main before the command line
// is handed to the driver.
int takeThreadsOption(int& argc, char** argv, std::string& error);

// The default thread count: the processors this process may run on
// (its affinity mask), held to 1..MAXTHREADS.
int defaultThreadCount();

// Takes the kernel path named by the environment variable VORN_KERNELS
// ("sse2", "avx2" or "avx512"; unset or empty: the processor's best).
// Returns false and sets `error` to a message for any other name, or a
// path this processor cannot run. Called by main before the run.
bool takeKernelsSetting(std::string& error);
