#pragma once
// The checker's side of the record walk: what it has seen of the reads and
// opens of the program's code, the messages of the program's own checks,
// and the findings so far. One Walk per check.
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "rio/units.hpp"
#include "runtime/stop.hpp"
#include "vorncheck/findings.hpp"

namespace vorncheck {

class Walk final : public rio::Walker {
 public:
  explicit Walk(Check& c) : check_(c) {}

  // rio::Walker
  bool read(const rio::ReadEvent& e) override;
  bool openFailed(int unit, std::string_view path, rio::FileStatus status,
                  std::string_view message) override;
  void problem(bool begins, rio::Severity severity, const char* record) override;

  // Every record written to a unit during the check (the dry run's sink).
  void written(int unit, std::string_view rec);

  // The stages of start-up: runs `f`, turning a stop or an input or output
  // error into findings. Returns true when `f` went through.
  template <class F>
  bool stage(F&& f) {
    beginStage();
    try {
      f();
      return true;
    } catch (const StopRun&) {
      stopped();
    } catch (const IoFailure& e) {
      ioFailed(e.message);
    }
    return false;
  }

  void add(Level level, const std::string& file, long long line, std::string message);
  // A finding about the parameter record `name` (its first occurrence); on
  // the file as a whole when the walk did not reach it.
  void addAt(Level level, const std::string& record, std::string message);
  const Record* record(const std::string& name) const;
  long long lineOf(const std::string& record) const;
  // The parameter line that named the file `path`, or 0.
  long long lineNaming(const std::string& path) const;
  // The last line of the parameter file the walk has read.
  long long lastParameterLine() const;

  int inunit = 0;               // the parameter file's unit
  bool parameterEnd = false;    // the parameter file ended before a record the program reads
  std::set<std::string> filesReported;  // files already reported missing or unreadable

  // The latest read of a unit other than the parameter file: its file and
  // line, and how it ended.
  std::string lastFile;
  long long lastLine = 0;
  rio::ReadResult lastResult = rio::ReadResult::ok;

  const std::string& parfile() const { return check_.parfile; }

 private:
  void beginStage();
  void stopped();
  void ioFailed(const std::string& message);
  std::string fileOf(int unit) const;

  Check& check_;
  int depth_ = 0;                    // Problems alive
  rio::Severity severity_ = rio::Severity::error;
  const char* problemRecord_ = nullptr;
  std::string problemFile_;
  long long problemLine_ = 0;
  std::vector<std::string> problemLines_;
  std::vector<std::string> sinceRead_;  // console and log records since the latest read
  bool problemInStage_ = false;         // a Problem reported during the current stage
  std::string openFile_;                // the file of the latest failed open
  bool endReported_ = false;
};

// The program's message lines as one finding text: each line trimmed, runs
// of blanks before a number made one, repeated lines (the console and the
// log say the same) left out, joined by "; ".
std::string joinMessage(const std::vector<std::string>& lines);

}  // namespace vorncheck
