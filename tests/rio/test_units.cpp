// Files on units: opening statuses, record ends, the cut at the first
// write, free-format records and the failures that end the program.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "rio/units.hpp"
#include "runtime/signals.hpp"
#include "runtime/stop.hpp"
#include "testutil.hpp"

using testutil::readFile;
using testutil::writeFile;

namespace {

class Units : public testutil::ScratchDir {};

std::string hundredLines() {
  std::string s;
  for (int k = 1; k <= 100; ++k) s += "line " + std::to_string(k) + "\n";
  return s;
}

std::string ioMessage(void (*f)()) {
  try {
    f();
  } catch (const IoFailure& e) {
    return e.message;
  }
  return "";
}

}  // namespace

TEST_F(Units, UnknownFileWrittenHoldsOnlyThisRunsRecords) {
  writeFile("old.txt", hundredLines());
  rio::openUnit(7, "old.txt", rio::FileStatus::unknown);
  rio::writeRecord(7, "one");
  rio::writeRecord(7, "two");
  rio::writeRecord(7, "three");
  rio::closeUnit(7);
  EXPECT_EQ(readFile("old.txt"), "one\r\ntwo\r\nthree\r\n");
}

TEST_F(Units, UnknownFileNeverWrittenKeepsItsContents) {
  writeFile("old.txt", hundredLines());
  rio::openUnit(7, "old.txt       ", rio::FileStatus::unknown);  // trailing blanks are not part of the name
  rio::closeUnit(7);
  EXPECT_EQ(readFile("old.txt"), hundredLines());
}

TEST_F(Units, UnknownFileIsCreatedAndCutAtTheFirstWriteAfterReading) {
  rio::openUnit(3, "new.txt", rio::FileStatus::unknown);
  rio::closeUnit(3);
  EXPECT_TRUE(std::filesystem::exists("new.txt"));

  writeFile("mixed.txt", "a\nb\nc\n");
  rio::openUnit(3, "mixed.txt", rio::FileStatus::unknown);
  std::string_view rec;
  ASSERT_TRUE(rio::readRecord(3, rec));
  EXPECT_EQ(rec, "a");
  rio::writeRecord(3, "X");
  EXPECT_FALSE(rio::readRecord(3, rec));  // nothing to read after a write
  rio::closeUnit(3);
  EXPECT_EQ(readFile("mixed.txt"), "a\nX\r\n");
}

TEST_F(Units, ReopeningAUnitStartsTheFileAfresh) {
  // The progress file pattern: open, write one record, close, again.
  for (int pct : {1, 10, 20}) {
    rio::openUnit(1, "vornprog.out", rio::FileStatus::unknown);
    rio::listWrite(1, "%Completed:  ", pct);
    rio::closeUnit(1);
  }
  EXPECT_EQ(readFile("vornprog.out"), " %Completed:            20\r\n");
}

TEST_F(Units, RecordEndsOnReading) {
  std::string big(200000, 'x');  // spans several buffer refills
  writeFile("in.txt", "lf\ncrlf\r\n\nmid\rcr\r\n" + big + "\nlast without end");
  rio::openUnit(2, "in.txt", rio::FileStatus::old);
  std::vector<std::string> got;
  std::string_view rec;
  while (rio::readRecord(2, rec)) got.emplace_back(rec);
  ASSERT_EQ(got.size(), 6u);
  EXPECT_EQ(got[0], "lf");
  EXPECT_EQ(got[1], "crlf");
  EXPECT_EQ(got[2], "");
  EXPECT_EQ(got[3], "mid\rcr");
  EXPECT_EQ(got[4], big);
  EXPECT_EQ(got[5], "last without end");
  EXPECT_EQ(rio::recordsRead(2), 6);
  EXPECT_FALSE(rio::readRecord(2, rec));
}

TEST_F(Units, AFileEndingInALineEndHasNoExtraEmptyRecord) {
  writeFile("in.txt", "a\r\nb\r\n");
  rio::openUnit(2, "in.txt", rio::FileStatus::old);
  std::string_view rec;
  ASSERT_TRUE(rio::readRecord(2, rec));
  ASSERT_TRUE(rio::readRecord(2, rec));
  EXPECT_EQ(rec, "b");
  EXPECT_FALSE(rio::readRecord(2, rec));
}

TEST_F(Units, OpenFailuresNameTheFile) {
  EXPECT_FALSE(rio::tryOpenUnit(4, "missing.dat", rio::FileStatus::old));
  std::string m = ioMessage([] { rio::openUnit(4, "missing.dat", rio::FileStatus::old); });
  EXPECT_NE(m.find("missing.dat"), std::string::npos) << m;
  EXPECT_NE(m.find("open"), std::string::npos) << m;
  m = ioMessage([] { rio::openUnit(4, "no/such/dir/out.txt", rio::FileStatus::unknown); });
  EXPECT_NE(m.find("no/such/dir/out.txt"), std::string::npos) << m;
  std::filesystem::create_directory("adir");
  EXPECT_FALSE(rio::tryOpenUnit(4, "adir", rio::FileStatus::old));
}

TEST_F(Units, ASignalNotedBeforeTheOpenOfAFifoEndsTheWaitBeforeItBegins) {
  // Nobody writes the FIFO: its open would wait for ever. A signal noted
  // before the open takes the wait action (here: leave with status 42)
  // before the open begins. In a child, so that a wait cannot hold the test.
  ASSERT_EQ(::mkfifo("fifo.dat", 0644), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    noteSignal(SIGTERM);
    setInterruptedWaitAction([] { ::_exit(42); });
    rio::openUnit(4, "fifo.dat", rio::FileStatus::old);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_TRUE(testutil::waitWithin(pid, std::chrono::seconds(10), status))
      << "the open of the FIFO waited with a signal noted";
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 42);
}

TEST_F(Units, TransfersOnUnitsNotConnectedAreErrors) {
  std::string m = ioMessage([] { rio::writeRecord(12, "x"); });
  EXPECT_NE(m.find("unit 12"), std::string::npos) << m;
  m = ioMessage([] { rio::writeRecord(100, "x"); });
  EXPECT_NE(m.find("unit 100"), std::string::npos) << m;
}

TEST_F(Units, FailedWriteIsReportedAndOtherUnitsKeepTheirRecords) {
  rio::openUnit(3, "kept.txt", rio::FileStatus::unknown);
  rio::writeRecord(3, "must not be lost");
  rio::openUnit(4, "/dev/full", rio::FileStatus::unknown);
  rio::writeRecord(4, "cannot be written");
  std::string m = ioMessage([] { rio::closeAllUnits(); });
  EXPECT_NE(m.find("write error"), std::string::npos) << m;
  EXPECT_NE(m.find("/dev/full"), std::string::npos) << m;
  EXPECT_FALSE(rio::unitIsOpen(3));
  EXPECT_FALSE(rio::unitIsOpen(4));
  EXPECT_EQ(readFile("kept.txt"), "must not be lost\r\n");
}

TEST_F(Units, LargeOutputFillsTheBufferAndReachesTheFileInOrder) {
  rio::openUnit(8, "big.txt", rio::FileStatus::unknown);
  std::string expect;
  for (int k = 0; k < 20000; ++k) {
    std::string r = "record " + std::to_string(k);
    rio::writeRecord(8, r);
    expect += r + "\r\n";
  }
  std::string huge(100000, 'h');  // longer than the buffer itself
  rio::writeRecord(8, huge);
  expect += huge + "\r\n";
  rio::closeUnit(8);
  EXPECT_EQ(readFile("big.txt"), expect);
}

// ---- Free-format records --------------------------------------------------

class ListRecords : public testutil::ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    rio::openUnit(9, "out.txt", rio::FileStatus::unknown);
  }
  std::string written() {
    rio::closeUnit(9);
    return readFile("out.txt");
  }
};

TEST_F(ListRecords, ProgressRecordIs26Characters) {
  rio::listWrite(9, "%Completed:  ", 10);
  EXPECT_EQ(written(), " %Completed:            10\r\n");
}

TEST_F(ListRecords, NumberFieldsFollowOneAnother) {
  rio::listWrite(9, "x", 1.0f, -2.5f, 7);
  rio::listWrite(9, 1200.0, 0.0);
  EXPECT_EQ(written(),
            " x   1.000000      -2.500000               7\r\n"
            "    1200.000000000000       0.0000000000000000E+000\r\n");
}

TEST_F(ListRecords, ItemsThatWouldPassColumn79BeginANewRecord) {
  std::string sixty(60, 't');
  rio::listWrite(9, sixty, 1.0);
  rio::listWrite(9, std::string(100, 'L'));         // the first item is never moved
  // The record's leading blank counts towards the 79 characters.
  rio::listWrite(9, std::string(77, 'a'), "b");     // exactly 79 characters: stays
  rio::listWrite(9, std::string(78, 'a'), "b");     // 80: "b" moves
  EXPECT_EQ(written(), " " + sixty + "\r\n" + "    1.000000000000000     \r\n" + " " +
                           std::string(100, 'L') + "\r\n" + " " + std::string(77, 'a') +
                           "b\r\n" + " " + std::string(78, 'a') + "\r\n" + " b\r\n");
}

TEST_F(ListRecords, NodeListWrapsEveryFewPairs) {
  // i and a height per node in one write: 12 + 15 characters per pair.
  rio::ListWriter w(9);
  for (int i = 1; i <= 3; ++i) w << i << static_cast<float>(i) * 0.5f;
  w.end();
  const std::string b15(15, ' ');
  EXPECT_EQ(written(), std::string(12, ' ') + "1  0.5000000" + b15 + "2   1.000000" + b15 +
                           "3\r\n" + "    1.500000    \r\n");
}

TEST_F(ListRecords, EmptyWriteAndTextsAsTheyStand) {
  rio::listWrite(9);
  rio::listWrite(9, " ");
  Text<8> name("ab");
  rio::listWrite(9, name, "|");
  EXPECT_EQ(written(), "\r\n  \r\n ab      |\r\n");
}

// ---- Free-format and text reads through units ------------------------------

TEST_F(Units, EachReadStartsOnANewRecord) {
  writeFile("par.txt", "24 100 1\n5\n  log name.txt  \n");
  rio::openUnit(2, "par.txt", rio::FileStatus::old);
  std::int32_t a = 0, b = 0, c = 0;
  rio::listRead(2, a, b);
  EXPECT_EQ(a, 24);
  EXPECT_EQ(b, 100);
  rio::listRead(2, c);
  EXPECT_EQ(c, 5);
  Text<12> t;
  rio::readText(2, t);
  EXPECT_EQ(t.view(), "  log name.t");  // leading blanks kept, cut at its length
}

TEST_F(Units, ReadFailuresNameTheFileAndRecord) {
  writeFile("par.txt", "1.0\nabc\n");
  rio::openUnit(2, "par.txt", rio::FileStatus::old);
  std::string m = ioMessage([] {
    float x;
    rio::listRead(2, x);
    rio::listRead(2, x);
  });
  EXPECT_NE(m.find("read error"), std::string::npos) << m;
  EXPECT_NE(m.find("par.txt"), std::string::npos) << m;
  EXPECT_NE(m.find("record 2"), std::string::npos) << m;
  m = ioMessage([] {
    float x;
    rio::listRead(2, x);
  });
  EXPECT_NE(m.find("end of file"), std::string::npos) << m;
  m = ioMessage([] {
    Text<10> t;
    rio::readText(2, t);
  });
  EXPECT_NE(m.find("end of file"), std::string::npos) << m;
}

TEST_F(Units, StandardOutputIsUnitSix) {
  testing::internal::CaptureStdout();
  rio::listWrite(rio::STDOUT_UNIT, "UserSetUp:");
  rio::closeUnit(rio::STDOUT_UNIT);
  rio::listWrite(rio::STDOUT_UNIT, "still there");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), " UserSetUp:\r\n still there\r\n");
}

// A dry run touches no file: "unknown" opens create and cut nothing, every
// record (the console's too) goes to the sink, "old" files are read as
// usual, and an open that would fail for real fails dry too.
TEST_F(Units, DryRunTouchesNoFileAndHandsEveryRecordToTheSink) {
  writeFile("old.txt", hundredLines());
  writeFile("in.txt", hundredLines());
  std::vector<std::pair<int, std::string>> seen;
  rio::beginDryRun([&](int unit, std::string_view rec) { seen.emplace_back(unit, rec); });
  rio::openUnit(3, "new.out", rio::FileStatus::unknown);
  rio::openUnit(4, "old.txt", rio::FileStatus::unknown);
  rio::openUnit(7, "in.txt", rio::FileStatus::old);
  rio::listWrite(3, "one", std::int32_t{1});
  rio::appendToRecord(4, "pie", 3);
  rio::appendToRecord(4, "ces", 3);
  rio::endRecord(4);
  rio::writeRecord(rio::STDOUT_UNIT, "console");
  std::string_view rec;
  EXPECT_FALSE(rio::readRecord(3, rec)) << "a dry unit reads as an empty file";
  ASSERT_TRUE(rio::readRecord(7, rec));
  EXPECT_EQ(rec, "line 1");
  rio::writeRecord(7, "a write on an old file goes to the sink too");
  EXPECT_EQ(rio::unitFileName(3), "new.out");
  EXPECT_EQ(rio::unitFileName(rio::STDOUT_UNIT), "");
  EXPECT_FALSE(rio::tryOpenUnit(8, "no-such-folder/x.out", rio::FileStatus::unknown));
  EXPECT_FALSE(rio::tryOpenUnit(8, ".", rio::FileStatus::unknown));
  EXPECT_FALSE(rio::tryOpenUnit(8, "missing.txt", rio::FileStatus::old));
  // Two uses of one file are refused dry as for real, also before it exists.
  EXPECT_THROW(rio::openUnit(8, "new.out", rio::FileStatus::unknown), IoFailure);
  EXPECT_THROW(rio::openUnit(8, "old.txt", rio::FileStatus::old), IoFailure);
  rio::appendToRecord(3, "unfinished", 10);
  rio::closeAllUnits();
  rio::endDryRun();

  const std::vector<std::pair<int, std::string>> expected = {
      {3, " one           1"}, {4, "pieces"}, {6, "console"},
      {7, "a write on an old file goes to the sink too"}, {3, "unfinished"}};
  EXPECT_EQ(seen, expected);
  EXPECT_FALSE(std::filesystem::exists("new.out"));
  EXPECT_EQ(readFile("old.txt"), hundredLines());
  EXPECT_FALSE(rio::dryRun());

  // After the dry run, files are created and written as ever.
  rio::openUnit(3, "new.out", rio::FileStatus::unknown);
  rio::writeRecord(3, "real");
  rio::closeUnit(3);
  EXPECT_EQ(readFile("new.out"), "real\r\n");
}

TEST_F(Units, FilesReachTheDiskInWholeRecordsOnly) {
  // 2000 records of 101 bytes overflow the buffer inside a record; what is
  // on disk before any flush ends at the end of a record.
  rio::openUnit(7, "many.txt", rio::FileStatus::unknown);
  const std::string rec(99, 'r');
  std::string expect;
  for (int k = 0; k < 2000; ++k) {
    rio::writeRecord(7, rec);
    expect += rec + "\r\n";
  }
  std::string disk = readFile("many.txt");
  EXPECT_GT(disk.size(), 0u);
  EXPECT_EQ(disk.size() % 101, 0u);
  EXPECT_TRUE(expect.compare(0, disk.size(), disk) == 0);

  // A record longer than the buffer, built in pieces, goes out whole.
  const std::string piece(1000, 'p');
  for (int k = 0; k < 200; ++k) rio::appendToRecord(7, piece.data(), piece.size());
  disk = readFile("many.txt");
  EXPECT_EQ(disk.size() % 101, 0u);
  rio::endRecord(7);
  expect += std::string(200000, 'p') + "\r\n";
  rio::flushAllUnits();
  EXPECT_TRUE(readFile("many.txt") == expect);

  // A record never ended (a write cut short) is dropped at the close.
  rio::appendToRecord(7, "cut", 3);
  rio::closeUnit(7);
  EXPECT_TRUE(readFile("many.txt") == expect);
}

// A walk: each read seen with its label, lines and values; a failed read
// that the walker lets go on leaves its variables as they were (also those
// it had filled before the failure) and the next read takes the next
// record; a Problem brackets the records written inside it; a failed
// "unknown" open in a dry run goes on with the unit connected by name.
TEST_F(Units, AWalkSeesEveryReadAndGoesOnPastFailures) {
  struct Seen final : rio::Walker {
    std::vector<std::string> names;
    std::vector<std::pair<long long, long long>> lines;
    std::vector<bool> firstAssigned;
    int problems = 0;
    std::vector<std::string> opens;
    bool read(const rio::ReadEvent& e) override {
      names.push_back(e.label.name ? std::string(e.label.group ? e.label.group : "") +
                                         e.label.name + "." + std::to_string(e.label.index)
                                   : "-");
      lines.emplace_back(e.firstLine, e.lastLine);
      firstAssigned.push_back(e.assigned && e.assigned[0]);
      return e.result == rio::ReadResult::error;
    }
    bool openFailed(int, std::string_view path, rio::FileStatus, std::string_view) override {
      opens.emplace_back(path);
      return true;
    }
    void problem(bool begins, rio::Severity, const char*) override { problems += begins ? 1 : 0; }
  } seen;
  writeFile("p.txt", "3.5 x\n7\n8\nname\n");
  rio::openUnit(10, "p.txt", rio::FileStatus::old);
  rio::setWalker(&seen);
  float a = 1, b = 2;
  rio::nameNextRead(10, "pair", "a b");
  rio::listRead(10, a, b);
  EXPECT_EQ(a, 1.0f);
  EXPECT_EQ(b, 2.0f);
  rio::nameNextRead(10, "again", "a b", 3, "g");
  rio::listRead(10, a, b);
  EXPECT_EQ(a, 7.0f);
  EXPECT_EQ(b, 8.0f);
  Text<8> t;
  rio::readText(10, t);
  { const rio::Problem p; }
  rio::beginDryRun();
  rio::openUnit(11, "no-such-folder/out.txt", rio::FileStatus::unknown);
  EXPECT_TRUE(rio::unitIsOpen(11));
  rio::endDryRun();
  rio::setWalker(nullptr);
  EXPECT_EQ(seen.names, (std::vector<std::string>{"pair.0", "gagain.3", "-"}));
  EXPECT_EQ(seen.lines, (std::vector<std::pair<long long, long long>>{{1, 1}, {2, 3}, {4, 4}}));
  EXPECT_EQ(seen.firstAssigned, (std::vector<bool>{true, true, false}));
  EXPECT_EQ(seen.problems, 1);
  EXPECT_EQ(seen.opens, (std::vector<std::string>{"no-such-folder/out.txt"}));
  EXPECT_THROW(rio::listRead(10, a), IoFailure) << "without a walker a failure ends the run";
}

// No unit writes a file the run reads: an input closed long ago, one
// reached through a link, one named while writes were held.
TEST_F(Units, FilesReadAreNeverWrittenWhateverNameReachesThem) {
  const std::string input = hundredLines();
  writeFile("nodes.dat", input);
  writeFile("stress.dat", input);
  ::symlink("nodes.dat", "link.dat");
  rio::forgetFilesRead();

  // The log is opened and written before the inputs are known.
  rio::holdWrites();
  rio::openUnit(4, "stress.dat", rio::FileStatus::unknown, "log file");
  rio::writeRecord(4, "the parameter echo");
  rio::flushAllUnits();
  EXPECT_EQ(readFile("stress.dat"), input) << "a held write reached the file";
  rio::openUnit(2, "nodes.dat", rio::FileStatus::old, "node file");
  rio::closeUnit(2);
  try {
    rio::openUnit(3, "stress.dat", rio::FileStatus::old, "bottom friction file");
    ADD_FAILURE() << "the input was opened while the log has it";
  } catch (const IoFailure& e) {
    EXPECT_NE(e.message.find("already open on unit 4 for the log file"), std::string::npos);
  }
  rio::abandonAllUnits();
  EXPECT_EQ(readFile("stress.dat"), input) << "the log was written over an input";

  // After start-up: an output on a closed input, directly or through a link.
  for (const char* name : {"nodes.dat", "link.dat"}) {
    try {
      rio::openUnit(9, name, rio::FileStatus::unknown, "statistics output");
      ADD_FAILURE() << name << " was opened for output";
    } catch (const IoFailure& e) {
      EXPECT_NE(e.message.find("it is a file the run reads (the node file"), std::string::npos)
          << e.message;
    }
  }
  EXPECT_EQ(readFile("nodes.dat"), input);

  // Held writes of a file that is no input reach it, in order, when
  // released; and a new run starts with no file read.
  rio::holdWrites();
  rio::openUnit(8, "out.txt", rio::FileStatus::unknown, "log file");
  for (int k = 0; k < 20000; ++k) rio::writeRecord(8, "record " + std::to_string(k));
  EXPECT_EQ(readFile("out.txt"), "");
  rio::releaseWrites();
  rio::closeUnit(8);
  const std::string out = readFile("out.txt");
  EXPECT_EQ(out.substr(0, 10), "record 0\r\n");
  EXPECT_EQ(out.substr(out.size() - 14), "record 19999\r\n");
  rio::forgetFilesRead();
  rio::openUnit(9, "nodes.dat", rio::FileStatus::unknown, "statistics output");
  rio::closeUnit(9);
}

// A file without line ends (a device, a binary file) is a read error at
// the bound of a record, naming the file and the record.
TEST_F(Units, ARecordLongerThanTheBoundIsAReadError) {
  writeFile("long.dat", "first\n" + std::string(rio::MAXRECORD - 1, 'x') + "\n" +
                            std::string(rio::MAXRECORD + 1, 'y'));
  rio::openUnit(7, "long.dat", rio::FileStatus::old);
  std::string_view rec;
  ASSERT_TRUE(rio::readRecord(7, rec));
  ASSERT_TRUE(rio::readRecord(7, rec));
  EXPECT_EQ(rec.size(), rio::MAXRECORD - 1);
  try {
    rio::readRecord(7, rec);
    ADD_FAILURE() << "a record of " << rio::MAXRECORD + 1 << " bytes was read";
  } catch (const IoFailure& e) {
    EXPECT_NE(e.message.find("(file \"long.dat\"), record 3: no line end within 1048576 bytes"),
              std::string::npos)
        << e.message;
  }
  rio::closeUnit(7);
}
