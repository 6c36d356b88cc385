#pragma once
// What a check finds: the problems with their file and line, the records
// of the parameter file as the program read them, and a summary of the run.
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
  std::string site;                // the site file checked, and where it puts the run
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

// `s` as a JSON string: quoted, with " and \ escaped, control characters
// as \u00XX, and each byte that is not part of well-formed UTF-8 as the
// lone low surrogate \udcXX (XX the byte), so that any bytes give valid
// JSON and Python's surrogateescape gives the bytes back.
std::string jsonString(std::string_view s);

}  // namespace vorncheck
