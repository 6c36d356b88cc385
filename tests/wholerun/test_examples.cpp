// The two bundled examples run as a new user runs them: the program, the
// plotting script on every figure, and the Python snippets of
// docs/outputs.md on the demo's outputs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "testutil.hpp"

namespace fs = std::filesystem;
using testutil::readFile;
using testutil::runBinary;
using testutil::writeFile;

namespace {

class Example : public testutil::ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
#ifdef VORN_SANITIZED_BUILD
    GTEST_SKIP() << "the examples run in the release tests; under the sanitizers they take minutes";
#endif
  }

  // Copies examples/NAME (its run.par and forcing files) here and runs it.
  void runExample(const std::string& name) {
    const fs::path from = fs::path(VORN_SOURCE_DIR) / "examples" / name;
    for (const auto& e : fs::directory_iterator(from)) {
      const std::string f = e.path().filename().string();
      if (f == "run.par" || e.path().extension() == ".dat") fs::copy_file(e.path(), f);
    }
    auto r = runBinary({"run.par", "screen.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_NE(readFile("screen.txt").find("  Clean exit \r\n"), std::string::npos)
        << readFile("screen.txt");
  }

  static bool haveMatplotlib() {
    return std::system("/usr/bin/python3 -c 'import matplotlib, numpy' > /dev/null 2>&1") == 0;
  }

  // Runs the plotting script with `options` and checks that it wrote every
  // figure as a PNG file into `out`.
  static void drawsEveryFigure(const std::string& options, const std::string& out) {
    const std::string cmd = std::string("MPLBACKEND=Agg /usr/bin/python3 '") + VORN_SOURCE_DIR +
                            "/tools/plot_run.py' . --out " + out + " " + options +
                            " > plot.log 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << readFile("plot.log");
    for (const char* png : {"concentration.png", "map.png", "cloud.png", "biology_map.png",
                            "sediment.png"}) {
      const std::string bytes = readFile(out + "/" + png);
      ASSERT_GT(bytes.size(), 1000u) << out << "/" << png;
      EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8)) << png;
    }
  }
};

// The ```python blocks of the section "Reading the outputs in Python" of
// docs/outputs.md.
std::string readmeSnippets() {
  std::istringstream in(readFile(std::string(VORN_SOURCE_DIR) + "/docs/outputs.md"));
  std::string line, code;
  bool inSection = false, inBlock = false;
  while (std::getline(in, line)) {
    if (line.rfind("## ", 0) == 0) inSection = line == "## Reading the outputs in Python";
    if (!inSection) continue;
    if (line == "```python") {
      inBlock = true;
    } else if (line == "```") {
      inBlock = false;
    } else if (inBlock) {
      code += line + "\n";
    }
  }
  return code;
}

}  // namespace

TEST_F(Example, AldmouthBankRunsItsFiguresDrawAndTheReadmeReadsItsOutputs) {
  if (!haveMatplotlib()) {
    GTEST_SKIP() << "matplotlib or numpy is not installed for /usr/bin/python3 "
                    "(apt-get install python3-matplotlib)";
  }
  runExample("aldmouth-bank");
  drawsEveryFigure("", "plots");
  drawsEveryFigure("--log --frame 1", "plots-log");

  const std::string snippets = readmeSnippets();
  ASSERT_NE(snippets.find("biomap.out"), std::string::npos) << snippets;
  // What the snippets must have read from this run, and the fields this run
  // does not happen to hold.
  const std::string checks = R"(
assert sed.shape == (240, 11) and not np.isnan(sed).any()
assert ktotal[-1] == 100100 and 0 <= kbreak.min() and kbreak.max() <= 100100
assert profiles.shape == (120, 9, 4) and (np.diff(profiles[:, :, 1], axis=1) > 0).all()
assert (profiles[:, :, 0] == profiles[:, :1, 0]).all()
assert st.shape == (120, 9) and abs(day[-1] - 162.0) < 1e-6
assert len(frames) == 10 and all(f.shape == (100100, 3) for _, f in frames)
assert abs(frames[0][0] - 157.5) < 1e-9 and (frames[-1][1][:, 2] > 0).all()
assert points.shape == (4, 3) and conc.shape == (240, 5) and (conc[:, 1:] >= 0).all()
assert cmap.shape == colload.shape == (int(m[0]), 51, 71) and len(map_day) == int(m[0])
assert abs(x_km[0] + 5.0) < 1e-6 and abs(y_km[-1] - 20.0) < 1e-6
assert bio.shape == (4, 6) and (bio[:, 0] == [1, 2, 3, 4]).all()
assert biomap.shape == (51, 71) and biomap.max() > 0
assert np.isnan(number("*********")) and number(" .1234-100") == 0.1234e-100
row = fixed(["  0.15704E+03*********-.1250E+02 0.1000+101"], [13, 9, 10, 11])[0]
assert row[0] == 157.04 and np.isnan(row[1]) and row[2] == -12.5 and row[3] == 1e100
print("snippets read every output")
)";
  writeFile("snippets.py", snippets + checks);
  ASSERT_EQ(std::system("/usr/bin/python3 snippets.py > snippets.log 2>&1"), 0)
      << readFile("snippets.log");
}

TEST_F(Example, SkerneDredgingReleasesItsDumpsAndItsFiguresDraw) {
  runExample("skerne-dredging");
  // Every dump of the discharge file is released, at its own step.
  std::ifstream sed("sediment.out");
  std::string line, last;
  std::vector<int> counts;
  while (std::getline(sed, line)) {
    const int k = std::stoi(line.substr(79, 8));  // packets live
    if (counts.empty() || counts.back() != k) counts.push_back(k);
  }
  ASSERT_EQ(counts.size(), 14u);
  EXPECT_EQ(counts.front(), 6200);
  EXPECT_EQ(counts.back(), 83200);
  if (!haveMatplotlib()) {
    GTEST_SKIP() << "matplotlib or numpy is not installed: the figures are not drawn";
  }
  drawsEveryFigure("", "plots");
}
