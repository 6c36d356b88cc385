// The program's start-up run dry: the same records reach the sink that a
// real run writes to its console and log up to the time loop, the state is
// the real run's, and no file is created, cut or written.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "driver/drystartup.hpp"
#include "driver/inputstyleroutines.hpp"
#include "driver/runprogram.hpp"
#include "driver/vornv7.hpp"
#include "forcing/sitefiles.hpp"
#include "random/ranf1.hpp"
#include "rio/units.hpp"
#include "state/outputs.hpp"
#include "state/reset.hpp"
#include "state/timing.hpp"
#include "state/vornio.hpp"
#include "testutil.hpp"

using testutil::readFile;
using testutil::writeFile;

namespace {

class DryStartupTest : public testutil::ScratchDir {};

std::vector<std::string> records(const std::string& text) {
  std::vector<std::string> out;
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t e = text.find("\r\n", pos);
    if (e == std::string::npos) e = text.size();
    out.push_back(text.substr(pos, e - pos));
    pos = e + 2;
  }
  return out;
}

std::map<std::string, std::string> folder() {
  std::map<std::string, std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(".")) {
    files[e.path().filename().string()] = readFile(e.path().string());
  }
  return files;
}

bool isPrefix(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  return a.size() <= b.size() && std::equal(a.begin(), a.end(), b.begin());
}

}  // namespace

TEST_F(DryStartupTest, ReadsTheParametersAsARunDoesAndTouchesNoFile) {
  std::string site = sitefiles::writeSmallSite();
  site = site.substr(0, site.size() - sitefiles::noOutputs().size());
  // time0 = 0.1 day lies nearest the record of day 0.125, where it moves.
  writeFile("run.par",
            "vorn.log\n1234567 7654321\n24 0.1\n3\n1 1\n2\n1\n0.0001\n0.001 0.001 0.001 0\n"
            "0.4 0.05\n0\n1\n1000 100 1 0\n" + site +
            "1\nsediment.out\n1\nvelprof.out\n1\nstats.out\n0.05 2 500\n6\npackets.out\n"
            "1\nconc.out\n2\n0 0 500 0.05 2\n100 0 500 1 3\n6\nmap.out\n"
            "11 -500 500 11 -500 500 0.05 2\n2\nbio.out\n0.01 0.1\n6\nbiomap.out\n0 0.001\n");
  const auto before = folder();

  std::map<int, std::vector<std::string>> dry;
  const DryStartup d = beginDryStartup("run.par", [&](int unit, std::string_view rec) {
    dry[unit].emplace_back(rec);
  });
  ASSERT_EQ(d.end, StartupEnd::ready) << d.message;
  EXPECT_EQ(d.nvu, 8);
  const double time0 = TIMINGIN.time0;
  EXPECT_EQ(time0, 10800.0);
  const int console = VORNIO.outunit, log = VORNIO.logunit;
  std::vector<std::string> names;
  for (int unit : {SEDIN.unit, VELIN.unit, STATSIN.unit, PACKIN.unit, CONTRIN.unit,
                   CONTRMAPIN.unit, BIOLOGYIN.unit, BIOLOGYIN.mapunit}) {
    names.push_back(rio::unitFileName(unit));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"sediment.out", "velprof.out", "stats.out",
                                             "packets.out", "conc.out", "map.out", "bio.out",
                                             "biomap.out"}));
  endDryStartup();
  EXPECT_FALSE(rio::dryRun());
  EXPECT_EQ(folder(), before) << "a dry start-up creates, cuts or writes no file";

  // The real run: its console and log begin with what the dry run saw.
  resetAllState();
  resetRandomPackage();
  const char* argv[] = {"vornv7", "run.par", "screen.txt"};
  setCommandLine(3, argv);
  ASSERT_EQ(runProgram(MAIN), 0);
  setCommandLine(1, argv);
  const auto realConsole = records(readFile("screen.txt"));
  const auto realLog = records(readFile("vorn.log"));
  ASSERT_GT(dry[console].size(), 20u);
  EXPECT_TRUE(isPrefix(dry[console], realConsole));
  EXPECT_EQ(dry[log].back(), " Hmax =    1.000000    ");
  EXPECT_TRUE(isPrefix(dry[log], realLog));
  EXPECT_EQ(TIMINGIN.time0, time0);
  EXPECT_EQ(realConsole.back(), "  Clean exit ");
  for (const std::string& name : names) EXPECT_FALSE(readFile(name).empty()) << name;
}

TEST_F(DryStartupTest, StopsAndInputErrorsOfStartUpAreReported) {
  const DryStartup missing = beginDryStartup("absent.par");
  endDryStartup();
  EXPECT_EQ(missing.end, StartupEnd::ioError);
  EXPECT_NE(missing.message.find("absent.par"), std::string::npos);

  // Too many friction parameters: start-up stops with its messages.
  writeFile("bad.par", "vorn.log\n1 2\n24 0\n3\n1 1\n2\n4\n");
  std::vector<std::string> seen;
  const DryStartup stopped =
      beginDryStartup("bad.par", [&](int, std::string_view rec) { seen.emplace_back(rec); });
  endDryStartup();
  EXPECT_EQ(stopped.end, StartupEnd::stopped);
  EXPECT_NE(std::find(seen.begin(), seen.end(), " Program will now end its life"), seen.end());
  EXPECT_FALSE(std::filesystem::exists("vorn.log"));
}
