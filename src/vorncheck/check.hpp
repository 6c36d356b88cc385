#pragma once
// vorncheck: a parameter file and every file it names, read by the
// program's own start-up code (dry: no file is written), with every problem
// reported at once, and the run's forcing, release and outputs checked
// against each other without running the model.
#include <string>
#include <string_view>
#include <vector>

namespace vorncheck {

enum class Level { error, warning, note };

// One problem: the file and line it is about (line 0: the file as a whole).
struct Finding {
  std::string file;
  long long line = 0;
  Level level = Level::error;
  std::string message;
};

// One value of a record as read: its JSON text (null when the read left the
// variable unchanged) and, for a number, its value.
struct Value {
  std::string json;
  bool number = false;
  double x = 0;
  std::string text;  // a text value, trailing blanks removed
};

// One record of the parameter file as the program's reading code took it.
struct Record {
  std::string name;                 // stable name, e.g. velocity_file.2
  std::string file;
  long long line = 0;               // first line of the read
  long long lastLine = 0;           // last line the read consumed
  std::vector<std::string> fields;  // the program's variable names
  std::vector<Value> values;
};

struct Summary {
  bool timing = false;        // the run's span is known
  double startDay = 0;        // the start of the run (after the program moves it), days
  double endDay = 0;          // the end of its last velocity update, days
  bool packetsKnown = false;
  long long packets = 0;      // packets live at the end of the run
  std::vector<std::string> files;  // the files the run writes
};

struct Check {
  std::string parfile;
  std::vector<Record> records;
  std::vector<Finding> findings;
  Summary summary;

  long long count(Level level) const;
  // 0 without errors or warnings, 1 with errors, 2 with warnings only.
  int exitStatus() const;
};

// Walks the parameter file `parfile` (its name as given; the names in it
// are taken from the current folder, as the program takes them) and checks
// the run it describes. Leaves the program's state reset and no unit open.
Check CHECKPARAMETERS(const std::string& parfile);

// The findings as lines FILE:LINE: error|warning|note: message, then the
// summary; the same as JSON; the record walk as JSON.
std::string textReport(const Check& c);
std::string jsonReport(const Check& c);
std::string recordsJson(const Check& c);

// `s` as a JSON string: quoted, with " and \ escaped and control
// characters as \u00XX.
std::string jsonString(std::string_view s);

}  // namespace vorncheck
