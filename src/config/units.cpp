// The unit table: files opened by name, records read and written.
#include "config/units.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "config/numfmt.hpp"
#include "config/statusline.hpp"
#include "driver/stop.hpp"

namespace rio {
namespace {

constexpr std::size_t kReadBuffer = 1 << 16;
constexpr std::size_t kWriteBuffer = 1 << 16;

struct Unit {
  bool open = false;
  bool standard = false;   // bound to the process's standard input or output
  bool failed = false;     // a write failed: the buffer is discarded
  int fd = -1;
  bool fdWritable = false;
  std::string name;
  FileStatus status = FileStatus::unknown;
  // Reading.
  std::unique_ptr<char[]> rbuf;
  std::size_t rpos = 0, rlen = 0;
  bool atEnd = false;          // the file has no more bytes
  std::string longRecord;      // a record that spans buffer refills
  long long offset = 0;        // file offset of the logical position
  long long records = 0;       // records read
  // Writing.
  bool writing = false;        // the first write happened (file cut there)
  std::unique_ptr<char[]> wbuf;
  std::size_t wlen = 0;
  // Dry runs.
  bool dry = false;            // opened "unknown" in a dry run: no file behind it
  std::string pending;         // the record being built, for the sink
};

Unit table[MAXUNIT + 1];

bool dryMode = false;
RecordSink drySink;

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

// Writes every byte or reports why not (errno).
bool writeAll(int fd, const char* p, std::size_t n) {
  if (fd == 1) statusLineBeforeStdout();
  while (n > 0) {
    ssize_t k = ::write(fd, p, n);
    if (k < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += k;
    n -= static_cast<std::size_t>(k);
  }
  return true;
}

void flushBuffer(int unit, Unit& u) {
  if (u.wlen == 0 || u.failed) {
    u.wlen = 0;
    return;
  }
  std::size_t n = u.wlen;
  u.wlen = 0;
  if (!writeAll(u.fd, u.wbuf.get(), n)) {
    int err = errno;
    u.failed = true;
    ioFailure("vornv7: write error on " + describe(unit, u) + ": " + std::strerror(err));
  }
}

// The first write on a unit opened by name cuts the file off at the
// logical position (the start when nothing was read).
void beginWriting(int unit, Unit& u) {
  if (u.writing) return;
  if (!u.fdWritable) {
    int fd = ::open(u.name.c_str(), O_WRONLY | O_CLOEXEC);
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

void put(int unit, Unit& u, const char* p, std::size_t n) {
  if (!u.wbuf) u.wbuf = std::make_unique<char[]>(kWriteBuffer);
  if (u.wlen + n > kWriteBuffer) {
    flushBuffer(unit, u);
    if (n > kWriteBuffer) {
      if (!u.failed && !writeAll(u.fd, p, n)) {
        int err = errno;
        u.failed = true;
        ioFailure("vornv7: write error on " + describe(unit, u) + ": " + std::strerror(err));
      }
      return;
    }
  }
  if (n == 0) return;  // an empty piece may come with a null pointer (empty record)
  std::memcpy(u.wbuf.get() + u.wlen, p, n);
  u.wlen += n;
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
    if (u.open && u.writing && u.wlen > 0 && (u.standard || ::isatty(u.fd))) {
      flushBuffer(k, u);
    }
  }
}

// Refills the read buffer; false at the end of the file.
bool refill(int unit, Unit& u) {
  if (u.atEnd) return false;
  if (!u.rbuf) u.rbuf = std::make_unique<char[]>(kReadBuffer);
  if (u.standard) flushConsole();
  for (;;) {
    ssize_t k = ::read(u.fd, u.rbuf.get(), kReadBuffer);
    if (k < 0) {
      if (errno == EINTR) continue;
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

void closeOne(int unit, Unit& u) {
  if (!u.pending.empty()) handToSink(unit, u);  // a dry record left unfinished
  flushBuffer(unit, u);  // may report a failure; the unit is closed by the caller then
}

// Connects a unit to an open file (fd -1: to none, in a dry run).
void connectUnit(Unit& u, int fd, bool writable, const std::string& path, FileStatus status,
                 bool dry) {
  u.open = true;
  u.standard = false;
  u.failed = false;
  u.dry = dry;
  u.fd = fd;
  u.fdWritable = writable;
  u.name = path;
  u.status = status;
  u.rpos = u.rlen = 0;
  u.atEnd = dry;  // reading a dry unit meets the end of the file at once
  u.offset = 0;
  u.records = 0;
  u.writing = false;
  u.wlen = 0;
  u.pending.clear();
}

// A dry open with status "unknown": the checks a real open makes, no file.
bool openDry(int unit, const std::string& path, FileStatus status) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      errno = EISDIR;
      return false;
    }
  } else {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      errno = ENOENT;
      return false;
    }
  }
  connectUnit(table[unit], -1, false, path, status, true);
  return true;
}

void disconnect(Unit& u) {
  if (u.fd > 2) ::close(u.fd);
  Unit fresh;
  // Buffers are kept for the next file on this unit.
  fresh.rbuf = std::move(u.rbuf);
  fresh.wbuf = std::move(u.wbuf);
  u = std::move(fresh);
}

}  // namespace

// ---- Opening and closing ----------------------------------------------

bool tryOpenUnit(int unit, std::string_view name, FileStatus status) {
  if (unit < 1 || unit > MAXUNIT) {
    ioFailure("vornv7: open of unit " + std::to_string(unit) + ": unit numbers run from 1 to 99");
  }
  if (table[unit].open) closeUnit(unit);
  std::string path = trimName(name);
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  if (dryMode && status == FileStatus::unknown) return openDry(unit, path, status);
  int fd = -1;
  bool writable = false;
  if (status == FileStatus::old) {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } else {
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    writable = fd >= 0;
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EISDIR)) {
      int keep = errno;
      fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) errno = keep;
    }
  }
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    return false;
  }
  connectUnit(table[unit], fd, writable, path, status, false);
  return true;
}

void openUnit(int unit, std::string_view name, FileStatus status) {
  if (!tryOpenUnit(unit, name, status)) {
    int err = errno;
    std::string path = trimName(name);
    ioFailure("vornv7: cannot open file \"" + path + "\" (status " +
              (status == FileStatus::old ? "old" : "unknown") + ") on unit " +
              std::to_string(unit) + ": " + std::strerror(err));
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
  put(unit, u, "\r\n", 2);
  if (u.standard) flushBuffer(unit, u);
}

void writeRecord(int unit, std::string_view rec) {
  Unit& u = writableUnit(unit);
  if (writesDry(u)) {
    u.pending.append(rec);
    handToSink(unit, u);
    return;
  }
  put(unit, u, rec.data(), rec.size());
  put(unit, u, "\r\n", 2);
  if (u.standard) flushBuffer(unit, u);
}

void flushUnit(int unit) {
  if (unit < 1 || unit > MAXUNIT || !table[unit].open) return;
  flushBuffer(unit, table[unit]);
}

// ---- Free-format read ---------------------------------------------------

ReadResult listReadStatus(int unit, const ListTarget* t, std::size_t n, std::string* why) {
  UnitIn in(unit);
  return parseList(in, t, n, why);
}

void listReadTargets(int unit, const ListTarget* t, std::size_t n) {
  std::string why;
  UnitIn in(unit);
  ReadResult r = parseList(in, t, n, &why);
  if (r == ReadResult::ok) return;
  std::string where = unitDescription(unit);
  if (r == ReadResult::eof) {
    ioFailure("vornv7: end of file on " + where + " after record " +
              std::to_string(recordsRead(unit)) + " during a free-format read" +
              (why.empty() ? "" : ": " + why));
  }
  ioFailure("vornv7: read error on " + where + ", record " + std::to_string(recordsRead(unit)) +
            (why.empty() ? "" : ": " + why));
}

ReadResult readTextStatus(int unit, char* dst, std::size_t len) {
  std::string_view rec;
  if (!readRecord(unit, rec)) return ReadResult::eof;
  std::size_t n = rec.size() < len ? rec.size() : len;
  std::memcpy(dst, rec.data(), n);
  std::memset(dst + n, ' ', len - n);
  return ReadResult::ok;
}

void readText(int unit, char* dst, std::size_t len) {
  if (readTextStatus(unit, dst, len) != ReadResult::ok) {
    ioFailure("vornv7: end of file on " + unitDescription(unit) + " after record " +
              std::to_string(recordsRead(unit)) + " while reading a text record");
  }
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
