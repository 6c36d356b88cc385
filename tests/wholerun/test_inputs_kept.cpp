// A run never changes what it reads, whatever its outputs, log and console
// are named; and an input that never ends (a FIFO, a device) does not hold
// a run past a signal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "testutil.hpp"

namespace fs = std::filesystem;
using testutil::readFile;
using testutil::writeFile;

namespace {

void copyExample(const std::string& name) {
  const fs::path example = fs::path(VORN_SOURCE_DIR) / "examples" / name;
  for (const auto& e : fs::directory_iterator(example)) {
    if (e.is_regular_file()) fs::copy_file(e.path(), e.path().filename());
  }
}

// Replaces line n (1-based) of the parameter file.
void setParLine(std::size_t n, const std::string& text) {
  const std::string par = readFile("run.par");
  std::size_t at = 0;
  for (std::size_t k = 1; k < n; ++k) at = par.find('\n', at) + 1;
  writeFile("run.par", par.substr(0, at) + text + par.substr(par.find('\n', at)));
}

// The contents of every input of the example folder.
std::map<std::string, std::string> inputs() {
  std::map<std::string, std::string> m;
  for (const auto& e : fs::directory_iterator(".")) {
    const std::string n = e.path().filename().string();
    if (n == "run.par" || n.ends_with(".dat")) m[n] = readFile(n);
  }
  return m;
}

class InputsKept : public testutil::ScratchDir {};

}  // namespace

TEST_F(InputsKept, NoInputIsWrittenWhateverTheOutputsLogAndConsoleAreNamed) {
  struct Case {
    const char* what;
    const char* example;
    std::size_t line;      // the parameter line renamed (0: none)
    const char* name;      // its new name
    const char* console;   // the console file
    const char* says;      // in the message on the standard error stream
  };
  const std::vector<Case> cases = {
      {"an output named like a node file", "aldmouth-bank", 25, "lognodes.dat", "screen.txt",
       "for the statistics output: it is a file the run reads (the node file)"},
      {"an output through a link to a node file", "aldmouth-bank", 25, "link.dat", "screen.txt",
       "it is a file the run reads (the node file \"intnodes.dat\")"},
      {"an output named like the dumps", "skerne-dredging", 20, "dumps.dat", "screen.txt",
       "for the sediment parameter output: it is already open on unit 7 for the discharge file"},
      {"the log named like the stress file", "aldmouth-bank", 1, "stress.dat", "screen.txt",
       "already open on unit 4 for the log file"},
      {"the log named like a velocity file", "aldmouth-bank", 1, "vel_06m.dat", "screen.txt",
       "already open on unit 4 for the log file"},
      {"the console named like a velocity file", "aldmouth-bank", 0, "", "vel_01m.dat",
       "for the console output file"},
      {"the console named like the stress file", "skerne-dredging", 0, "", "stress.dat",
       "for the console output file"},
  };
  const fs::path top = fs::current_path();
  int n = 0;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const fs::path dir = top / ("case" + std::to_string(n++));
    fs::create_directory(dir);
    fs::current_path(dir);
    copyExample(k.example);
    ::symlink("intnodes.dat", "link.dat");
    if (k.line > 0) setParLine(k.line, k.name);
    const auto before = inputs();
    const testutil::ProgramResult r = testutil::runBinary({"run.par", k.console});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(k.says), std::string::npos) << r.err;
    EXPECT_EQ(inputs(), before) << "an input was changed";
    fs::current_path(top);
  }
}

TEST_F(InputsKept, AFifoOrADeviceAsAnInputHoldsNoRunPastASignal) {
  copyExample("aldmouth-bank");
  // A FIFO nobody writes as the stress file. SIGTERM ends the run whether
  // it comes while the run waits in the open, or earlier in start-up
  // (sent before the program starts, held blocked until its handler is
  // in place), when the run must not go on to wait in the open at all.
  fs::remove("stress.dat");
  ASSERT_EQ(::mkfifo("stress.dat", 0644), 0);
  for (const bool early : {false, true}) {
    SCOPED_TRACE(early ? "a signal during start-up" : "a signal during the open");
    fs::remove("screen.txt");
    const pid_t pid = ::fork();
    if (pid == 0) {
      for (int s : {SIGINT, SIGTERM, SIGHUP}) ::signal(s, SIG_DFL);
      if (early) {
        sigset_t term;
        sigemptyset(&term);
        sigaddset(&term, SIGTERM);
        ::sigprocmask(SIG_BLOCK, &term, nullptr);
        ::raise(SIGTERM);
      }
      ::execl(VORN_BINARY, VORN_BINARY, "run.par", "screen.txt", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    if (!early) {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      ::kill(pid, SIGTERM);
    }
    int status = 0;
    ASSERT_TRUE(testutil::waitWithin(pid, std::chrono::seconds(10), status))
        << "the run went on waiting for the FIFO after SIGTERM";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
    const std::string screen = readFile("screen.txt");
    EXPECT_NE(screen.find(" Run interrupted by signal 15\r\n"), std::string::npos) << screen;
  }

  // A device that never ends a line: the record bound ends the run.
  fs::remove("stress.dat");
  fs::create_symlink("/dev/zero", "stress.dat");
  const auto started = std::chrono::steady_clock::now();
  const testutil::ProgramResult r = testutil::runBinary({"run.par", "screen.txt"});
  EXPECT_EQ(r.status, 2);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
  EXPECT_NE(readFile("screen.txt").find(" Fatal Error readingstress.dat"), std::string::npos);
}
