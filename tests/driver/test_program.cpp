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
