#pragma once
// Shared helpers for the tests: a scratch folder per test, file contents,
// and running the built program.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "rio/units.hpp"

namespace testutil {

inline std::string dataPath(const std::string& name) { return std::string(VORN_TEST_DATA) + "/" + name; }

inline std::string readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

inline void writeFile(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary);
  f << text;
}

// Each test runs in a fresh folder of its own, which is removed after it;
// units left open by a test (for instance by a stop) are closed, and the
// files an earlier test read are forgotten (their inodes may come again).
class ScratchDir : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = std::filesystem::current_path();
    char tmpl[] = "/tmp/vorn-test-XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    std::filesystem::current_path(dir_);
    rio::forgetFilesRead();
  }
  void TearDown() override {
    rio::abandonAllUnits();
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(dir_);
  }
  std::string dir_;
  std::filesystem::path old_;
};

// Waits up to `limit` for the child `pid` to end and returns its wait
// status; a child still there then is killed, and false is returned.
inline bool waitWithin(pid_t pid, std::chrono::seconds limit, int& status) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > until) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

struct ProgramResult {
  int status = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs the built program in the current folder with the given arguments and
// standard input taken from the file `stdinFile` (or /dev/null).
inline ProgramResult runBinary(const std::vector<std::string>& args,
                               const std::string& stdinFile = "/dev/null") {
  std::string cmd = std::string("'") + VORN_BINARY + "'";
  for (const auto& a : args) cmd += " '" + a + "'";
  cmd += " < '" + stdinFile + "' > prog.stdout 2> prog.stderr";
  ProgramResult r;
  int rc = std::system(cmd.c_str());
  r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  r.out = readFile("prog.stdout");
  r.err = readFile("prog.stderr");
  return r;
}

}  // namespace testutil
