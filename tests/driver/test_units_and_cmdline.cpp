// Unit numbering, the command-line forms, error reports and how the
// program ends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/errorreport.hpp"
#include "driver/inputstyleroutines.hpp"
#include "driver/runprogram.hpp"
#include "rio/nextpointer.hpp"
#include "rio/units.hpp"
#include "runtime/stop.hpp"
#include "state/vornio.hpp"
#include "testutil.hpp"

using testutil::readFile;
using testutil::writeFile;

namespace {

class CommandLine : public testutil::ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    VORNIO = VornioRecord{};
    VORNIO.nextunit = 2;
  }
  void TearDown() override {
    setCommandLine(1, argv0);
    ScratchDir::TearDown();
  }
  void args(std::vector<const char*> a) {
    a.insert(a.begin(), "vornv7");
    setCommandLine(static_cast<int>(a.size()), a.data());
  }
  const char* argv0[1] = {"vornv7"};
};

}  // namespace

TEST(NextPointer, SkipsTheStandardUnits) {
  EXPECT_EQ(NEXTPOINTER(1), 2);
  EXPECT_EQ(NEXTPOINTER(2), 3);
  EXPECT_EQ(NEXTPOINTER(3), 4);
  EXPECT_EQ(NEXTPOINTER(4), 7);
  EXPECT_EQ(NEXTPOINTER(5), 7);
  EXPECT_EQ(NEXTPOINTER(98), 99);
}

TEST(NextPointer, MoreThan99UnitsStopsWithAMessageOnStandardOutput) {
  testing::internal::CaptureStdout();
  EXPECT_THROW(NEXTPOINTER(99), StopRun);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            " Number of file pointer exceeds 99, Stopping !!!!\r\n");
}

TEST_F(CommandLine, NoArgumentOrStdInReadsStandardInput) {
  args({});
  INPUTSTYLECMDLN_POSIX(-1);
  EXPECT_EQ(VORNIO.inunit, 5);
  EXPECT_EQ(VORNIO.outunit, 6);
  EXPECT_EQ(VORNIO.nextunit, 2);  // the log file will get unit 2
  args({"StdIn"});
  INPUTSTYLECMDLN_POSIX(-1);
  EXPECT_EQ(VORNIO.inunit, 5);
  EXPECT_EQ(VORNIO.outunit, 6);
  EXPECT_EQ(VORNIO.nextunit, 2);
}

TEST_F(CommandLine, OneFileArgumentIsTheParameterFile) {
  writeFile("run.par", "vorn.log\n");
  args({"run.par"});
  INPUTSTYLECMDLN_POSIX(-1);
  EXPECT_EQ(VORNIO.inunit, 2);
  EXPECT_EQ(VORNIO.outunit, 6);
  EXPECT_EQ(VORNIO.nextunit, 3);  // the log file will get unit 3
  Text<20> t;
  rio::readText(VORNIO.inunit, t);
  EXPECT_EQ(t.trimmed(), "vorn.log");
}

TEST_F(CommandLine, TheKeywordIsCaseSensitive) {
  args({"stdin"});  // a file name, which does not exist here
  EXPECT_THROW(INPUTSTYLECMDLN_POSIX(-1), IoFailure);
  writeFile("stdin", "x\n");
  VORNIO.nextunit = 2;
  INPUTSTYLECMDLN_POSIX(-1);
  EXPECT_EQ(VORNIO.inunit, 2);
}

TEST_F(CommandLine, ParameterFileAndOutputFile) {
  writeFile("run.par", "x\n");
  writeFile("screen.txt", "old screen\nlines\n");
  args({"run.par", "screen.txt"});
  INPUTSTYLECMDLN_POSIX(-1);
  EXPECT_EQ(VORNIO.inunit, 2);
  EXPECT_EQ(VORNIO.outunit, 3);
  EXPECT_EQ(VORNIO.nextunit, 4);             // the log file will get unit 4
  EXPECT_EQ(NEXTPOINTER(VORNIO.nextunit), 7);  // and the next file unit 7
  rio::listWrite(VORNIO.outunit, "UserSetUp:");
  INPUTSTYLECMDLN_POSIX(1);
  EXPECT_FALSE(rio::unitIsOpen(2));
  EXPECT_FALSE(rio::unitIsOpen(3));
  EXPECT_EQ(readFile("screen.txt"), " UserSetUp:\r\n");
}

TEST_F(CommandLine, StdInAndOutputFile) {
  args({"StdIn", "screen.txt"});
  INPUTSTYLECMDLN_POSIX(-1);
  EXPECT_EQ(VORNIO.inunit, 5);
  EXPECT_EQ(VORNIO.outunit, 2);
  EXPECT_EQ(VORNIO.nextunit, 3);
  EXPECT_TRUE(std::filesystem::exists("screen.txt"));
}

TEST_F(CommandLine, ThreeArgumentsGiveTheUsageMessageAndStop) {
  writeFile("a", "");
  args({"a", "b", "c"});
  testing::internal::CaptureStdout();
  EXPECT_THROW(INPUTSTYLECMDLN_POSIX(-1), StopRun);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            " Too many calling parameters!!\r\n"
            " call with 1 of:\r\n"
            " vornv6_ts\r\n"
            " vornv6_ts < infile\r\n"
            " vornv6_ts infile\r\n"
            " vornv6_ts < infile > outfile\r\n"
            " vornv6_ts infile outfile\r\n"
            " If all else fails goto line line 134 of vornv6\r\n");
  EXPECT_FALSE(rio::unitIsOpen(2));  // nothing was opened
  EXPECT_FALSE(std::filesystem::exists("b"));
}

TEST_F(CommandLine, ErrorReportGoesToTheConsoleThenTheLog) {
  VORNIO.outunit = 3;
  VORNIO.logunit = 4;
  rio::openUnit(3, "console.txt", rio::FileStatus::unknown);
  rio::openUnit(4, "vorn.log", rio::FileStatus::unknown);
  ERRORREPORT(1, "ReadInputParameters");
  ERRORREPORT(2, " CalcUstar");
  rio::closeAllUnits();
  const std::string expect =
      "\r\n Error Reported in subroutine ReadInputParameters.\r\n Error #           1\r\n"
      "\r\n Error Reported in subroutine  CalcUstar.\r\n Error #           2\r\n";
  EXPECT_EQ(readFile("console.txt"), expect);
  EXPECT_EQ(readFile("vorn.log"), expect);
}

// ---- How a run ends ---------------------------------------------------------

class Ending : public testutil::ScratchDir {};

TEST_F(Ending, AStopFlushesEveryUnitAndGivesStatusZero) {
  int status = runProgram([] {
    rio::openUnit(2, "a.txt", rio::FileStatus::unknown);
    rio::openUnit(3, "b.txt", rio::FileStatus::unknown);
    rio::writeRecord(2, "in a");
    rio::writeRecord(3, "in b");
    stopRun();
  });
  EXPECT_EQ(status, 0);
  EXPECT_FALSE(rio::unitIsOpen(2));
  EXPECT_EQ(readFile("a.txt"), "in a\r\n");
  EXPECT_EQ(readFile("b.txt"), "in b\r\n");
}

TEST_F(Ending, AnInputErrorGivesStatusOneAndKeepsWhatWasWritten) {
  testing::internal::CaptureStderr();
  int status = runProgram([] {
    rio::openUnit(2, "log.txt", rio::FileStatus::unknown);
    rio::writeRecord(2, "echo so far");
    rio::openUnit(3, "missing.par", rio::FileStatus::old);
  });
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(status, 1);
  EXPECT_NE(err.find("missing.par"), std::string::npos) << err;
  EXPECT_EQ(readFile("log.txt"), "echo so far\r\n");
}

TEST_F(Ending, AWriteThatFailsAtTheStopGivesStatusOne) {
  testing::internal::CaptureStderr();
  int status = runProgram([] {
    rio::openUnit(2, "/dev/full", rio::FileStatus::unknown);
    rio::writeRecord(2, "lost");
    stopRun();
  });
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(status, 1);
  EXPECT_NE(err.find("/dev/full"), std::string::npos) << err;
}
