// The forcing routines inside a whole run: how the driver sees their
// failures, and the grid and time they leave for the time loop.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/inputstyleroutines.hpp"
#include "driver/runprogram.hpp"
#include "driver/vornv7.hpp"
#include "forcing/forcingtest.hpp"
#include "forcing/sitefiles.hpp"
#include "random/ranf1.hpp"
#include "state/heights.hpp"
#include "state/timing.hpp"
#include "state/velinfo.hpp"

using forcingtest::count;
using testutil::writeFile;

namespace {

// The 13 run parameter records: 10 h from day 0.5 (or the record given)
// in 1 h updates, the friction model record `nfricp` and its coefficients
// or file `fricp`.
std::string params(const std::string& nfricp, const std::string& fricp,
                   const std::string& ttotalTime0 = "10 0.5") {
  return "vorn.log\n1234567 7654321\n" + ttotalTime0 + "\n1\n1 1\n2\n" + nfricp + "\n" + fricp +
         "\n0.001 0.001 0.001 0\n0.4 0.05\n0\n1\n1000 100 1 0\n";
}

class InRun : public testutil::ScratchDir {
 protected:
  int run(const std::string& par) {
    writeFile("run.par", par);
    resetAllState();
    resetRandomPackage();
    const char* argv[] = {"vornv7", "run.par", "screen.txt"};
    setCommandLine(3, argv);
    const int status = runProgram(MAIN);
    setCommandLine(1, argv);
    console = forcingtest::records(testutil::readFile("screen.txt"));
    log = forcingtest::records(testutil::readFile("vorn.log"));
    return status;
  }
  std::vector<std::string> console, log;
};

}  // namespace

TEST_F(InRun, TheSmallSiteGivesTheGridAndTheTimeOfItsRecords) {
  ASSERT_EQ(run(params("1", "0.0001") + sitefiles::writeSmallSite()), 0);
  EXPECT_EQ(console.back(), "  Clean exit ");
  EXPECT_EQ(VELINFOMID.nnv, 3);
  EXPECT_EQ(HEIGTHS.hmax, 1.0f);
  EXPECT_EQ(TIMINGIN.time0, 43200.0);
  EXPECT_EQ(count(log, " Hmax =    1.000000    "), 1u);
  // One trace line at start-up and one per update.
  std::size_t traces = 0;
  for (const auto& r : log) traces += r.rfind("TUV ", 0) == 0;
  EXPECT_EQ(traces, 11u);
}

TEST_F(InRun, TheStressSeriesStartsAtTheTimeTheVelocitiesFixed) {
  std::string rows;
  for (int hr = 0; hr <= 30; ++hr) rows += forcingtest::days(hr * 3600.0) + " 0.01\n";
  writeFile("stress.dat", "XXXX\nt1\nt2\n1998\n2\n" + rows);
  // The run starts at 12:20: the velocity records move it to 12:00, where
  // the stress series finds its record.
  ASSERT_EQ(run(params("0", "stress.dat", "10 0.51388888888888884") +
                sitefiles::writeSmallSite()),
            0);
  EXPECT_EQ(console.back(), "  Clean exit ");
  EXPECT_EQ(TIMINGIN.time0, 43200.0);
  EXPECT_EQ(count(log, " First stress record to use "), 1u);
  EXPECT_EQ(count(log, " t,us   43200.00      9.9999998E-03"), 1u);
  std::size_t traces = 0;
  for (const auto& r : log) traces += r.rfind(" TUs ", 0) == 0;
  EXPECT_EQ(traces, 11u);
}

TEST_F(InRun, ANegativeFrictionVelocitySquaredEndsTheRunAfterStartUp) {
  ASSERT_EQ(run(params("1", "-0.0001") + sitefiles::writeSmallSite()), 2);
  EXPECT_EQ(count(console, " Error Reported in subroutine  CalcUstar."), 1u);
  EXPECT_EQ(count(console, " Error #           2"), 2u);  // reported again as StressInfo
  EXPECT_EQ(console.back(), " Program will now end its life");
  EXPECT_EQ(count(log, " Hmax =    1.000000    "), 0u);  // no time loop
}

TEST_F(InRun, ARefusedGridEndsTheRunWithoutReadingTheVelocities) {
  for (const char* nodes : {"121\n", "1\n0.05\n", "2\n0.001 0.003\n"}) {
    SCOPED_TRACE(nodes);
    std::string names = sitefiles::writeSmallSite();
    writeFile("lognodes.dat", std::string("XXXX\n") + nodes);
    ASSERT_EQ(run(params("1", "0.0001") + names), 2);
    EXPECT_EQ(count(console, " Error Reported in subroutine GetVertNodeInfo."), 1u);
    EXPECT_EQ(count(console, " VelInfo4.  Initialize"), 0u);
    EXPECT_EQ(console.back(), " Program will now end its life");
  }
}
