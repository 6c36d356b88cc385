// The driver run in-process: timing, the steps of the time loop, and the
// ways start-up ends.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/inputstyleroutines.hpp"
#include "driver/runprogram.hpp"
#include "driver/vornv7.hpp"
#include "forcing/sitefiles.hpp"
#include "random/ranf1.hpp"
#include "runtime/signals.hpp"
#include "state/reset.hpp"
#include "state/timing.hpp"
#include "testutil.hpp"

using testutil::readFile;
using testutil::writeFile;

namespace {

std::vector<std::string> records(const std::string& text) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t e = text.find("\r\n", pos);
    if (e == std::string::npos) e = text.size();
    out.push_back(text.substr(pos, e - pos));
    pos = e + 2;
  }
  return out;
}

bool contains(const std::vector<std::string>& recs, const std::string& r) {
  return std::find(recs.begin(), recs.end(), r) != recs.end();
}

// The 13 parameter records with the timing records given, then the names
// of the site's forcing files (written into the current folder).
// The release is steady, all at once, unless `release` gives records 12
// and 13 of another.
std::string params(const std::string& ttotalTime0, const std::string& dtvu,
                   const std::string& dtaDtms, const std::string& nfricp = "1",
                   const std::string& release = "1\n1000 100 1 0") {
  return "vorn.log\n1234567 7654321\n" + ttotalTime0 + "\n" + dtvu + "\n" + dtaDtms + "\n2\n" +
         nfricp + "\n0.0001\n0.001 0.001 0.001 0\n0.4 0.05\n0\n" + release + "\n" +
         sitefiles::writeSmallSite();
}

// A discharge series whose only record lies after every run here: no
// packet is ever released.
std::string laterRelease() {
  writeFile("later.dis", "XXXX\n1.0\nnothing before day 100\n2026\n2\n100.0 10\n");
  return "0\nlater.dis";
}

class Driver : public testutil::ScratchDir {
 protected:
  int run(const std::string& par) {
    writeFile("run.par", par);
    resetAllState();
    resetRandomPackage();
    const char* argv[] = {"vornv7", "run.par", "screen.txt"};
    setCommandLine(3, argv);
    int status = runProgram(MAIN);
    setCommandLine(1, argv);
    console = records(readFile("screen.txt"));
    log = records(readFile("vorn.log"));
    return status;
  }
  std::vector<std::string> console, log;
};

}  // namespace

TEST_F(Driver, TimingRoundsTheStepRatioToWholeSteps) {
  ASSERT_EQ(run(params("10 0", "1", "0.4 1")), 0);
  EXPECT_EQ(TIMINGMID.nadv, 3);  // 2.5 rounds away from zero
  EXPECT_EQ(TIMINGMID.dtact, 1200.0);
  const std::vector<std::string> timing = {
      "",
      " Timing information.",
      "  # of velocity updates           10",
      " z,dtms    2.500000       3600.000000000000     ",
      " actual advection time step (time between shuffling events) ",
      "    1200.000000000000     ",
      " advection steps per velocity update           3",
      " fraction shuffled per advection step  0.3333333333333333     ",
      " fraction shuffled per velocity update   1.000000000000000     ",
  };
  auto at = std::find(log.begin(), log.end(), " Timing information.");
  ASSERT_NE(at, log.end());
  EXPECT_EQ(std::vector<std::string>(at - 1, at + 8), timing);

  ASSERT_EQ(run(params("10 0", "1", "0.4166667 1")), 0);  // 25 minutes
  EXPECT_EQ(TIMINGMID.nadv, 2);
  EXPECT_EQ(TIMINGMID.dtact, 1800.0);
}

TEST_F(Driver, StepsRunFromTheStartOfEachIntervalAndTheLastHourIsNotSimulated) {
  // 10 h in 3 h updates of three 1 h steps: nine steps, all without
  // packets, each logged with the end of its step.
  ASSERT_EQ(run(params("10 0.5", "3", "1 1", "1", laterRelease())), 0);
  // The step's end time does not fit on the message's record: it follows.
  std::vector<std::string> ends;
  for (std::size_t k = 0; k + 1 < console.size(); ++k) {
    if (console[k] == " ktotal <= 0 after CrtPckts.           0  Skipping time step: ") {
      ends.push_back(console[k + 1]);
    }
  }
  ASSERT_EQ(ends.size(), 9u);
  EXPECT_EQ(ends.front(), "    46800.00000000000     ");  // time0 + 1 h
  EXPECT_EQ(ends[2], "    54000.00000000000     ");      // time0 + dtvu
  EXPECT_EQ(ends.back(), "    75600.00000000000     ");  // time0 + 9 h
  EXPECT_EQ(TIMINGMID.tvu, 43200.0 + 2 * 10800.0);
  EXPECT_EQ(TIMINGMID.time, 43200.0 + 9 * 3600.0 - 1800.0);
  EXPECT_EQ(console.back(), "  Clean exit ");
  EXPECT_EQ(log.back(), "  Clean exit ");
  EXPECT_TRUE(contains(log, " Hmax =    1.000000    "));  // the top node
}

TEST_F(Driver, ARunWithoutAVelocityUpdateIsRefusedAtStartUp) {
  for (const char* ttotal : {"2 0", "0 0", "-5 0"}) {  // ttotal < dtvu, = 0, < 0
    SCOPED_TRACE(ttotal);
    ASSERT_EQ(run(params(ttotal, "3", "1 1")), 2);
    EXPECT_TRUE(contains(console, " the run must contain at least one velocity update"));
    EXPECT_TRUE(contains(log, " Error in the timing parameters:"));
    EXPECT_EQ(console.back(), " Program will now end its life");
    EXPECT_FALSE(std::filesystem::exists("vornprog.out"));
  }
}

TEST_F(Driver, ParametersWithoutUsableTimeSteppingEndStartUp) {
  for (const char* dtaDtms : {"3 1", "0 1", "-1 1", "1 0", "1 -2"}) {
    SCOPED_TRACE(dtaDtms);
    ASSERT_EQ(run(params("10 0", "1", dtaDtms)), 2);
    ASSERT_GE(console.size(), 8u);
    EXPECT_EQ(console[console.size() - 7], " Error in the timing parameters:");
    const std::vector<std::string> tail(console.end() - 5, console.end());
    const std::vector<std::string> expect = {
        "", "  Number of errors reported in initialiation            1",
        "  Further details are given in file ", std::string("vorn.log") + std::string(112, ' '),
        " Program will now end its life"};
    EXPECT_EQ(tail, expect);
    const std::vector<std::string> logTail(log.end() - 3, log.end());
    const std::vector<std::string> logExpect = {
        "", "  Number of errors reported in initialiation            1",
        " Too many to carry on.  Time to die"};
    EXPECT_EQ(logTail, logExpect);
  }
}

TEST_F(Driver, AFailedParameterReadEndsStartUpAtOnce) {
  ASSERT_EQ(run(params("10 0", "1", "1 1", "4")), 2);
  const std::vector<std::string> expect = {
      " UserSetUp:",
      " Enter file name for error messages and misc. info messages",
      " Enter 2 random number seeds (suggest 8-9 digits)",
      " Error: Too many friction parameters.",
      " nfricp, NFRICMAX            4           3",
      "",
      " Error Reported in subroutine ReadInputParameters.",
      " Error #           1",
      "",
      "  Number of errors reported in initialiation            1",
      "  Further details are given in file ",
      std::string("vorn.log") + std::string(112, ' '),
      " Program will now end its life"};
  EXPECT_EQ(console, expect);
  EXPECT_FALSE(contains(log, " Timing information."));
  EXPECT_TRUE(contains(log, " Error Reported in subroutine ReadInputParameters."));
}

TEST_F(Driver, ProgressIsWrittenAtTheMarksOnlyAndTheFileHoldsTheLatest) {
  // 100 hourly updates of one step each.
  std::string par = params("100 0", "1", "1 1");
  par = par.substr(0, par.rfind("lognodes.dat")) +
        sitefiles::writeSmallSite(110, 1.0, [](int) { return std::make_pair(0.2, 0.1); });
  ASSERT_EQ(run(par), 0);
  std::vector<std::string> marks;
  for (const std::string& r : console) {
    if (r.rfind(" %Completed:  ", 0) == 0) marks.push_back(r.substr(14));
  }
  std::vector<std::string> expect;
  for (int v : {1, 10, 20, 30, 40, 50, 60, 70, 80, 90, 99, 100}) {
    char b[16];
    std::snprintf(b, sizeof b, "%12d", v);
    expect.push_back(b);
  }
  EXPECT_EQ(marks, expect);
  EXPECT_EQ(readFile("vornprog.out"), " %Completed:           100\r\n");
  EXPECT_EQ(console.back(), "  Clean exit ");
}

TEST_F(Driver, AnErrorInTheLoopEndsTheRunAfterItsStepWithStatusTwo) {
  // u*^2 = 0.0001 - 0.001 U: fine for the slow rows, negative once the
  // current meter reads 0.5 m/s (row 3, used for the fourth update).
  std::string par = params("10 0", "1", "1 1", "2");
  par.replace(par.find("\n0.0001\n"), 8, "\n0.0001 -0.001\n");
  par = par.substr(0, par.rfind("lognodes.dat")) +
        sitefiles::writeSmallSite(12, 1.0, [](int k) {
          return std::make_pair(k == 3 ? 0.5 : 0.05, 0.0);
        });
  ASSERT_EQ(run(par), 2);
  EXPECT_EQ(TIMINGMID.tvu, 3 * 3600.0);  // the fourth update was the last
  EXPECT_TRUE(contains(console, " Error Reported in subroutine  CalcUstar."));
  const std::vector<std::string> tail(console.end() - 2, console.end());
  EXPECT_EQ(tail, (std::vector<std::string>{" ***Exit on error***",
                                            " See the log file for more information."}));
  EXPECT_TRUE(contains(log, " ***Exit on error***"));
}

TEST_F(Driver, ZeroValuesThatWouldWriteNaNOrInfinityAreCountedStartUpErrors) {
  // kappa (record 10) of 0 gives infinite Rouse numbers, a statistics
  // radius of 0 (1e-400 reads as 0) infinite column loads, a run shorter
  // than one velocity update no step at all: each is reported with the
  // value and counted, and start-up goes on to report the others.
  auto par = [](const std::string& ttotal, const std::string& kappa, const std::string& radius) {
    std::string p = params(ttotal, "1", "1 1");
    p.replace(p.find("\n0.4 0.05\n"), 10, "\n" + kappa + " 0.05\n");
    p.replace(p.size() - sitefiles::noOutputs().size(), std::string::npos,
              "0\n0\n1\nstats.out\n0.05 1.0 " + radius + "\n0\n0\n0\n0\n0\n");
    return p;
  };
  struct Case {
    std::string par;
    int errors;
    std::vector<std::string> shown;
  };
  const std::vector<Case> cases = {
      {par("10 0", "0", "100"), 1,
       {" Error in the friction parameters:", " kappa must be positive",
        " kappa   0.0000000E+00"}},
      {par("10 0", "-0.4", "100"), 1, {" kappa  -0.4000000    "}},
      {par("10 0", "0.4", "0"), 1,
       {" Error in the statistics output parameters:", " the statistics radius must be positive",
        " radius (m)   0.0000000E+00"}},
      {par("10 0", "0.4", "1e-400"), 1, {" radius (m)   0.0000000E+00"}},
      {par("0.5 0", "0", "0"), 3,
       {" the run must contain at least one velocity update",
        " ttotal, dtvu (s)    1800.000000000000        3600.000000000000     "}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.par);
    ASSERT_EQ(run(c.par), 2);
    for (const auto& s : c.shown) {
      EXPECT_TRUE(contains(console, s)) << s;
      EXPECT_TRUE(contains(log, s)) << s;
    }
    char count[80];
    std::snprintf(count, sizeof count, "  Number of errors reported in initialiation %12d",
                  c.errors);
    EXPECT_TRUE(contains(console, count));
    EXPECT_EQ(console.back(), " Program will now end its life");
  }
  // Within the limits all is well.
  ASSERT_EQ(run(par("10 0", "0.4", "0.001")), 0);
  EXPECT_EQ(console.back(), "  Clean exit ");
}

TEST_F(Driver, ASignalNotedBeforeTheTimeLoopEndsTheRunWithItsMessageAndStatus) {
  // A signal noted during start-up ends the run before its first step.
  noteSignal(SIGTERM);
  const int status = run(params("10 0", "1", "1 1"));
  noteSignal(0);
  EXPECT_EQ(status, 128 + SIGTERM);
  EXPECT_EQ(console.back(), " Run interrupted by signal 15");
  EXPECT_EQ(log.back(), " Run interrupted by signal 15");
  EXPECT_TRUE(contains(log, " Hmax =    1.000000    "));
  EXPECT_FALSE(std::filesystem::exists("vornprog.out"));
}
