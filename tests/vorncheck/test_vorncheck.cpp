// vorncheck: the bundled examples pass clean; every problem class is found
// with its file and line, in one pass; the exit statuses; the record walk.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "testutil.hpp"
#include "vorncheck/check.hpp"

namespace fs = std::filesystem;
using testutil::readFile;
using testutil::writeFile;
using vorncheck::Check;
using vorncheck::Finding;
using vorncheck::Level;

namespace {

std::string example(const std::string& name) {
  return std::string(VORN_SOURCE_DIR) + "/examples/" + name;
}

// The example's files copied into the test's folder.
void copyExample(const std::string& name) {
  for (const auto& e : fs::directory_iterator(example(name))) {
    if (e.is_regular_file()) fs::copy_file(e.path(), e.path().filename());
  }
}

std::vector<std::string> lines(const std::string& file) {
  std::vector<std::string> out;
  std::string text = readFile(file);
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t e = text.find('\n', pos);
    if (e == std::string::npos) e = text.size();
    out.push_back(text.substr(pos, e - pos));
    pos = e + 1;
  }
  return out;
}

void writeLines(const std::string& file, const std::vector<std::string>& l) {
  std::string text;
  for (const std::string& s : l) text += s + "\n";
  writeFile(file, text);
}

// Replaces line n (1-based) of a file.
void setLine(const std::string& file, std::size_t n, const std::string& text) {
  auto l = lines(file);
  l.at(n - 1) = text;
  writeLines(file, l);
}

// The line (1-based) of the first data row of a series file.
std::size_t firstRow(const std::string& file) {
  const auto l = lines(file);
  for (std::size_t k = 0; k < l.size(); ++k) {
    if (l[k].rfind("XXXX", 0) == 0) return k + 6;
  }
  return 0;
}

std::string describe(const Check& c) {
  std::string s;
  for (const Finding& f : c.findings) s += "  " + f.file + ":" + std::to_string(f.line) + ": " + f.message + "\n";
  return s;
}

bool has(const Check& c, const std::string& file, long long line, Level level,
         const std::string& text) {
  for (const Finding& f : c.findings) {
    if (f.file == file && f.line == line && f.level == level &&
        f.message.find(text) != std::string::npos) {
      return true;
    }
  }
  return false;
}

class VorncheckTest : public testutil::ScratchDir {};

}  // namespace

TEST_F(VorncheckTest, BothExamplesPassWithoutFindingsAndNoFileIsTouched) {
  for (const std::string name : {"aldmouth-bank", "skerne-dredging"}) {
    fs::create_directory(name);
    fs::current_path(name);
    copyExample(name);
    std::map<std::string, std::string> before;
    for (const auto& e : fs::directory_iterator(".")) before[e.path().string()] = readFile(e.path());
    const Check c = vorncheck::CHECKPARAMETERS("run.par");
    EXPECT_TRUE(c.findings.empty()) << name << "\n" << describe(c);
    EXPECT_EQ(c.exitStatus(), 0);
    EXPECT_TRUE(c.summary.timing && c.summary.packetsKnown);
    std::map<std::string, std::string> after;
    for (const auto& e : fs::directory_iterator(".")) after[e.path().string()] = readFile(e.path());
    EXPECT_EQ(before, after) << name << ": the check writes no file";
    fs::current_path("..");
  }
  const Check a = [] {
    fs::current_path("aldmouth-bank");
    Check c = vorncheck::CHECKPARAMETERS("run.par");
    fs::current_path("..");
    return c;
  }();
  EXPECT_NEAR(a.summary.endDay - a.summary.startDay, 5.0, 1e-9);
  EXPECT_EQ(a.summary.packets, 100100);
  EXPECT_EQ(a.summary.files.front(), "aldmouth.log");
  EXPECT_EQ(a.summary.files.size(), 10u);
}

// One broken copy of an example per problem class; each must be reported
// with its file, line and level (and the walk must not stop the others).
TEST_F(VorncheckTest, EveryProblemClassIsFoundWithItsFileAndLine) {
  struct Case {
    const char* what;
    const char* example;
    std::function<void()> breakIt;
    std::string file;
    long long line;
    Level level;
    std::string text;
  };
  const std::size_t row = firstRow(example("aldmouth-bank") + "/vel_01m.dat");
  const std::vector<Case> cases = {
      {"unreadable value", "aldmouth-bank", [] { setLine("run.par", 4, "one"); }, "run.par", 4,
       Level::error, "cannot read the record velocity_update (dtvu)"},
      {"seed out of range", "aldmouth-bank", [] { setLine("run.par", 2, "20260601 0"); },
       "run.par", 2, Level::error, "A, M, S out of order in MLTMOD - ABORT!"},
      {"missing file", "aldmouth-bank", [] { setLine("run.par", 17, "absent.dat"); }, "run.par",
       17, Level::error, "cannot open file \"absent.dat\""},
      {"missing marker", "aldmouth-bank",
       [] {
         writeFile("vel_03m.dat", std::regex_replace(readFile("vel_03m.dat"), std::regex("XXXX"), "xxxx"));
       },
       "vel_03m.dat", static_cast<long long>(lines(example("aldmouth-bank") + "/vel_03m.dat").size()),
       Level::error, "Never found XXXX in file"},
      {"column count", "aldmouth-bank", [row] { setLine("vel_06m.dat", row - 1, "2"); },
       "vel_06m.dat", static_cast<long long>(row - 1), Level::error,
       "GetVelInfo: Not enough columns. ncol < 3"},
      {"node count", "aldmouth-bank", [] { writeFile("lognodes.dat", "XXXX\n1\n0.05\n"); },
       "lognodes.dat", 2, Level::error, "Not enough vertical nodes in log layer."},
      {"node order", "aldmouth-bank",
       [] { writeFile("intnodes.dat", "XXXX\n3\n-19\n-17\n-18\n"); }, "intnodes.dat", 5,
       Level::error, "Node heights must increase"},
      {"MAXVELFILES", "aldmouth-bank",
       [] {
         std::string f = "XXXX\n86\n";
         for (int k = 0; k < 86; ++k) f += std::to_string(k) + "\n";
         writeFile("intnodes.dat", f);
       },
       "intnodes.dat", 88, Level::error, "Increase MAXVELFILES and recompile"},
      {"MAXNODES", "aldmouth-bank",
       [] {
         std::string f = "XXXX\n115\n";
         for (int k = 0; k < 115; ++k) f += std::to_string(k) + "\n";
         writeFile("intnodes.dat", f);
       },
       "intnodes.dat", 117, Level::error, "GetVertNodeInfo requires too many vertical nodes."},
      {"unreadable row of a series", "aldmouth-bank",
       [row] { setLine("vel_03m.dat", row + 200, "157.2 0.1 abc"); }, "vel_03m.dat",
       static_cast<long long>(row + 200), Level::error, "cannot read a real from \"abc\""},
      {"CMAX", "aldmouth-bank",
       [] {
         auto l = lines("run.par");
         l[30] = "51";
         l.insert(l.begin() + 35, 47, "100 100 500 0.05 2");
         writeLines("run.par", l);
       },
       "run.par", 31, Level::error, "Increase CMAX and recompile."},
      {"MAPMAX", "aldmouth-bank",
       [] { setLine("run.par", 38, "400 -5000.0 30000.0 51 -5000.0 20000.0 0.05 2.0"); },
       "run.par", 38, Level::warning, "nx = 400 is more than MAPMAX (301)"},
      {"KMAX", "aldmouth-bank", [] { setLine("run.par", 13, "5.0e6 2000000 0.25 0"); },
       "run.par", 13, Level::error, "Too many packets"},
      {"run outlasts the forcing", "aldmouth-bank", [] { setLine("run.par", 3, "400 157.0"); },
       "stress.dat",
       static_cast<long long>(lines(example("aldmouth-bank") + "/stress.dat").size()),
       Level::error, "the run outlasts the series"},
      {"start day moved", "aldmouth-bank", [] { setLine("run.par", 3, "120 151.97"); }, "run.par",
       3, Level::warning, "the run starts on day 152, not on day 151.97"},
      // Time mistakes that would run " Clean exit " out of time.
      {"start moved by more than an update", "aldmouth-bank",
       [] { setLine("run.par", 3, "120 150.0"); }, "run.par", 3, Level::error,
       "more than one velocity update (1 h) away: is time0 counted from the year"},
      {"dtvu off the rows' spacing", "aldmouth-bank", [] { setLine("run.par", 4, "0.99"); },
       "vel_01m.dat", static_cast<long long>(row + 5 * 24 + 2), Level::error,
       "the run's clock is 0.02 h off the series here, as dtvu (0.99 h) is not the rows' "
       "spacing (1 h on average)"},
      {"a year of another file", "aldmouth-bank", [] { setLine("stress.dat", 7, "2025"); },
       "stress.dat", 7, Level::error, "the year 2025 differs from 2026 of vel_01m.dat"},
      {"dumps out of order", "skerne-dredging",
       [] { setLine("dumps.dat", firstRow("dumps.dat") + 2, "60.5 5000"); }, "dumps.dat",
       static_cast<long long>(firstRow(example("skerne-dredging") + "/dumps.dat") + 2),
       Level::error, "would release it with that later dump, not on its own day"},
      {"release an update or more after the start", "skerne-dredging",
       [] { setLine("dumps.dat", firstRow("dumps.dat"), "60.1 6200"); }, "run.par", 13,
       Level::warning, "the 5 advection steps before are skipped"},
      {"a fill value", "aldmouth-bank",
       [row] { setLine("vel_03m.dat", row + 130, "157.4166666667 -999.0 -999.0"); },
       "vel_03m.dat", static_cast<long long>(row + 130), Level::warning,
       "above 5 m/s: a fill value of the instrument, most likely"},
      {"a map the plume leaves", "aldmouth-bank",
       [] { setLine("run.par", 38, "11 -1000.0 1000.0 11 -1000.0 1000.0 0.05 2.0"); }, "run.par", 38,
       Level::warning, "the water at the release point leaves the map on day"},
      {"gap in a series", "aldmouth-bank",
       [row] {
         auto l = lines("vel_11m.dat");
         l.erase(l.begin() + static_cast<long>(row + 130));
         writeLines("vel_11m.dat", l);
       },
       "vel_11m.dat", static_cast<long long>(row + 131), Level::warning,
       "are 2 h apart; the run takes consecutive records 1 h apart"},
      {"series out of step", "aldmouth-bank",
       [row] {
         auto l = lines("vel_11m.dat");
         l.erase(l.begin() + static_cast<long>(row + 130));
         writeLines("vel_11m.dat", l);
       },
       "vel_11m.dat", static_cast<long long>(row + 131), Level::error,
       "out of step with vel_01m.dat"},
      {"mass lost to whole packets", "aldmouth-bank",
       [] {
         setLine("run.par", 3, "48 157.0");
         setLine("run.par", 13, "5.0e6 20000 1 48");
       },
       "run.par", 13, Level::warning, "19584 of the 20000 packets in: 2.1 % of the mass"},
      {"discharge beyond KMAX", "skerne-dredging",
       [] { setLine("dumps.dat", firstRow("dumps.dat"), "60.30 2000000"); }, "dumps.dat",
       static_cast<long long>(firstRow(example("skerne-dredging") + "/dumps.dat")),
       Level::error, "more than the packet store holds (KMAX = 1001000)"},
      {"discharge event after the run", "skerne-dredging",
       [] { writeFile("dumps.dat", readFile("dumps.dat") + "90.0 100\n"); }, "dumps.dat",
       static_cast<long long>(lines(example("skerne-dredging") + "/dumps.dat").size() + 1),
       Level::warning, "they are never released"},
      {"interval below the step", "aldmouth-bank", [] { setLine("run.par", 22, "0.01"); },
       "run.par", 22, Level::warning, "Too Small!!!, Using default model timestep:"},
      {"interval not a multiple of the step", "aldmouth-bank",
       [] { setLine("run.par", 20, "0.3"); }, "run.par", 20, Level::warning,
       "not a whole number of advection steps"},
      {"biology interval not a multiple", "aldmouth-bank", [] { setLine("run.par", 39, "0.75"); },
       "run.par", 39, Level::error, "Biology Timestep Must Be Multiple of Concentration"},
      {"two outputs on one file", "aldmouth-bank", [] { setLine("run.par", 25, "sediment.out"); },
       "run.par", 25, Level::error, "already open on unit"},
      {"an output on the log", "aldmouth-bank", [] { setLine("run.par", 30, "aldmouth.log"); },
       "run.par", 30, Level::error, "for the log file"},
      {"layer above the profile", "aldmouth-bank",
       [] { setLine("run.par", 35, "5000.0 1800.0 500.0 12.0 14.0"); }, "run.par", 35,
       Level::warning, "lies at or above the top of the sediment profile"},
      {"upside-down layer", "aldmouth-bank", [] { setLine("run.par", 26, "11.0 0.05 3000.0"); },
       "run.par", 26, Level::error, "the sampling layer is upside down"},
      {"start-up check of the driver", "aldmouth-bank", [] { setLine("run.par", 10, "0 0.05"); },
       "run.par", 10, Level::error, "kappa must be positive"},
      {"hmax above the top meter", "aldmouth-bank", [] { setLine("run.par", 11, "30"); },
       "run.par", 11, Level::warning, "Hmax > upper current meter."},
      {"Rouse number above 5", "aldmouth-bank",
       [] { setLine("run.par", 9, "0.5 0.5 0.5 0.05"); }, "run.par", 9, Level::warning,
       "above 5 the sediment hardly rises off the bed"},
      {"settling velocity 0", "aldmouth-bank", [] { setLine("run.par", 9, "0 0 0 0"); },
       "run.par", 9, Level::warning, "the settling velocity iniwstar is 0"},
      {"too few packets", "aldmouth-bank", [] { setLine("run.par", 13, "5.0e6 500 0.25 3.0"); },
       "run.par", 13, Level::warning, "only 500 packets enter the run"},
      // What the run would fail on after its start-up.
      {"unknown shuffling method", "aldmouth-bank", [] { setLine("run.par", 6, "7"); },
       "run.par", 6, Level::error, "(\"Unknown method\")"},
      {"settling velocity without a profile", "aldmouth-bank",
       [] { setLine("run.par", 9, "-2147483649 0.0015 0.0003 0.05"); }, "run.par", 9,
       Level::error, "gives a profile table that is not a number"},
      {"negative settling velocity", "aldmouth-bank",
       [] { setLine("run.par", 9, "0.0015 -0.001 0.0003 0.05"); }, "run.par", 9,
       Level::warning, "the settling velocity bigwstar is negative"},
      {"more exchanges than a step counts", "aldmouth-bank",
       [] { setLine("run.par", 5, "0.25 1e-7"); }, "run.par", 5, Level::error,
       "the run would never end"},
      {"an output on the progress file", "aldmouth-bank",
       [] { setLine("run.par", 28, "vornprog.out"); }, "run.par", 28, Level::error,
       "the run writes its progress to vornprog.out"},
      {"reversed biology thresholds", "aldmouth-bank", [] { setLine("run.par", 44, "0.2 0.02"); },
       "run.par", 44, Level::warning, "the thresholds cmaplow, cmaphigh are reversed"},
      {"a name past 120 characters", "aldmouth-bank",
       [] { setLine("run.par", 25, std::string(118, 's') + ".out.old"); }, "run.par", 25,
       Level::warning, "and drops \"ut.old\""},
      {"an output named like a node file", "aldmouth-bank",
       [] { setLine("run.par", 25, "lognodes.dat"); }, "run.par", 25, Level::error,
       "it is a file the run reads (the node file)"},
  };
  const fs::path top = fs::current_path();
  int n = 0;
  for (const Case& k : cases) {
    const fs::path dir = top / ("case" + std::to_string(n++));
    fs::create_directory(dir);
    fs::current_path(dir);
    copyExample(k.example);
    k.breakIt();
    const Check c = vorncheck::CHECKPARAMETERS("run.par");
    EXPECT_TRUE(has(c, k.file, k.line, k.level, k.text))
        << k.what << ": expected " << k.file << ":" << k.line << " " << k.text << "\n"
        << describe(c);
    EXPECT_EQ(c.exitStatus(), k.level == Level::error ? 1 : (c.count(Level::error) ? 1 : 2))
        << k.what;
    fs::current_path(top);
  }
}

// Several problems in one file are all reported in one pass.
TEST_F(VorncheckTest, OnePassFindsProblemsOfEveryStage) {
  copyExample("aldmouth-bank");
  setLine("run.par", 4, "one");        // a value
  setLine("run.par", 9, "0.0015 x 0.0003 0.05");
  setLine("run.par", 17, "absent.dat");  // a file
  setLine("run.par", 25, "sediment.out");  // an output
  const Check c = vorncheck::CHECKPARAMETERS("run.par");
  for (long long line : {4, 9, 17}) {
    EXPECT_TRUE(has(c, "run.par", line, Level::error, "")) << line << "\n" << describe(c);
  }
}

TEST_F(VorncheckTest, ExitStatusesAndTheRecordWalkOfTheBinary) {
  copyExample("aldmouth-bank");
  const auto run = [](const std::vector<std::string>& args) {
    std::string cmd = std::string("'") + VORNCHECK_BINARY + "'";
    for (const auto& a : args) cmd += " '" + a + "'";
    cmd += " > out.txt 2> err.txt";
    const int rc = std::system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  };
  EXPECT_EQ(run({"run.par"}), 0);
  EXPECT_NE(readFile("out.txt").find("run.par: 0 error(s), 0 warning(s)"), std::string::npos);
  EXPECT_EQ(run({"--records", "run.par"}), 0);
  const std::string rec = readFile("out.txt");
  EXPECT_EQ(rec.rfind("{\"parameter_file\": \"run.par\",", 0), 0u);
  EXPECT_NE(rec.find("{\"name\": \"seeds\", \"file\": \"run.par\", \"line\": 2, \"last_line\": 2,\n"
                     "    \"fields\": [\"seed1\", \"seed2\"], \"values\": [20260601, 31415926]}"),
            std::string::npos);
  setLine("run.par", 11, "30");  // a warning only
  EXPECT_EQ(run({"run.par"}), 2);
  EXPECT_EQ(run({"--json", "run.par"}), 2);
  EXPECT_NE(readFile("out.txt").find("\"severity\": \"warning\""), std::string::npos);
  setLine("run.par", 17, "absent.dat");  // and an error
  EXPECT_EQ(run({"run.par"}), 1);
  EXPECT_NE(readFile("out.txt").find("run.par:17: error: cannot open file \"absent.dat\""),
            std::string::npos);
  EXPECT_EQ(run({"absent.par"}), 1);
  EXPECT_EQ(run({}), 3);
  EXPECT_EQ(run({"--bad", "run.par"}), 3);
}

// The walk names every record of both examples; each read starts on the
// line after the one before, and the last read ends on the file's last line.
TEST_F(VorncheckTest, RecordWalkOfBothExamples) {
  const std::map<std::string, std::vector<std::string>> expectedTail = {
      {"aldmouth-bank", {"map.interval", "map.file", "map.grid", "biology.interval",
                         "biology.file", "biology.thresholds", "biology_map.interval",
                         "biology_map.file", "biology_map.thresholds"}},
      {"skerne-dredging", {"biology.interval", "biology.file", "biology.thresholds",
                           "biology_map.interval", "biology_map.file",
                           "biology_map.thresholds"}}};
  const std::vector<std::string> head = {"log_file", "seeds", "run_time", "velocity_update",
                                         "time_steps", "vmethod", "nfricp", "friction",
                                         "settling", "kappa_href", "hmax", "btype", "release",
                                         "log_nodes_file", "interior_nodes_file",
                                         "velocity_file.1"};
  for (const auto& [name, tail] : expectedTail) {
    fs::create_directory(name);
    fs::current_path(name);
    copyExample(name);
    const Check c = vorncheck::CHECKPARAMETERS("run.par");
    const auto par = lines("run.par");
    ASSERT_GE(c.records.size(), head.size() + tail.size()) << name;
    for (std::size_t k = 0; k < head.size(); ++k) EXPECT_EQ(c.records[k].name, head[k]) << name;
    for (std::size_t k = 0; k < tail.size(); ++k) {
      EXPECT_EQ(c.records[c.records.size() - tail.size() + k].name, tail[k]) << name;
    }
    long long next = 1;
    for (const vorncheck::Record& r : c.records) {
      EXPECT_EQ(r.line, next) << name << " " << r.name;
      EXPECT_EQ(r.fields.size(), r.values.size()) << r.name;
      next = r.lastLine + 1;
      // Every value as the line holds it: the text, or each number in turn.
      const std::string& text = par.at(r.line - 1);
      for (const vorncheck::Value& v : r.values) {
        if (v.number) {
          EXPECT_NE(v.json, "null") << r.name;
        } else {
          EXPECT_EQ(v.text, text.substr(0, text.find_last_not_of(" \r") + 1)) << r.name;
        }
      }
    }
    EXPECT_EQ(next - 1, static_cast<long long>(par.size())) << name;
    const std::string json = vorncheck::recordsJson(c);
    EXPECT_NE(json.find("{\"name\": \"release\", \"file\": \"run.par\", \"line\": 13"),
              std::string::npos);
    fs::current_path("..");
  }
}

namespace {

// Runs the checker's binary in the current folder (as user `uid` when
// given and the test runs as root), at most 60 s; its exit status, or -1.
int runChecker(const std::vector<std::string>& args, int uid = -1) {
  std::string cmd = "timeout 60 ";
  if (uid >= 0 && ::geteuid() == 0) {
    cmd += "setpriv --reuid=" + std::to_string(uid) + " --regid=" + std::to_string(uid) +
           " --clear-groups ";
  }
  cmd += std::string("'") + VORNCHECK_BINARY + "'";
  for (const auto& a : args) cmd += " '" + a + "'";
  cmd += " > out.txt 2> err.txt";
  const int rc = std::system(cmd.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

}  // namespace

// A FIFO or a device as a forcing file, or a file without line ends: the
// check neither blocks nor grows a record without bound, and says what is
// wrong with the file.
TEST_F(VorncheckTest, FilesThatAreNotRegularOrHaveNoLineEndsAreRefusedAtOnce) {
  copyExample("aldmouth-bank");
  struct Case {
    const char* what;
    std::function<void()> make;
    std::string says;
  };
  const std::vector<Case> cases = {
      {"FIFO", [] { ::mkfifo("stress.dat", 0644); }, "it is not a regular file (a FIFO)"},
      {"/dev/zero", [] { fs::create_symlink("/dev/zero", "stress.dat"); },
       "it is not a regular file (a character device)"},
      {"3 MB without a line end", [] { writeFile("stress.dat", std::string(3 << 20, '7')); },
       "stress.dat:1: error: read error on unit"},
  };
  for (const Case& k : cases) {
    fs::remove("stress.dat");
    k.make();
    EXPECT_EQ(runChecker({"run.par"}), 1) << k.what << "\n" << readFile("err.txt");
    EXPECT_NE(readFile("out.txt").find(k.says), std::string::npos)
        << k.what << "\n" << readFile("out.txt");
  }
}

// Files the run would write but may not, and the console it is given.
TEST_F(VorncheckTest, FilesTheRunCannotWriteAndItsConsoleAreErrors) {
  copyExample("aldmouth-bank");
  setLine("run.par", 1, "screen.txt");
  Check c = vorncheck::CHECKPARAMETERS("run.par", "screen.txt");
  EXPECT_TRUE(has(c, "run.par", 1, Level::error, "for the console output file")) << describe(c);
  setLine("run.par", 1, "aldmouth.log");

  // A read-only output, then a folder the run may not write in. As root the
  // checker runs as nobody, who may read the files.
  fs::permissions(".", fs::perms::all);
  writeFile("stats.out", "");
  fs::permissions("stats.out", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  for (const auto& e : fs::directory_iterator(".")) {
    if (e.path().filename() != "stats.out") {
      fs::permissions(e.path(), fs::perms::others_read | fs::perms::others_write,
                      fs::perm_options::add);
    }
  }
  fs::permissions(dir_, fs::perms::others_exec, fs::perm_options::add);
  EXPECT_EQ(runChecker({"run.par"}, 65534), 1);
  EXPECT_NE(readFile("out.txt").find("run.par:25: error: the run cannot write stats.out: the file "
                                     "exists and may not be written (read-only)"),
            std::string::npos)
      << readFile("out.txt") << readFile("err.txt");
  fs::permissions(".", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                           fs::perms::others_read | fs::perms::others_exec);
  EXPECT_EQ(runChecker({"run.par"}, 65534), 1);
  EXPECT_NE(readFile("out.txt").find("run.par:1: error: the run cannot write aldmouth.log: the "
                                     "current folder may not be written"),
            std::string::npos)
      << readFile("out.txt") << readFile("err.txt");
}

// Names are bytes: any of them, UTF-8 or not, give valid JSON, and Python's
// surrogateescape gives the bytes back (what vornens does with them).
TEST_F(VorncheckTest, AnyBytesGiveJsonThatReadsBackToTheBytes) {
  std::mt19937 rng(24);
  const std::vector<std::string> pieces = {"a", "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x8c\x8a",
                                           "\xff", "\xc3", "\xe2\x82", "\xed\xa0\x80", "\xc0\xaf",
                                           "\x80", "\"", "\\", "\n", "\x7f", "\xf4\x90\x80\x80"};
  std::string json = "[", hex;
  for (int k = 0; k < 300; ++k) {
    std::string s;
    for (int n = rng() % 6; n > 0; --n) s += pieces[rng() % pieces.size()];
    json += (k ? ", " : "") + vorncheck::jsonString(s);
    for (unsigned char ch : s) {
      char b[3];
      std::snprintf(b, sizeof b, "%02x", ch);
      hex += b;
    }
    hex += "\n";
  }
  writeFile("strings.json", json + "]");
  writeFile("bytes.txt", hex);
  writeFile("check.py",
            "import json, os\n"
            "got = [os.fsencode(s).hex() for s in json.load(open('strings.json', encoding='utf-8'))]\n"
            "assert got == open('bytes.txt').read().split('\\n')[:-1], 'bytes differ'\n");
  EXPECT_EQ(std::system("/usr/bin/python3 check.py > py.txt 2>&1"), 0) << readFile("py.txt");

  // The record walk of a parameter file that names a file by bytes that
  // are not UTF-8.
  copyExample("aldmouth-bank");
  fs::rename("stress.dat", "stress\xff.dat");
  setLine("run.par", 8, "stress\xff.dat");
  EXPECT_EQ(runChecker({"--records", "run.par"}), 0) << readFile("out.txt");
  writeFile("walk.py",
            "import json, os\n"
            "r = json.load(open('out.txt', encoding='utf-8'))['records']\n"
            "assert [os.fsencode(v) for x in r if x['name'] == 'friction' for v in x['values']] "
            "== [b'stress\\xff.dat']\n");
  EXPECT_EQ(std::system("/usr/bin/python3 walk.py > py.txt 2>&1"), 0) << readFile("py.txt");
}
