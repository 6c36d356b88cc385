#include "driver/threadsoption.hpp"

#include <sched.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "runtime/workers.hpp"

int defaultThreadCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  int n = 1;
  if (sched_getaffinity(0, sizeof set, &set) == 0) n = CPU_COUNT(&set);
  return std::clamp(n, 1, MAXTHREADS);
}

int takeThreadsOption(int& argc, char** argv, std::string& error) {
  constexpr std::string_view kName = "--threads";
  int threads = 0;
  int out = 1;
  for (int k = 1; k < argc; ++k) {
    const std::string_view a = argv[k];
    std::string_view value;
    if (a == kName) {
      if (k + 1 >= argc) {
        error = "vornv7: --threads needs a number of threads";
        return 0;
      }
      value = argv[++k];
    } else if (a.substr(0, kName.size() + 1) == "--threads=") {
      value = a.substr(kName.size() + 1);
    } else {
      argv[out++] = argv[k];
      continue;
    }
    int n = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (ec != std::errc() || end != value.data() + value.size() || n < 1 || n > MAXTHREADS) {
      error = "vornv7: --threads takes a whole number from 1 to " + std::to_string(MAXTHREADS) +
              ", not \"" + std::string(value) + "\"";
      return 0;
    }
    if (threads != 0) {
      error = "vornv7: --threads is given twice";
      return 0;
    }
    threads = n;
  }
  argc = out;
  argv[argc] = nullptr;
  return threads != 0 ? threads : defaultThreadCount();
}

bool takeKernelsSetting(std::string& error) {
  const char* name = std::getenv("VORN_KERNELS");
  if (name == nullptr || *name == '\0') return true;
  KernelPath p;
  if (!kernelPathNamed(name, p)) {
    error = std::string("vornv7: VORN_KERNELS=") + name + ": expected sse2, avx2 or avx512";
    return false;
  }
  if (!useKernelPath(p)) {
    error = std::string("vornv7: VORN_KERNELS=") + name +
            ": this processor cannot run that path (its best is " +
            kernelPathName(kernelPath()) + ")";
    return false;
  }
  return true;
}
