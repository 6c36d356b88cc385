// The fuzz targets in the normal test build: every input kept under
// fuzz/regressions/TARGET (the inputs a target once failed on, and one
// input per target that goes through all of it) is replayed through the
// same target function; a target throws FuzzFinding, or crashes, when a
// property fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "state/reset.hpp"
#include "targets.hpp"
#include "testutil.hpp"

namespace {

namespace fs = std::filesystem;

void replay(const char* target, int (*run)(const std::uint8_t*, std::size_t)) {
  const fs::path dir = fs::path(VORN_SOURCE_DIR) / "fuzz" / "regressions" / target;
  int inputs = 0;
  for (const auto& e : fs::directory_iterator(dir)) {
    if (!e.is_regular_file()) continue;
    SCOPED_TRACE(e.path().filename().string());
    const std::string bytes = testutil::readFile(e.path().string());
    try {
      EXPECT_EQ(run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
    } catch (const FuzzFinding& f) {
      ADD_FAILURE() << f.what();
    }
    ++inputs;
  }
  EXPECT_GT(inputs, 0) << dir;
}

}  // namespace

TEST(FuzzRegressions, FreeFormatReads) { replay("listread", fuzzListRead); }

TEST(FuzzRegressions, LayoutsWrittenAndReadBack) { replay("layout", fuzzLayout); }

TEST(FuzzRegressions, StartUpFromOneInput) {
  replay("startup", fuzzStartup);
  resetAllState();
}
