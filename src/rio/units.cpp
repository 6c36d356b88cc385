// The unit table: files opened by name, records read and written.
#include "rio/units.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "rio/numfmt.hpp"
#include "rio/statusline.hpp"
#include "runtime/signals.hpp"
#include "runtime/stop.hpp"

namespace rio {
namespace {

constexpr std::size_t kReadBuffer = 1 << 16;
constexpr std::size_t kWriteBuffer = 1 << 16;
static_assert(MAXRECORD >= kReadBuffer, "a record may fill the read buffer");

struct Unit {
  bool open = false;
  bool standard = false;   // bound to the process's standard input or output
  bool failed = false;     // a write failed: the buffer is discarded
  int fd = -1;
  bool fdWritable = false;
  std::string name;
  std::string use;             // what the run opened the file for, for messages
  FileStatus status = FileStatus::unknown;
  // The file's identity, for a regular file: no two units may have one
  // file open when either of them writes to it.
  bool regular = false;
  dev_t dev = 0;
  ino_t ino = 0;
  // Reading.
  std::unique_ptr<char[]> rbuf;
  std::size_t rpos = 0, rlen = 0;
  bool atEnd = false;          // the file has no more bytes
  std::string longRecord;      // a record that spans buffer refills
  long long offset = 0;        // file offset of the logical position
  long long records = 0;       // records read
  // Writing. The buffer goes to the file only up to the end of its last
  // whole record, so that a file never ends inside a record.
  bool writing = false;        // the first write happened (file cut there)
  bool cutHeld = false;        // writes are held: the file is neither cut nor written yet
  std::unique_ptr<char[]> wbuf;
  std::size_t wcap = 0;        // size of wbuf
  std::size_t wlen = 0;        // bytes in wbuf
  std::size_t whole = 0;       // bytes of wbuf in whole records; the rest is the record being built
  // Dry runs.
  bool dry = false;            // opened "unknown" in a dry run: no file behind it
  std::string pending;         // the record being built, for the sink
};

Unit table[MAXUNIT + 1];

bool dryMode = false;
RecordSink drySink;

// The files the run has read (opened "old"), kept after they are closed:
// no unit may write to one of them.
struct FileRead {
  dev_t dev;
  ino_t ino;
  std::string path;
  std::string use;
};
std::vector<FileRead> filesRead;

// Writes held (start-up): the first write on a unit of a regular file
// neither cuts the file nor writes to it.
bool holding = false;

// Why the last open refused a file, when errno cannot say it.
std::string openRefusal;

// Record walks (the checker): the observer, and the label of the next read.
Walker* walker = nullptr;
int labelUnit = 0;
RecordLabel label;

// The label of the next read on `unit`, taken (a read of another unit in
// between leaves it waiting).
RecordLabel takeLabel(int unit) {
  if (labelUnit != unit) return {};
  labelUnit = 0;
  return label;
}

// Records of a dry unit, and every record written during a dry run, go to
// the sink instead of a file.
bool writesDry(const Unit& u) { return dryMode || u.dry; }

void handToSink(int unit, Unit& u) {
  if (drySink) drySink(unit, u.pending);
  u.pending.clear();
}

std::string describe(int unit, const Unit& u) {
  std::string s = "unit " + std::to_string(unit);
  if (u.standard) {
    s += unit == STDIN_UNIT ? " (standard input)" : " (standard output)";
  } else if (!u.name.empty()) {
    s += " (file \"" + u.name + "\")";
  }
  return s;
}

Unit& unitRef(int unit, const char* operation) {
  if (unit < 1 || unit > MAXUNIT) {
    ioFailure(std::string("vornv7: ") + operation + " on unit " + std::to_string(unit) +
              ": unit numbers run from 1 to 99");
  }
  Unit& u = table[unit];
  if (!u.open && (unit == STDIN_UNIT || unit == STDOUT_UNIT)) {
    // The standard units are always available, also after being closed.
    u.open = true;
    u.standard = true;
    u.fd = unit == STDIN_UNIT ? 0 : 1;
    u.fdWritable = unit == STDOUT_UNIT;
    u.writing = unit == STDOUT_UNIT;
    u.name.clear();
  }
  if (!u.open) {
    ioFailure(std::string("vornv7: ") + operation + " on unit " + std::to_string(unit) +
              ", which is not connected to a file");
  }
  return u;
}

std::string trimName(std::string_view name) {
  std::size_t n = name.size();
  while (n > 0 && (name[n - 1] == ' ' || name[n - 1] == '\0')) --n;
  return std::string(name.substr(0, n));
}

// Writes every byte or reports why not (errno); `written` counts the bytes
// that reached the file.
bool writeAll(int fd, const char* p, std::size_t n, std::size_t& written) {
  written = 0;
  if (fd == 1) statusLineBeforeStdout();
  while (n > 0) {
    ssize_t k = ::write(fd, p, n);
    if (k < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += k;
    n -= static_cast<std::size_t>(k);
    written += static_cast<std::size_t>(k);
  }
  return true;
}

// Before a wait that only a signal could end (the open of a FIFO, a read):
// the action of an interrupted wait when a signal has asked the run to end.
void endIfSignalled() {
  collectEndSignals();
  if (pendingSignal() != 0) interruptedWait();
}

// open(2), tried again when a signal interrupts it (an open of a FIFO
// waits for a writer): the signal may ask the run to end. A signal that
// came before the open of a FIFO, after the last look at the flag, would
// interrupt nothing and leave the run waiting: the flag is looked at just
// before such an open too.
int openFile(const char* path, int flags, mode_t mode = 0) {
  struct stat st {};
  if (::stat(path, &st) == 0 && S_ISFIFO(st.st_mode)) endIfSignalled();
  for (;;) {
    int fd = ::open(path, flags, mode);
    if (fd >= 0 || errno != EINTR) return fd;
    interruptedWait();
  }
}

// A write that failed part way (a full disk, the file size limit) left the
// file ending inside a record: it is cut back to the end of the last whole
// record that reached it. Nothing to do on a pipe or a terminal.
void keepWholeRecords(int fd, const char* chunk, std::size_t written) {
  if (written == 0) return;
  const off_t end = ::lseek(fd, 0, SEEK_CUR);
  if (end < 0) return;
  std::size_t keep = written;
  while (keep > 0 && chunk[keep - 1] != '\n') --keep;
  if (::ftruncate(fd, end - static_cast<off_t>(written - keep)) != 0) {
    // Nothing more can be done: the write error is reported all the same.
  }
}

// Writes the whole records of the buffer to the file; the record being
// built stays in the buffer, moved to its start. After a failed write the
// unit discards everything.
void flushBuffer(int unit, Unit& u) {
  if (u.failed) {
    u.wlen = u.whole = 0;
    return;
  }
  if (u.cutHeld) return;  // the records wait in the buffer, which grows
  const std::size_t n = u.whole;
  if (n == 0) return;
  std::size_t written = 0;
  if (!writeAll(u.fd, u.wbuf.get(), n, written)) {
    int err = errno;
    keepWholeRecords(u.fd, u.wbuf.get(), written);
    u.failed = true;
    u.wlen = u.whole = 0;
    ioFailure("vornv7: write error on " + describe(unit, u) + ": " + std::strerror(err));
  }
  std::memmove(u.wbuf.get(), u.wbuf.get() + n, u.wlen - n);
  u.wlen -= n;
  u.whole = 0;
}

// The file the run read as `dev`, `ino`, or null.
const FileRead* fileReadAs(dev_t dev, ino_t ino) {
  for (const FileRead& f : filesRead) {
    if (f.dev == dev && f.ino == ino) return &f;
  }
  return nullptr;
}

// " for the log file" when the use is known.
std::string forUse(std::string_view use);

// "it is a file the run reads (the node file)", with the name it was read
// by when `path` is another.
std::string readByTheRun(const FileRead& f, const std::string& path) {
  std::string what = f.use.empty() ? std::string("file") : f.use;
  if (f.path != path) what += " \"" + f.path + "\"";
  return "it is a file the run reads (the " + what + ")";
}

// An output open of a file the run reads: the message naming both uses, or
// empty. Known by identity (a link or another path to it included) and, in
// a dry run, by name too.
std::string readFileClash(int unit, const std::string& path, std::string_view use,
                          const struct stat* st) {
  const FileRead* f = st != nullptr && S_ISREG(st->st_mode) ? fileReadAs(st->st_dev, st->st_ino)
                                                            : nullptr;
  for (std::size_t k = 0; f == nullptr && dryMode && k < filesRead.size(); ++k) {
    if (filesRead[k].path == path) f = &filesRead[k];
  }
  if (f == nullptr) return {};
  return "vornv7: cannot open file \"" + path + "\" on unit " + std::to_string(unit) +
         forUse(use) + ": " + readByTheRun(*f, path);
}

// Cuts the file off at the logical position (the start when nothing was
// read), ready for the unit's first write.
void cutForWriting(int unit, Unit& u) {
  if (!u.fdWritable) {
    int fd = openFile(u.name.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
      int err = errno;
      ioFailure("vornv7: write error on " + describe(unit, u) + ": " + std::strerror(err));
    }
    ::close(u.fd);
    u.fd = fd;
    u.fdWritable = true;
  }
  if (::ftruncate(u.fd, u.offset) != 0 && errno != EINVAL) {
    int err = errno;
    ioFailure("vornv7: write error on " + describe(unit, u) + ": " + std::strerror(err));
  }
  if (::lseek(u.fd, u.offset, SEEK_SET) < 0 && errno != ESPIPE) {
    int err = errno;
    ioFailure("vornv7: write error on " + describe(unit, u) + ": " + std::strerror(err));
  }
  u.writing = true;
  u.rpos = u.rlen = 0;
  u.atEnd = true;  // reading after writing meets the end of the file
}

// The first write on a unit opened by name cuts the file, unless writes
// are held: then a regular file is left as it is until its unit is
// released.
void beginWriting(int unit, Unit& u) {
  if (u.writing) return;
  if (holding && u.regular) {
    u.writing = true;
    u.cutHeld = true;
    u.rpos = u.rlen = 0;
    u.atEnd = true;
    return;
  }
  cutForWriting(unit, u);
}

// A unit whose writes were held: refused when its file is one the run
// reads (its records are dropped and the file stays as it was), cut and
// written otherwise.
void releaseHeld(int unit, Unit& u) {
  if (!u.cutHeld) return;
  u.cutHeld = false;
  const FileRead* f = u.regular ? fileReadAs(u.dev, u.ino) : nullptr;
  if (f != nullptr) {
    u.failed = true;
    u.wlen = u.whole = 0;
    ioFailure("vornv7: cannot write file \"" + u.name + "\" on unit " + std::to_string(unit) +
              forUse(u.use) + ": " + readByTheRun(*f, u.name));
  }
  cutForWriting(unit, u);
}

// Appends to the record being built. When the buffer is full, its whole
// records go to the file; a record longer than the buffer grows it.
void put(int unit, Unit& u, const char* p, std::size_t n) {
  if (!u.wbuf) {
    u.wbuf = std::make_unique<char[]>(kWriteBuffer);
    u.wcap = kWriteBuffer;
  }
  if (n == 0) return;  // an empty piece may come with a null pointer (empty record)
  if (u.wlen + n > u.wcap) {
    flushBuffer(unit, u);
    if (u.wlen + n > u.wcap) {
      std::size_t cap = 2 * u.wcap;
      while (cap < u.wlen + n) cap *= 2;
      auto grown = std::make_unique<char[]>(cap);
      std::memcpy(grown.get(), u.wbuf.get(), u.wlen);
      u.wbuf = std::move(grown);
      u.wcap = cap;
    }
  }
  std::memcpy(u.wbuf.get() + u.wlen, p, n);
  u.wlen += n;
}

// Ends the record being built: it is whole from here on.
void endOfRecord(int unit, Unit& u) {
  put(unit, u, "\r\n", 2);
  u.whole = u.wlen;
  if (u.standard) flushBuffer(unit, u);
}

Unit& writableUnit(int unit) {
  Unit& u = unitRef(unit, "write");
  if (u.standard && unit == STDIN_UNIT) {
    ioFailure("vornv7: write on unit 5 (standard input)");
  }
  if (!writesDry(u)) beginWriting(unit, u);
  return u;
}

// The console must show everything written before the program waits for
// a person typing at standard input.
void flushConsole() {
  for (int k = 1; k <= MAXUNIT; ++k) {
    Unit& u = table[k];
    if (u.open && u.writing && u.whole > 0 && (u.standard || ::isatty(u.fd))) {
      flushBuffer(k, u);
    }
  }
}

// Refills the read buffer; false at the end of the file.
bool refill(int unit, Unit& u) {
  if (u.atEnd) return false;
  if (!u.rbuf) u.rbuf = std::make_unique<char[]>(kReadBuffer);
  if (u.standard) flushConsole();
  // A long read (a device that never ends) still ends when a signal asks.
  endIfSignalled();
  for (;;) {
    ssize_t k = ::read(u.fd, u.rbuf.get(), kReadBuffer);
    if (k < 0) {
      if (errno == EINTR) {
        // A signal while the run waits for input: it may ask the run to end.
        interruptedWait();
        continue;
      }
      int err = errno;
      ioFailure("vornv7: read error on " + describe(unit, u) + ": " + std::strerror(err));
    }
    u.rpos = 0;
    u.rlen = static_cast<std::size_t>(k);
    if (k == 0) {
      u.atEnd = true;
      return false;
    }
    return true;
  }
}

// A record never ended (a write cut short by an error) is dropped.
void closeOne(int unit, Unit& u) {
  if (!u.pending.empty()) handToSink(unit, u);  // a dry record left unfinished
  releaseHeld(unit, u);
  flushBuffer(unit, u);  // may report a failure; the unit is closed by the caller then
}

void disconnect(Unit& u) {
  if (u.fd > 2) ::close(u.fd);
  Unit fresh;
  // Buffers are kept for the next file on this unit.
  fresh.rbuf = std::move(u.rbuf);
  fresh.wbuf = std::move(u.wbuf);
  fresh.wcap = u.wcap;
  u = std::move(fresh);
}

std::string forUse(std::string_view use) {
  std::string t = trimName(use);
  return t.empty() ? std::string() : " for the " + t;
}

// Two uses of one regular file clash when either of them writes to it: the
// records of both would be mixed and cut off. Ends the run with an open
// error naming the file and both uses. The standard input and output count
// as units 5 and 6 when the shell has connected them to a file.
std::string sharedFileClash(int unit, const std::string& path, FileStatus status, std::string_view use,
                      const struct stat& st) {
  if (!S_ISREG(st.st_mode)) return {};  // /dev/null and the like may be shared
  for (int k = 1; k <= MAXUNIT; ++k) {
    if (k == unit) continue;
    const Unit& o = table[k];
    bool same = false;
    bool otherWrites = false;
    std::string otherUse;
    if (o.open && !o.standard) {
      same = o.regular && o.dev == st.st_dev && o.ino == st.st_ino;
      otherWrites = o.status == FileStatus::unknown || o.writing;
      otherUse = forUse(o.use);
    } else if (k == STDIN_UNIT || k == STDOUT_UNIT) {
      struct stat sst;
      const int fd = k == STDIN_UNIT ? 0 : 1;
      same = ::fstat(fd, &sst) == 0 && S_ISREG(sst.st_mode) && sst.st_dev == st.st_dev &&
             sst.st_ino == st.st_ino;
      otherWrites = k == STDOUT_UNIT;
      otherUse = k == STDIN_UNIT ? " (standard input)" : " (standard output)";
    }
    if (!same || (status != FileStatus::unknown && !otherWrites)) continue;
    return "vornv7: cannot open file \"" + path + "\" on unit " + std::to_string(unit) +
           forUse(use) + ": it is already open on unit " + std::to_string(k) + otherUse;
  }
  return {};
}

// The same file name on another unit opened dry, for a file that does
// not exist yet (a dry open creates nothing, so it has no identity).
std::string sharedNameClash(int unit, const std::string& path, std::string_view use) {
  for (int k = 1; k <= MAXUNIT; ++k) {
    const Unit& o = table[k];
    if (k == unit || !o.open || !o.dry || o.regular || o.name != path) continue;
    return "vornv7: cannot open file \"" + path + "\" on unit " + std::to_string(unit) +
           forUse(use) + ": it is already open on unit " + std::to_string(k) + forUse(o.use);
  }
  return {};
}

// Connects a unit to an open file (fd -1: to none, in a dry run). `st` is
// the file's status when known (a regular file is then known by identity).
void connectUnit(Unit& u, int fd, bool writable, const std::string& path, FileStatus status,
                 std::string_view use, const struct stat* st, bool dry) {
  u.open = true;
  u.standard = false;
  u.failed = false;
  u.dry = dry;
  u.fd = fd;
  u.fdWritable = writable;
  u.name = path;
  u.use = trimName(use);
  u.status = status;
  u.regular = st != nullptr && S_ISREG(st->st_mode);
  u.dev = st != nullptr ? st->st_dev : 0;
  u.ino = st != nullptr ? st->st_ino : 0;
  u.rpos = u.rlen = 0;
  u.atEnd = dry;  // reading a dry unit meets the end of the file at once
  u.offset = 0;
  u.records = 0;
  u.writing = false;
  u.wlen = u.whole = 0;
  u.pending.clear();
}

// A dry open with status "unknown": the checks a real open makes (the
// file's folder, a folder in its place, a file in use elsewhere), no file.
bool openDry(int unit, const std::string& path, FileStatus status, std::string_view use) {
  struct stat st {};
  const bool exists = ::stat(path.c_str(), &st) == 0;
  std::string clash;
  if (exists) {
    if (S_ISDIR(st.st_mode)) {
      errno = EISDIR;
      return false;
    }
    clash = sharedFileClash(unit, path, status, use, st);
    if (clash.empty()) clash = readFileClash(unit, path, use, &st);
  } else {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    struct stat fst {};
    if (::stat(folder.c_str(), &fst) != 0 || !S_ISDIR(fst.st_mode)) {
      errno = ENOENT;
      return false;
    }
    clash = sharedNameClash(unit, path, use);
    if (clash.empty()) clash = readFileClash(unit, path, use, nullptr);
  }
  if (!clash.empty()) {
    // A walk may go on with the unit connected by name alone.
    if (!walker || !walker->openFailed(unit, path, status, clash)) ioFailure(clash);
    connectUnit(table[unit], -1, false, path, status, use, nullptr, true);
    return true;
  }
  connectUnit(table[unit], -1, false, path, status, use, exists ? &st : nullptr, true);
  return true;
}

}  // namespace

// ---- Opening and closing ----------------------------------------------

bool tryOpenUnit(int unit, std::string_view name, FileStatus status, std::string_view use) {
  if (unit < 1 || unit > MAXUNIT) {
    ioFailure("vornv7: open of unit " + std::to_string(unit) + ": unit numbers run from 1 to 99");
  }
  if (table[unit].open) closeUnit(unit);
  std::string path = trimName(name);
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  if (dryMode && status == FileStatus::unknown) return openDry(unit, path, status, use);
  openRefusal.clear();
  if (dryMode) {
    // A check reads regular files only: a FIFO would block it and a device
    // may never end.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
      openRefusal = std::string("it is not a regular file (") +
                    (S_ISFIFO(st.st_mode) ? "a FIFO" : S_ISCHR(st.st_mode) ? "a character device"
                     : S_ISSOCK(st.st_mode) ? "a socket" : "a device") +
                    "), and a check reads regular files only";
      errno = EINVAL;
      return false;
    }
  }
  int fd = -1;
  bool writable = false;
  if (status == FileStatus::old) {
    fd = openFile(path.c_str(), O_RDONLY | O_CLOEXEC);
  } else {
    fd = openFile(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    writable = fd >= 0;
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EISDIR)) {
      int keep = errno;
      fd = openFile(path.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) errno = keep;
    }
  }
  if (fd < 0) return false;
  struct stat st {};
  const bool known = ::fstat(fd, &st) == 0;
  if (known && S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    return false;
  }
  if (known && status == FileStatus::old && S_ISREG(st.st_mode) &&
      fileReadAs(st.st_dev, st.st_ino) == nullptr) {
    filesRead.push_back({st.st_dev, st.st_ino, path, trimName(use)});
  }
  if (known) {
    std::string clash = sharedFileClash(unit, path, status, use, st);
    if (clash.empty() && status == FileStatus::unknown) clash = readFileClash(unit, path, use, &st);
    if (!clash.empty()) {
      ::close(fd);
      ioFailure(std::move(clash));
    }
  }
  connectUnit(table[unit], fd, writable, path, status, use, known ? &st : nullptr, false);
  return true;
}

void openUnit(int unit, std::string_view name, FileStatus status, std::string_view use) {
  if (!tryOpenUnit(unit, name, status, use)) {
    int err = errno;
    std::string path = trimName(name);
    std::string message = "vornv7: cannot open file \"" + path + "\" (status " +
                          (status == FileStatus::old ? "old" : "unknown") + ") on unit " +
                          std::to_string(unit) + ": " +
                          (openRefusal.empty() ? std::string(std::strerror(err)) : openRefusal);
    // A walk may go on past a file the run would write, connected by name.
    const bool goOn = walker && walker->openFailed(unit, path, status, message);
    if (!goOn || !dryMode || status != FileStatus::unknown) ioFailure(std::move(message));
    connectUnit(table[unit], -1, false, path, status, use, nullptr, true);
  }
}

void closeUnit(int unit) {
  if (unit < 1 || unit > MAXUNIT || !table[unit].open) return;
  Unit& u = table[unit];
  struct Closer {
    Unit& u;
    ~Closer() { disconnect(u); }
  } closer{u};
  closeOne(unit, u);
}

void closeAllUnits() {
  holding = false;  // the run ends: what it held is written (or refused) now
  std::string first;
  for (int k = 1; k <= MAXUNIT; ++k) {
    if (!table[k].open) continue;
    try {
      closeUnit(k);
    } catch (const IoFailure& e) {
      if (first.empty()) first = e.message;
    }
  }
  if (!first.empty()) ioFailure(first);
}

void abandonAllUnits() noexcept {
  holding = false;
  for (int k = 1; k <= MAXUNIT; ++k) {
    if (!table[k].open) continue;
    try {
      closeUnit(k);
    } catch (...) {
    }
  }
}

bool unitIsOpen(int unit) { return unit >= 1 && unit <= MAXUNIT && table[unit].open; }

std::string unitDescription(int unit) {
  if (unit < 1 || unit > MAXUNIT) return "unit " + std::to_string(unit);
  return describe(unit, table[unit]);
}

// ---- Records --------------------------------------------------------------

bool readRecord(int unit, std::string_view& rec) {
  Unit& u = unitRef(unit, "read");
  if (u.writing && !u.standard) return false;
  bool partial = false;
  for (;;) {
    if (u.rpos < u.rlen) {
      const char* start = u.rbuf.get() + u.rpos;
      std::size_t avail = u.rlen - u.rpos;
      const char* nl = static_cast<const char*>(std::memchr(start, '\n', avail));
      if (nl) {
        std::size_t n = static_cast<std::size_t>(nl - start);
        u.rpos += n + 1;
        u.offset += static_cast<long long>(n + 1);
        ++u.records;
        if (partial) {
          u.longRecord.append(start, n);
          if (!u.longRecord.empty() && u.longRecord.back() == '\r') u.longRecord.pop_back();
          rec = u.longRecord;
        } else {
          if (n > 0 && start[n - 1] == '\r') --n;
          rec = std::string_view(start, n);
        }
        return true;
      }
      if (!partial) {
        u.longRecord.clear();
        partial = true;
      }
      if (u.longRecord.size() + avail > MAXRECORD) {
        u.atEnd = true;
        ioFailure("vornv7: read error on " + describe(unit, u) + ", record " +
                  std::to_string(u.records + 1) + ": no line end within " +
                  std::to_string(MAXRECORD) + " bytes (records are at most " +
                  std::to_string(MAXRECORD) + " bytes long)");
      }
      u.longRecord.append(start, avail);
      u.offset += static_cast<long long>(avail);
      u.rpos = u.rlen;
    }
    if (!refill(unit, u)) {
      if (partial) {  // a last record without a line end
        ++u.records;
        if (!u.longRecord.empty() && u.longRecord.back() == '\r') u.longRecord.pop_back();
        rec = u.longRecord;
        return true;
      }
      return false;
    }
  }
}

void forgetFilesRead() { filesRead.clear(); }

bool isFileRead(const std::string& path, std::string* use) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const FileRead* f = fileReadAs(st.st_dev, st.st_ino);
  if (f != nullptr && use != nullptr) *use = f->use.empty() ? f->path : f->use + " \"" + f->path + "\"";
  return f != nullptr;
}

void holdWrites() { holding = true; }

void releaseWrites() {
  holding = false;
  std::string first;
  for (int k = 1; k <= MAXUNIT; ++k) {
    if (!table[k].open || !table[k].cutHeld) continue;
    try {
      releaseHeld(k, table[k]);
    } catch (const IoFailure& e) {
      if (first.empty()) first = e.message;
    }
  }
  if (!first.empty()) ioFailure(first);
}

std::string unitFileName(int unit) {
  if (unit < 1 || unit > MAXUNIT || !table[unit].open || table[unit].standard) return {};
  return table[unit].name;
}

void beginDryRun(RecordSink sink) {
  dryMode = true;
  drySink = std::move(sink);
}

void endDryRun() {
  dryMode = false;
  drySink = nullptr;
}

bool dryRun() { return dryMode; }

long long recordsRead(int unit) {
  return unit >= 1 && unit <= MAXUNIT ? table[unit].records : 0;
}

void appendToRecord(int unit, const char* p, std::size_t n) {
  Unit& u = writableUnit(unit);
  if (writesDry(u)) {
    if (n > 0) u.pending.append(p, n);
    return;
  }
  put(unit, u, p, n);
}

void endRecord(int unit) {
  Unit& u = writableUnit(unit);
  if (writesDry(u)) {
    handToSink(unit, u);
    return;
  }
  endOfRecord(unit, u);
}

void writeRecord(int unit, std::string_view rec) {
  Unit& u = writableUnit(unit);
  if (writesDry(u)) {
    u.pending.append(rec);
    handToSink(unit, u);
    return;
  }
  put(unit, u, rec.data(), rec.size());
  endOfRecord(unit, u);
}

void writeText(int unit, std::string_view text) {
  Unit& u = writableUnit(unit);
  if (writesDry(u)) {
    u.pending.append(text);
    handToSink(unit, u);
    return;
  }
  put(unit, u, text.data(), text.size());
  u.whole = u.wlen;
  if (u.standard) flushBuffer(unit, u);
}

void flushUnit(int unit) {
  if (unit < 1 || unit > MAXUNIT || !table[unit].open) return;
  flushBuffer(unit, table[unit]);
}

void flushAllUnits() {
  for (int k = 1; k <= MAXUNIT; ++k) {
    if (table[k].open && table[k].whole > 0) flushBuffer(k, table[k]);
  }
}

// ---- Free-format read ---------------------------------------------------

namespace {

// The storage of a free-format read's variable, in bytes.
std::size_t bytesOf(const ListTarget& t) {
  switch (t.kind) {
    case ListTarget::Kind::text: return t.len;
    case ListTarget::Kind::r8: return sizeof(double);
    case ListTarget::Kind::r4: return sizeof(float);
    case ListTarget::Kind::i4: break;
  }
  return sizeof(std::int32_t);
}

// The free-format read of n variables as a walk sees it: the values and
// which of them were assigned, the lines it took. A failed read that the
// walker lets go on leaves the variables as they were (`goOn` true).
// A read that ended in an input error (a record without a line end that
// outgrows its bound): the walker hears of it at the record concerned, and
// the error goes on to the caller.
[[noreturn]] void readFailedUnderWalk(ReadEvent& e, const IoFailure& failure) {
  e.result = ReadResult::error;
  e.lastLine = e.firstLine;
  e.why = failure.message.rfind("vornv7: ", 0) == 0 ? failure.message.substr(8) : failure.message;
  walker->read(e);
  throw failure;
}

ReadResult walkedListRead(int unit, const ListTarget* t, std::size_t n, std::string& why,
                          bool& goOn) {
  ReadEvent e;
  e.unit = unit;
  e.label = takeLabel(unit);
  e.firstLine = recordsRead(unit) + 1;
  std::unique_ptr<bool[]> assigned(new bool[n > 0 ? n : 1]());
  // The variables before the read, to put back after a failed read.
  std::string before;
  for (std::size_t k = 0; k < n; ++k) before.append(static_cast<const char*>(t[k].p), bytesOf(t[k]));
  UnitIn in(unit);
  try {
    e.result = parseList(in, t, n, &why, assigned.get());
  } catch (const IoFailure& failure) {
    readFailedUnderWalk(e, failure);
  }
  e.lastLine = recordsRead(unit);
  e.targets = t;
  e.n = n;
  e.assigned = assigned.get();
  e.why = why;
  goOn = walker->read(e);
  if (e.result != ReadResult::ok && goOn) {
    std::size_t at = 0;
    for (std::size_t k = 0; k < n; ++k) {
      std::memcpy(t[k].p, before.data() + at, bytesOf(t[k]));
      at += bytesOf(t[k]);
    }
  }
  return e.result;
}

// A text read as a walk sees it.
ReadResult walkedTextRead(int unit, char* dst, std::size_t len, bool& goOn);

}  // namespace

ReadResult listReadStatus(int unit, const ListTarget* t, std::size_t n, std::string* why) {
  if (walker) {
    std::string w;
    bool goOn = false;
    const ReadResult r = walkedListRead(unit, t, n, w, goOn);
    if (why) *why = w;
    return r;
  }
  UnitIn in(unit);
  return parseList(in, t, n, why);
}

void listReadFailure(int unit, ReadResult r, const std::string& why) {
  std::string where = unitDescription(unit);
  if (r == ReadResult::eof) {
    ioFailure("vornv7: end of file on " + where + " after record " +
              std::to_string(recordsRead(unit)) + " during a free-format read" +
              (why.empty() ? "" : ": " + why));
  }
  ioFailure("vornv7: read error on " + where + ", record " + std::to_string(recordsRead(unit)) +
            (why.empty() ? "" : ": " + why));
}

void listReadTargets(int unit, const ListTarget* t, std::size_t n) {
  std::string why;
  if (walker) {
    bool goOn = false;
    const ReadResult r = walkedListRead(unit, t, n, why, goOn);
    if (r == ReadResult::ok || goOn) return;
    listReadFailure(unit, r, why);
  }
  UnitIn in(unit);
  ReadResult r = parseList(in, t, n, &why);
  if (r == ReadResult::ok) return;
  listReadFailure(unit, r, why);
}

namespace {

// `cut`, when given, gets what the record holds past `len` characters
// (trailing blanks dropped).
ReadResult plainTextRead(int unit, char* dst, std::size_t len, std::string* cut = nullptr) {
  std::string_view rec;
  if (!readRecord(unit, rec)) return ReadResult::eof;
  std::size_t n = rec.size() < len ? rec.size() : len;
  std::memcpy(dst, rec.data(), n);
  std::memset(dst + n, ' ', len - n);
  if (cut != nullptr && rec.size() > len) {
    std::string_view rest = rec.substr(len);
    while (!rest.empty() && rest.back() == ' ') rest.remove_suffix(1);
    cut->assign(rest);
  }
  return ReadResult::ok;
}

ReadResult walkedTextRead(int unit, char* dst, std::size_t len, bool& goOn) {
  ReadEvent e;
  e.unit = unit;
  e.label = takeLabel(unit);
  e.firstLine = recordsRead(unit) + 1;
  try {
    e.result = plainTextRead(unit, dst, len, &e.cut);
  } catch (const IoFailure& failure) {
    readFailedUnderWalk(e, failure);
  }
  e.lastLine = recordsRead(unit);
  const ListTarget target{ListTarget::Kind::text, dst, len};
  e.targets = &target;
  e.n = 1;
  if (e.result != ReadResult::ok) e.why = "end of file while reading a text record";
  goOn = walker->read(e);
  return e.result;
}

}  // namespace

ReadResult readTextStatus(int unit, char* dst, std::size_t len) {
  if (walker) {
    bool goOn = false;
    return walkedTextRead(unit, dst, len, goOn);
  }
  return plainTextRead(unit, dst, len);
}

void readText(int unit, char* dst, std::size_t len) {
  bool goOn = false;
  const ReadResult r =
      walker ? walkedTextRead(unit, dst, len, goOn) : plainTextRead(unit, dst, len);
  if (r != ReadResult::ok && !goOn) {
    ioFailure("vornv7: end of file on " + unitDescription(unit) + " after record " +
              std::to_string(recordsRead(unit)) + " while reading a text record");
  }
}

// ---- Record walks -------------------------------------------------------

void nameNextRead(int unit, const char* name, const char* fields, int index,
                  const char* group) noexcept {
  labelUnit = unit;
  label.group = group;
  label.name = name;
  label.fields = fields;
  label.index = index;
}

void setWalker(Walker* w) noexcept {
  walker = w;
  labelUnit = 0;
}

Problem::Problem(Severity severity, const char* record) noexcept
    : severity_(severity), record_(record) {
  if (walker) walker->problem(true, severity_, record_);
}

Problem::~Problem() {
  if (walker) walker->problem(false, severity_, record_);
}

// ---- Free-format write --------------------------------------------------

void ListWriter::item(const char* p, std::size_t n) {
  if (length_ == 0) {
    appendToRecord(unit_, " ", 1);
    length_ = 1;
  } else if (length_ + n > 79) {
    // The first item of a record is never moved, however long.
    endRecord(unit_);
    appendToRecord(unit_, " ", 1);
    length_ = 1;
  }
  appendToRecord(unit_, p, n);
  length_ += n;
}

ListWriter& ListWriter::operator<<(std::int32_t v) {
  char buf[16];
  item(buf, static_cast<std::size_t>(listFieldInt(buf, v)));
  return *this;
}

ListWriter& ListWriter::operator<<(float v) {
  char buf[24];
  item(buf, static_cast<std::size_t>(listFieldReal(buf, v)));
  return *this;
}

ListWriter& ListWriter::operator<<(double v) {
  char buf[32];
  item(buf, static_cast<std::size_t>(listFieldDouble(buf, v)));
  return *this;
}

ListWriter& ListWriter::operator<<(std::string_view text) {
  item(text.data(), text.size());
  return *this;
}

void ListWriter::end() {
  if (length_ == 0) {  // a write with no items
    writeRecord(unit_, std::string_view());
  } else {
    endRecord(unit_);
  }
  length_ = 0;
}

}  // namespace rio
