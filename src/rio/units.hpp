#pragma once
// Units: the small integers 1..99 by which every file is addressed.
// Unit 5 is standard input and unit 6 standard output; every other unit is
// connected to a file opened by name. Records are written with CR LF line
// ends; on reading, LF ends a record and a CR just before it is dropped.
//
// Every failure here (open of a missing "old" file, read error, end of
// file during a read, failed write) ends the program through ioFailure(),
// unless the caller uses a *Status / try* variant to handle it itself.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "rio/layout.hpp"
#include "rio/listread.hpp"
#include "rio/records.hpp"
#include "rio/text.hpp"

namespace rio {

constexpr int MAXUNIT = 99;
constexpr int STDIN_UNIT = 5;
constexpr int STDOUT_UNIT = 6;
// The longest record read, line end excluded (bytes): far above any record
// of a real file (a few hundred bytes), it stops a file without line ends
// (a device, a binary file) from growing one record without bound. A
// longer record is a read error naming the file and the record.
constexpr std::size_t MAXRECORD = 1 << 20;

enum class FileStatus { old, unknown };

// Connects `unit` to the file `name` (trailing blanks are not part of the
// name). "old": the file must exist. "unknown": created when absent. With
// both, the first write cuts the file off at the position of that write,
// so a file that is written holds only what this run wrote; a file never
// written keeps its contents. A unit already open is closed first.
// `use` says what the run opens the file for ("log file"), for messages.
// A regular file already open on another unit (standard input and output
// included) is refused with an open error when either use writes to it.
void openUnit(int unit, std::string_view name, FileStatus status, std::string_view use = {});
// As openUnit, but returns false instead of ending the run when the file
// cannot be opened (a file shared with another unit still ends the run).
bool tryOpenUnit(int unit, std::string_view name, FileStatus status, std::string_view use = {});

// ---- Inputs are never written ---------------------------------------------
// Every regular file opened "old" is noted as read (its identity, name and
// use) and stays so after its unit is closed, until forgetFilesRead(). A
// file opened "unknown" that is one of them, by identity (through a link
// or another path too) or, in a dry run, by name, is refused with an open
// error naming both uses; the file is not touched.
void forgetFilesRead();
// Whether `path` is a file read so far; `use` gets what it was read as.
// For the programs that write files of their own (the converter).
bool isFileRead(const std::string& path, std::string* use = nullptr);
// While writes are held, the first write on a unit of a regular file
// neither cuts the file nor writes to it: its records wait in the unit's
// buffer. releaseWrites() (or the unit's close) then refuses a unit whose
// file is one the run has read by then, leaving the file as it was, and
// cuts and writes the others. The driver holds writes through start-up, so
// that the log, console and output files, opened before the inputs are
// all known, change no input whatever they are named.
void holdWrites();
void releaseWrites();

// Flushes and disconnects a unit (the standard units are only flushed and
// marked closed; a later transfer reconnects them).
void closeUnit(int unit);
// Flushes and closes every open unit; reports the first failure through
// ioFailure() after all units are closed.
void closeAllUnits();
// Closes every unit, discarding what cannot be written (used while the
// program already ends on an error).
void abandonAllUnits() noexcept;

bool unitIsOpen(int unit);
// "file NAME" or "standard input"/"standard output", for messages.
std::string unitDescription(int unit);
// The name of the file connected to `unit` (empty for the standard units
// and for a unit that is not open).
std::string unitFileName(int unit);

// ---- Dry runs -----------------------------------------------------------
// A dry run walks the program's start-up without touching any file: a unit
// opened "unknown" is connected by name only (no file is created or cut;
// reading it meets the end of the file; the open still fails, as a real one
// would, when the name is empty, names a folder or lies in a folder that
// does not exist), and every record written to any unit, the console
// included, goes to the sink instead (nowhere without one). Files opened
// "old" are read as usual. Units opened during the dry run stay dry until
// they are closed. Used by the tools that read a parameter file with the
// program's own start-up (drystartup.hpp).
using RecordSink = std::function<void(int unit, std::string_view record)>;
void beginDryRun(RecordSink sink = {});
void endDryRun();
bool dryRun();

// ---- Record walks --------------------------------------------------------
// The parameter checker walks a parameter file with the program's own
// reading code and needs to know, for every read, what it read and where.
// A reading call site names the record its next read takes: a stable name
// and the names of its variables (separated by blanks), with an index for
// records that repeat (velocity_file.3) and a group for the records of one
// output kind (map.interval). Naming costs a few stores; nothing else
// happens unless a walker is installed, which only the checker does.
struct RecordLabel {
  const char* group = nullptr;   // "map" in map.interval; null when none
  const char* name = nullptr;    // null for a read nobody named
  const char* fields = nullptr;  // variable names, blank-separated
  int index = 0;                 // > 0: appended as ".index"
};
void nameNextRead(int unit, const char* name, const char* fields, int index = 0,
                  const char* group = nullptr) noexcept;

// One read as the walker sees it. `targets` hold the values as read (the
// variables themselves, before any conversion by the caller); assigned[k]
// tells whether variable k received a value (a null value or a slash
// leaves it unchanged). Text reads have one target and no `assigned`.
struct ReadEvent {
  int unit = 0;
  RecordLabel label;
  long long firstLine = 0;  // first record of the read (1-based)
  long long lastLine = 0;   // last record the read consumed
  const ListTarget* targets = nullptr;
  std::size_t n = 0;
  const bool* assigned = nullptr;
  ReadResult result = ReadResult::ok;
  std::string why;          // what went wrong, on eof or error
  std::string cut;          // a text read: what the record held past the text's length
};

enum class Severity { error, warning };

// The observer of a walk. read() sees every read of every unit; when a read
// of the free-format or text kind fails and read() returns true, the read
// leaves its variables as they were and the program goes on (each read
// starts on a new record, so the next one takes the next record). When an
// open fails, openFailed() hears of it; for a file opened "unknown" in a
// dry run, returning true connects the unit dry all the same and the
// program goes on. problem() brackets the messages of a check of the
// program (Problem below).
class Walker {
 public:
  virtual bool read(const ReadEvent& e) = 0;
  virtual bool openFailed(int unit, std::string_view path, FileStatus status,
                          std::string_view message) = 0;
  virtual void problem(bool begins, Severity severity, const char* record) = 0;

 protected:
  ~Walker() = default;
};
void setWalker(Walker* walker) noexcept;

// Marks the messages of one of the program's own checks: every record
// written while a Problem lives belongs to that check's report. `record`
// names the parameter record the problem is about, when it is one. Without
// a walker it does nothing.
class Problem {
 public:
  explicit Problem(Severity severity = Severity::error, const char* record = nullptr) noexcept;
  ~Problem();
  Problem(const Problem&) = delete;
  Problem& operator=(const Problem&) = delete;

 private:
  Severity severity_;
  const char* record_;
};

// ---- Records ----------------------------------------------------------
// Reads the next record of `unit`; false at the end of the file. The view
// stays valid until the next transfer on the unit.
bool readRecord(int unit, std::string_view& rec);
// Number of records read from the unit since it was opened.
long long recordsRead(int unit);

// Writes one record (a CR LF is added).
void writeRecord(int unit, std::string_view rec);
// Streaming form: pieces appended to the record being built on the unit.
void appendToRecord(int unit, const char* p, std::size_t n);
void endRecord(int unit);
// Writes a text that carries its own line ends (LF), such as the help
// text, as it stands; it counts as whole records.
void writeText(int unit, std::string_view text);
// Records are buffered and go to their file whole: a buffer is written out
// only up to the end of its last complete record, so a file never ends
// inside a record, and a record never ended is dropped at the close.
// Pushes the buffered whole records of the unit to its file.
void flushUnit(int unit);
// The same for every open unit; the driver calls it after start-up and
// after every output step, so that a run killed later keeps them.
void flushAllUnits();

// Record source and sink over a unit, for the layout and list engines.
class UnitIn final : public RecordIn {
 public:
  explicit UnitIn(int unit) : unit_(unit) {}
  bool next(std::string_view& rec) override { return readRecord(unit_, rec); }

 private:
  int unit_;
};

class UnitOut final : public RecordOut {
 public:
  explicit UnitOut(int unit) : unit_(unit) {}
  void record(const char* p, std::size_t n) override {
    writeRecord(unit_, std::string_view(p, n));
  }

 private:
  int unit_;
};

// ---- Free-format read ---------------------------------------------------
inline ListTarget target(std::int32_t& v) { return {ListTarget::Kind::i4, &v, 0}; }
inline ListTarget target(float& v) { return {ListTarget::Kind::r4, &v, 0}; }
inline ListTarget target(double& v) { return {ListTarget::Kind::r8, &v, 0}; }
template <std::size_t N>
ListTarget target(Text<N>& t) {
  return {ListTarget::Kind::text, t.c, N};
}

// One free-format read of n variables; eof and error are returned.
ReadResult listReadStatus(int unit, const ListTarget* t, std::size_t n,
                          std::string* why = nullptr);
// The same, ending the run on a read error or at the end of the file.
void listReadTargets(int unit, const ListTarget* t, std::size_t n);
// Ends the run on the failed free-format read of `unit` (eof or error),
// with the message of listReadTargets.
[[noreturn]] void listReadFailure(int unit, ReadResult r, const std::string& why);

template <class... T>
void listRead(int unit, T&... v) {
  const ListTarget t[] = {target(v)...};
  listReadTargets(unit, t, sizeof...(T));
}
template <class... T>
ReadResult listReadStatusOf(int unit, T&... v) {
  const ListTarget t[] = {target(v)...};
  return listReadStatus(unit, t, sizeof...(T));
}

// Text read with the layout A: the first `len` characters of the next
// record, blank-padded; leading blanks are kept.
ReadResult readTextStatus(int unit, char* dst, std::size_t len);
void readText(int unit, char* dst, std::size_t len);
template <std::size_t N>
void readText(int unit, Text<N>& t) {
  readText(unit, t.c, N);
}
template <std::size_t N>
ReadResult readTextStatus(int unit, Text<N>& t) {
  return readTextStatus(unit, t.c, N);
}

// ---- Free-format write --------------------------------------------------
// Builds free-format records on a unit: a leading blank, items one after
// another (numbers in their fixed fields, text as it stands), a new record
// when an item would take a record holding items past 79 characters.
class ListWriter {
 public:
  explicit ListWriter(int unit) : unit_(unit) {}
  ListWriter(const ListWriter&) = delete;
  ListWriter& operator=(const ListWriter&) = delete;

  ListWriter& operator<<(std::int32_t v);
  ListWriter& operator<<(float v);
  ListWriter& operator<<(double v);
  ListWriter& operator<<(std::string_view text);
  ListWriter& operator<<(const char* text) { return *this << std::string_view(text); }
  template <std::size_t N>
  ListWriter& operator<<(const Text<N>& t) {
    return *this << t.view();
  }
  // Ends the write: the last record (an empty one if nothing was written).
  void end();

 private:
  void item(const char* p, std::size_t n);
  int unit_;
  std::size_t length_ = 0;  // characters in the record being built; 0 before the first item
};

// One free-format write of the items given.
template <class... T>
void listWrite(int unit, const T&... items) {
  ListWriter w(unit);
  ((void)(w << items), ...);
  w.end();
}

// One write with a layout.
template <class... T>
void layoutWrite(int unit, const Layout& layout, const T&... values) {
  UnitOut out(unit);
  LayoutWriter w(layout, out);
  (w.put(values), ...);
  w.end();
}

}  // namespace rio
