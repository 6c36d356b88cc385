#pragma once
// vorn2nc: the text outputs of a run as one CF-NetCDF file. The run is read
// through the program's own start-up (a dry run of the parameter file) and
// the output files through the program's own record layer.
#include <cstdint>
#include <string>
#include <vector>

namespace vorn2nc {

// Every failure of the conversion: a message naming the file and record.
struct ConvertError {
  std::string message;
};
// Throws ConvertError with "vorn2nc: " and the message.
[[noreturn]] void fail(const std::string& message);

// The output kinds, in the program's order; the first six write records
// over time, the biology kinds once at the end of the run.
enum Kind { kSediment, kVelocity, kStatistics, kPackets, kConcentration, kMap, kBiology,
            kBiologyMap, kKinds };
constexpr int kTimedKinds = kBiology;

// One record due by the output schedule.
struct Step {
  double time = 0;          // exact time the record is stamped with, s (day d is d * 86400 s)
  std::int32_t ktotal = 0;  // packets live at that step
};

// How the run ended, as its log file tells.
enum class RunEnd { clean, early, unknown };

// What the parameter file and the run's log tell about a run. The rest
// (intervals, sampling points, grid, parameters) is in the program's
// state records, filled by the dry start-up.
struct Run {
  std::string parfile;              // the parameter file, as named to the program
  std::string file[kKinds];         // output files (empty: the kind writes none)
  std::vector<Step> due[kTimedKinds];  // the records due, in order
  std::int32_t nvu = 0;             // velocity updates of the run
  RunEnd end = RunEnd::unknown;
  std::string logfile;
  std::string origin;               // date and time of day 0.0, "YYYY-MM-DD hh:mm:ss"
};

// Reads the run whose parameter file is `parfile` (relative to the current
// folder, the run's folder): the program's start-up in a dry run, then its
// output schedule, then the end of its log. Fails when start-up fails.
Run readRun(const std::string& parfile);

// Progress on the standard error stream, shown only on a terminal.
void progress(const std::string& line);
void progressDone();

}  // namespace vorn2nc
