#pragma once
// A fixture for the forcing routines called on their own: a console, a log
// file and a parameter input on units of their own, every state record
// reset, and the records written read back for comparison.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "rio/units.hpp"
#include "runtime/stop.hpp"
#include "state/reset.hpp"
#include "state/vornio.hpp"
#include "testutil.hpp"

namespace forcingtest {

// The records of a file written with CR LF line ends.
inline std::vector<std::string> records(const std::string& text) {
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

inline std::size_t count(const std::vector<std::string>& recs, const std::string& r) {
  std::size_t n = 0;
  for (const auto& x : recs) n += x == r;
  return n;
}

// A text padded with blanks to n characters, as a name or title is written.
inline std::string padded(const std::string& s, std::size_t n) {
  return s + std::string(n > s.size() ? n - s.size() : 0, ' ');
}

// A time of day in days, written with every digit a double holds.
inline std::string days(double seconds) {
  char b[40];
  std::snprintf(b, sizeof b, "%.17g", seconds / 86400.0);
  return b;
}

class Fixture : public testutil::ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    resetAllState();
  }
  void TearDown() override {
    ScratchDir::TearDown();
    resetAllState();
  }
  // Connects console (11), log (12) and the parameter input (13) holding
  // `input`; files opened by the routines get units from 20 up.
  void open(const std::string& input = "") {
    testutil::writeFile("input.txt", input);
    rio::openUnit(11, "console.txt", rio::FileStatus::unknown);
    rio::openUnit(12, "log.txt", rio::FileStatus::unknown);
    rio::openUnit(13, "input.txt", rio::FileStatus::old);
    VORNIO.outunit = 11;
    VORNIO.logunit = 12;
    VORNIO.inunit = 13;
    VORNIO.nextunit = 20;
  }
  // Flushes console and log and reads their records (units stay open).
  void collect() {
    rio::flushUnit(11);
    rio::flushUnit(12);
    console = records(testutil::readFile("console.txt"));
    log = records(testutil::readFile("log.txt"));
  }
  // Runs f; true when it stopped the run. Console and log are collected.
  template <class F>
  bool stops(F f) {
    bool stopped = false;
    try {
      f();
    } catch (const StopRun&) {
      stopped = true;
    }
    collect();
    return stopped;
  }
  std::vector<std::string> console, log;
};

}  // namespace forcingtest
