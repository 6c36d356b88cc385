#pragma once
// What the checks after start-up share: how far start-up went, the times
// of the run and the rows of its series.
#include <cstdint>
#include <string>
#include <vector>

#include "vorncheck/walk.hpp"

namespace vorncheck {

// One row of a series file: its line, time (s) and first three values.
struct Row {
  long long line = 0;
  double t = 0;
  float a = 0;
  float b = 0;
  float c = 0;
};

// The friction triple at one velocity update of the run, from the drag law
// or the stress series: u*, u*c (m/s), zw (m); the day (s) it holds for.
struct Friction {
  double t = 0;
  float ustar = 0;
  float ustarc = 0;
  float zw = 0;
};

struct Series {
  std::string file;
  std::int32_t year = 0;  // the year of its header: its days count from 1 January of it
  long long yearLine = 0;
  bool read = false;      // the preamble was read and the rows up to the end of the file
  std::vector<Row> rows;
  std::size_t start = 0;  // the row the run starts on
  bool started = false;   // such a row exists
};

struct Context {
  Context(Walk& w, Check& c) : walk(w), check(c) {}

  Walk& walk;
  Check& check;
  std::int32_t nvu = 0;
  bool paramsRead = false;   // the 13 records of the run parameters were read
  bool timingOk = false;     // the timing gives time steps
  bool releaseOk = false;    // the release was set up
  bool gridOk = false;       // a usable node grid
  bool namesRead = false;    // every velocity file name was read
  bool velocityOk = false;   // the velocity series were opened and the start moved
  bool frictionOk = false;   // the friction at the start was found
  bool outputsRead = false;  // the output set-up went through
  double time0Asked = 0;     // the start as the parameter file gives it, s
  std::vector<Series> velocity;  // bottom up
  Series stress;
  double ustarMax = 0;       // the largest friction velocity of the run, m/s
  double ustarMaxDay = 0;
  std::vector<Friction> friction;  // at every velocity update the run reads
  // The year of each series file's header, with its file and line: the
  // days of every file count from 1 January of it.
  struct Year {
    std::string file;
    long long line;
    std::int32_t year;
  };
  std::vector<Year> years;
  long long finalPackets = -1;   // packets live at the end of the replayed run
  bool replayed = false;         // the steps were replayed to the end of the run
  long long due[6] = {};         // records due over the run: sediment, velocity, statistics,
                                 // packets, concentration, map
};

// The velocity and stress series read whole: their coverage of the run,
// their rows on the run's clock, spacing, order and step with each other,
// their years, speeds that are likely fill values. Also the largest
// friction velocity of the run.
void checkSeries(Context& c);
// The release replayed over the run's steps; the discharge series.
void checkRelease(Context& c);
// The outputs: intervals, layers, maps, what each writes.
void checkOutputs(Context& c);
// Legal but suspicious values.
void checkSuspicious(Context& c);
// What the run would fail on after start-up: the shuffling method, the
// exchanges per step, profile tables that are not numbers, the files it
// writes (the progress file, folders and files it may not write).
void checkRunFailures(Context& c);

// A number as a finding shows it: up to `digits` significant digits.
std::string num(double x, int digits = 6);
// A day of the run's time base.
std::string day(double seconds);
// A unit that no file uses, for the checker's own reads.
int freeUnit();

}  // namespace vorncheck
