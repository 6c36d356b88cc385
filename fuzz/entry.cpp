// One libFuzzer program per target: VORN_FUZZ_TARGET names the function.
#include "targets.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return VORN_FUZZ_TARGET(data, size);
}
