// Fuzz target: free-format reads of records from a file, as the program
// reads its parameter and forcing files.
//
// Input: byte 0 gives the number of variables n = 1 + byte0 % 8; bytes 1..n
// give their kinds (low two bits: integer, single, double, text; a text's
// length is 1 + the rest % 64); the remaining bytes are the file. Reads
// follow one another until the end of the file or a read error.
#include <cstring>
#include <string>

#include "rio/units.hpp"
#include "scratch.hpp"
#include "targets.hpp"

namespace {

constexpr int kUnit = 10;
constexpr std::size_t kMaxVariables = 8;
constexpr std::size_t kMaxText = 64;
constexpr std::size_t kCanary = 8;
constexpr int kMaxReads = 10000;

}  // namespace

int fuzzListRead(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t n = 1 + data[0] % kMaxVariables;
  if (size < 1 + n) return 0;
  fuzzscratch::Inside scratch;
  fuzzscratch::writeBytes("in.txt", reinterpret_cast<const char*>(data + 1 + n), size - 1 - n);

  std::int32_t ints[kMaxVariables];
  float singles[kMaxVariables];
  double doubles[kMaxVariables];
  char texts[kMaxVariables][kMaxText + kCanary];
  rio::ListTarget targets[kMaxVariables];
  for (std::size_t k = 0; k < n; ++k) {
    const std::uint8_t b = data[1 + k];
    switch (b % 4) {
      case 0:
        targets[k] = rio::target(ints[k]);
        break;
      case 1:
        targets[k] = rio::target(singles[k]);
        break;
      case 2:
        targets[k] = rio::target(doubles[k]);
        break;
      default:
        targets[k] = {rio::ListTarget::Kind::text, texts[k], 1 + (b / 4u) % kMaxText};
    }
  }

  rio::openUnit(kUnit, "in.txt", rio::FileStatus::old);
  try {
    for (int r = 0; r < kMaxReads; ++r) {
      std::memset(texts, '#', sizeof texts);
      const long long before = rio::recordsRead(kUnit);
      std::string why;
      const rio::ReadResult result = rio::listReadStatus(kUnit, targets, n, &why);
      for (std::size_t k = 0; k < n; ++k) {
        if (targets[k].kind != rio::ListTarget::Kind::text) continue;
        for (std::size_t c = targets[k].len; c < kMaxText + kCanary; ++c) {
          if (texts[k][c] != '#') throw FuzzFinding("a text read wrote past its variable");
        }
      }
      if (result != rio::ReadResult::ok) {
        if (why.empty()) throw FuzzFinding("a failed read says nothing about why");
        break;
      }
      if (rio::recordsRead(kUnit) <= before) throw FuzzFinding("a read took no record");
    }
  } catch (...) {
    rio::closeUnit(kUnit);
    throw;
  }
  rio::closeUnit(kUnit);
  return 0;
}
