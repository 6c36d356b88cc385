// The built program run as a user runs it: command-line forms and exit
// statuses.
#include <gtest/gtest.h>

#include "testutil.hpp"

using testutil::readFile;
using testutil::runBinary;
using testutil::writeFile;

class Program : public testutil::ScratchDir {};

TEST_F(Program, TooManyArgumentsPrintTheUsageAndExitZero) {
  auto r = runBinary({"a", "b", "c"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind(" Too many calling parameters!!\r\n", 0), 0u) << r.out;
  EXPECT_NE(r.out.find(" If all else fails goto line line 134 of vornv6\r\n"), std::string::npos);
}

TEST_F(Program, AMissingParameterFileExitsOneNamingIt) {
  auto r = runBinary({"nosuch.par"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("nosuch.par"), std::string::npos) << r.err;
}

TEST_F(Program, AnOutputFileNamedOnTheCommandLineIsCreated) {
  writeFile("run.par", "vorn.log\n");
  auto r = runBinary({"run.par", "screen.txt"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(std::filesystem::exists("screen.txt"));
}
