// The built program run as a user runs it: command-line forms and exit
// statuses.
#include <gtest/gtest.h>

#include "forcing/sitefiles.hpp"
#include "testutil.hpp"

using testutil::readFile;
using testutil::runBinary;
using testutil::writeFile;

class Program : public testutil::ScratchDir {};

// A complete set of run parameters (13 records), then the names of the
// site's forcing files.
const std::string kParams13 =
    "vorn.log\n1234567 7654321\n2 0\n1\n0.5 1\n2\n1\n0.0001\n0.001 0.001 0.001 0\n0.4 0.05\n0\n1\n"
    "1000 100 1 0\n";

TEST_F(Program, TooManyArgumentsPrintTheUsageAndExitTwo) {
  auto r = runBinary({"a", "b", "c"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out.rfind(" Too many calling parameters!!\r\n", 0), 0u) << r.out;
  EXPECT_NE(r.out.find(" If all else fails goto line line 134 of vornv6\r\n"), std::string::npos);
}

TEST_F(Program, AMissingParameterFileExitsOneNamingIt) {
  auto r = runBinary({"nosuch.par"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("nosuch.par"), std::string::npos) << r.err;
}

TEST_F(Program, AnOutputFileNamedOnTheCommandLineTakesTheConsole) {
  writeFile("run.par", kParams13 + sitefiles::writeSmallSite());
  auto r = runBinary({"run.par", "screen.txt"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  std::string screen = readFile("screen.txt");
  EXPECT_EQ(screen.rfind(" UserSetUp:\r\n", 0), 0u) << screen;
  EXPECT_NE(screen.find("  Clean exit \r\n"), std::string::npos) << screen;
  EXPECT_TRUE(std::filesystem::exists("vorn.log"));
}

TEST_F(Program, ParametersFromStandardInput) {
  writeFile("run.par", kParams13 + sitefiles::writeSmallSite());
  auto r = runBinary({}, "run.par");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind(" UserSetUp:\r\n Enter file name for error messages and misc. info messages\r\n", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("  Clean exit \r\n"), std::string::npos) << r.out;
}

TEST_F(Program, AMalformedParameterRecordExitsOneNamingTheRecord) {
  writeFile("run.par", "vorn.log\n1 x\n");
  auto r = runBinary({"run.par"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("run.par"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("record 2"), std::string::npos) << r.err;
  // The log opened before the failure keeps what was written to it.
  EXPECT_NE(readFile("vorn.log").find("**Read Input Parameters: "), std::string::npos);
}

TEST_F(Program, EachWayARunEndsHasItsExitStatus) {
  // 0 for the clean end, 1 for an input or output error, 2 for every stop
  // on an error, whether counted at start-up, counted in the time loop
  // (tests/driver) or fatal inside a routine.
  struct Case {
    const char* label;
    std::string par;  // run.par; the site's files are written for each case
    std::vector<std::string> args;
    int status;
    const char* last;  // the last console record, or "" when not checked
  };
  const std::string site = "lognodes.dat\nintnodes.dat\nvel1.dat\n" + sitefiles::noOutputs();
  std::string nfricp4 = kParams13;
  nfricp4.replace(nfricp4.find("\n1\n0.0001\n"), 10, "\n4\n0.0001\n");
  const std::vector<Case> cases = {
      {"clean end", kParams13 + site, {"run.par", "screen.txt"}, 0, "  Clean exit "},
      {"missing parameter file", "", {"nosuch.par", "screen.txt"}, 1, ""},
      {"malformed record", "vorn.log\n1 x\n", {"run.par", "screen.txt"}, 1, ""},
      {"usage", "", {"a", "b", "c"}, 2, ""},
      {"start-up failure", nfricp4 + site, {"run.par", "screen.txt"}, 2,
       " Program will now end its life"},
      {"fatal stop in a routine", kParams13 + "nomarker.dat\nintnodes.dat\nvel1.dat\n",
       {"run.par", "screen.txt"}, 2, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::filesystem::remove("screen.txt");
    sitefiles::writeSmallSite();
    writeFile("nomarker.dat", "3\n0.05 0.2 1.0\n");
    writeFile("run.par", c.par);
    auto r = runBinary(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(r.err.empty(), c.status != 1) << r.err;
    if (*c.last) {
      const std::string screen = readFile("screen.txt");
      const std::string tail = std::string(c.last) + "\r\n";
      ASSERT_GE(screen.size(), tail.size());
      EXPECT_EQ(screen.substr(screen.size() - tail.size()), tail);
    }
  }
  EXPECT_NE(readFile("screen.txt").find(" Never found XXXX in filenomarker.dat "),
            std::string::npos);
}

TEST_F(Program, TwoUsesOfOneFileAreAnOpenErrorNamingBoth) {
  const std::string site = sitefiles::writeSmallSite();
  const std::string names = site.substr(0, site.size() - sitefiles::noOutputs().size());
  auto outputs = [](const std::string& sediment, const std::string& velocity) {
    return "1\n" + sediment + "\n1\n" + velocity + "\n0\n0\n0\n0\n0\n0\n";
  };
  struct Case {
    const char* label;
    std::string par;
    std::vector<std::string> args;
    std::vector<std::string> named;  // the words the message must hold
  };
  const std::vector<Case> cases = {
      {"two outputs", kParams13 + names + outputs("same.out", "same.out"),
       {"run.par", "screen.txt"},
       {"\"same.out\"", "velocity profiles", "sediment parameter output"}},
      {"an output over an input", kParams13 + names + outputs("vel1.dat", "v.out"),
       {"run.par", "screen.txt"},
       {"\"vel1.dat\"", "sediment parameter output", "velocity file"}},
      {"the log over the console", kParams13 + names + sitefiles::noOutputs(),
       {"run.par", "vorn.log"},
       {"\"vorn.log\"", "log file", "console output file"}},
      {"the console over the parameter file", kParams13, {"run.par", "run.par"},
       {"\"run.par\"", "console output file", "parameter file"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    sitefiles::writeSmallSite();
    const std::string vel = readFile("vel1.dat");
    writeFile("run.par", c.par);
    auto r = runBinary(c.args);
    EXPECT_EQ(r.status, 1);
    for (const auto& w : c.named) EXPECT_NE(r.err.find(w), std::string::npos) << w << "\n" << r.err;
    // What was open first is left as it was.
    EXPECT_EQ(readFile("run.par"), c.par);
    EXPECT_EQ(readFile("vel1.dat"), vel);
  }

  // Files that are not regular files may be shared.
  writeFile("run.par", kParams13 + names + outputs("/dev/null", "/dev/null"));
  auto r = runBinary({"run.par", "screen.txt"});
  EXPECT_EQ(r.status, 0) << r.err;
}
