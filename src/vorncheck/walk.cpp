// The record walk: every read and open of the program's code as the checker
// sees it, the messages of the program's own checks, and stops and input
// errors turned into findings.
#include "vorncheck/walk.hpp"

#include <charconv>
#include <cmath>
#include <cstring>
#include <sstream>

namespace vorncheck {
namespace {

std::string trimRight(std::string_view s) {
  std::size_t n = s.size();
  while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\t')) --n;
  return std::string(s.substr(0, n));
}

std::string trim(std::string_view s) {
  std::size_t a = 0;
  while (a < s.size() && (s[a] == ' ' || s[a] == '\t')) ++a;
  return trimRight(s.substr(a));
}

// A message of the record layer without the program's name before it.
std::string withoutProgram(const std::string& m) {
  return m.rfind("vornv7: ", 0) == 0 ? m.substr(8) : m;
}

template <class T>
Value numberValue(T v) {
  Value out;
  if (!std::isfinite(static_cast<double>(v))) {
    out.json = "null";
    return out;
  }
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.json.assign(buf, r.ptr);
  out.number = true;
  out.x = static_cast<double>(v);
  return out;
}

// The value of target k of a read, as read.
Value valueOf(const rio::ListTarget& t, bool assigned) {
  if (!assigned) return Value{"null", false, 0, {}};
  switch (t.kind) {
    case rio::ListTarget::Kind::i4:
      return numberValue(*static_cast<const std::int32_t*>(t.p));
    case rio::ListTarget::Kind::r4:
      return numberValue(*static_cast<const float*>(t.p));
    case rio::ListTarget::Kind::r8:
      return numberValue(*static_cast<const double*>(t.p));
    case rio::ListTarget::Kind::text:
      break;
  }
  Value v;
  v.text = trimRight(std::string_view(static_cast<const char*>(t.p), t.len));
  v.json = jsonString(v.text);
  return v;
}

std::vector<std::string> splitFields(const char* fields) {
  std::vector<std::string> out;
  if (!fields) return out;
  std::istringstream in(fields);
  std::string f;
  while (in >> f) out.push_back(f);
  return out;
}

std::string recordName(const rio::RecordLabel& l) {
  std::string name = l.name ? l.name : "record";
  if (l.group) name = std::string(l.group) + "." + name;
  if (l.index > 0) name += "." + std::to_string(l.index);
  return name;
}

bool isNumberStart(char c) { return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.'; }

}  // namespace

namespace {

// The length of the well-formed UTF-8 sequence at s[i] (shortest form, no
// surrogates, at most U+10FFFF), or 0 when the bytes there are not one.
std::size_t utf8Length(std::string_view s, std::size_t i) {
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = at(i);
  std::size_t n;
  unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (i + n > s.size() || at(i + 1) < lo || at(i + 1) > hi) return 0;
  for (std::size_t k = 2; k < n; ++k) {
    if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
  }
  return n;
}

}  // namespace

std::string jsonString(std::string_view s) {
  std::string out = "\"";
  char buf[8];
  for (std::size_t i = 0; i < s.size();) {
    const char ch = s[i];
    const unsigned char c = static_cast<unsigned char>(ch);
    const std::size_t n = utf8Length(s, i);
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20) {
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else if (n == 0) {
      // A byte that is not part of UTF-8 text: the low surrogate U+DC00 +
      // byte, which Python's surrogateescape turns back into the byte.
      std::snprintf(buf, sizeof buf, "\\udc%02x", c);
      out += buf;
      ++i;
      continue;
    } else {
      out.append(s.substr(i, n));
      i += n;
      continue;
    }
    ++i;
  }
  return out + "\"";
}

std::string joinMessage(const std::vector<std::string>& lines) {
  std::vector<std::string> kept;
  for (const std::string& raw : lines) {
    std::string t = trim(raw);
    // Runs of blanks before a number (the fields of a free-format write)
    // and long runs (the padding of a text field) made one blank.
    std::string s;
    for (std::size_t i = 0; i < t.size(); ++i) {
      if (t[i] == ' ' && i + 1 < t.size() && t[i + 1] == ' ') {
        std::size_t j = i;
        while (j < t.size() && t[j] == ' ') ++j;
        if (j - i > 2 || (j < t.size() && isNumberStart(t[j]))) {
          s += ' ';
          i = j - 1;
          continue;
        }
      }
      s += t[i];
    }
    if (s.empty() || s == "Read echo file") continue;
    bool known = false;
    for (std::string& k : kept) {
      const bool sEndsK = s.size() >= k.size() && s.compare(s.size() - k.size(), k.size(), k) == 0;
      const bool kEndsS = k.size() >= s.size() && k.compare(k.size() - s.size(), s.size(), s) == 0;
      if (sEndsK) k = s;
      if (sEndsK || kEndsS) known = true;
      if (known) break;
    }
    if (!known) kept.push_back(s);
  }
  std::string out;
  for (const std::string& k : kept) {
    if (!out.empty()) out += "; ";
    out += k;
  }
  return out;
}

std::string Walk::fileOf(int unit) const {
  if (unit == inunit) return check_.parfile;
  return rio::unitFileName(unit);
}

bool Walk::read(const rio::ReadEvent& e) {
  sinceRead_.clear();
  lastFile = fileOf(e.unit);
  lastLine = e.result == rio::ReadResult::ok ? e.lastLine : std::max(e.lastLine, 1LL);
  lastResult = e.result;
  if (e.unit != inunit || inunit == 0) {
    // An input error of the record layer itself (a record without a line
    // end past its bound); the program's own message follows.
    if (e.result == rio::ReadResult::error && e.why.rfind("read error on ", 0) == 0 &&
        filesReported.insert(lastFile).second) {
      add(Level::error, lastFile, lastLine, e.why);
    }
    return false;
  }
  Record r;
  r.name = recordName(e.label);
  r.file = check_.parfile;
  r.line = e.firstLine;
  r.lastLine = e.lastLine;
  std::vector<std::string> fields = splitFields(e.label.fields);
  for (std::size_t k = 0; k < e.n; ++k) {
    r.fields.push_back(k < fields.size() ? fields[k] : "value" + std::to_string(k + 1));
    const bool assigned =
        e.result == rio::ReadResult::ok &&
        (e.targets[k].kind == rio::ListTarget::Kind::text ? true : e.assigned && e.assigned[k]);
    r.values.push_back(valueOf(e.targets[k], assigned));
  }
  if (!e.cut.empty() && e.n == 1) {
    add(Level::warning, check_.parfile, r.line,
        "the record goes on past the " + std::to_string(e.targets[0].len) +
            " characters the program keeps: it takes \"" + (r.values.empty() ? "" : r.values[0].text) +
            "\" and drops \"" + e.cut + "\"");
  }
  std::string what = r.name;
  if (!r.fields.empty()) {
    what += " (";
    for (std::size_t k = 0; k < r.fields.size(); ++k) what += (k ? ", " : "") + r.fields[k];
    what += ")";
  }
  if (e.result == rio::ReadResult::eof) {
    // Every later read of the file ends the same way: one finding.
    parameterEnd = true;
    if (!endReported_) {
      endReported_ = true;
      add(Level::error, check_.parfile, 0,
          "the file ends after line " + std::to_string(e.lastLine) + ", before the record " +
              what + " and the records after it");
    }
    return false;
  }
  check_.records.push_back(r);
  if (e.result == rio::ReadResult::error) {
    add(Level::error, check_.parfile, r.lastLine,
        "cannot read the record " + what + ": " + e.why);
    return true;  // the variables stay as they were; the next read takes the next record
  }
  return false;
}

bool Walk::openFailed(int, std::string_view path, rio::FileStatus status,
                      std::string_view message) {
  openFile_ = std::string(path);
  if (status != rio::FileStatus::unknown) return false;
  // A file the run would write: reported here, and the walk goes on.
  const long long line = lineNaming(openFile_);
  add(Level::error, check_.parfile, line, withoutProgram(std::string(message)));
  return true;
}

void Walk::problem(bool begins, rio::Severity severity, const char* record) {
  if (begins) {
    if (depth_++ > 0) return;
    severity_ = severity;
    problemRecord_ = record;
    problemLines_.clear();
    if (record && lineOf(record) > 0) {
      problemFile_ = check_.parfile;
      problemLine_ = lineOf(record);
    } else {
      problemFile_ = lastFile.empty() ? check_.parfile : lastFile;
      problemLine_ = lastFile.empty() ? 0 : lastLine;
    }
    return;
  }
  if (--depth_ > 0) return;
  const std::string text = joinMessage(problemLines_);
  if (text.empty()) return;
  problemInStage_ = true;
  add(severity_ == rio::Severity::warning ? Level::warning : Level::error, problemFile_,
      problemLine_, text);
}

void Walk::written(int unit, std::string_view rec) {
  (void)unit;
  if (depth_ > 0) problemLines_.emplace_back(rec);
  sinceRead_.emplace_back(rec);
}

void Walk::beginStage() {
  problemInStage_ = false;
  openFile_.clear();
}

void Walk::stopped() {
  // A stop whose messages no Problem marked: the records since the last read.
  if (problemInStage_) return;
  const std::string text = joinMessage(sinceRead_);
  add(Level::error, lastFile.empty() ? check_.parfile : lastFile, lastFile.empty() ? 0 : lastLine,
      text.empty() ? "the program stops here" : text);
}

void Walk::ioFailed(const std::string& message) {
  if (parameterEnd && message.find(check_.parfile) != std::string::npos) return;  // reported
  const std::string m = withoutProgram(message);
  if (!openFile_.empty() && message.find("cannot open file \"" + openFile_ + "\"") != std::string::npos) {
    if (!filesReported.insert(openFile_).second) return;
    add(Level::error, check_.parfile, lineNaming(openFile_), m);
    return;
  }
  if (!lastFile.empty()) filesReported.insert(lastFile);
  add(Level::error, lastFile.empty() ? check_.parfile : lastFile, lastFile.empty() ? 0 : lastLine, m);
}

void Walk::add(Level level, const std::string& file, long long line, std::string message) {
  for (const Finding& f : check_.findings) {
    if (f.file == file && f.line == line && f.level == level && f.message == message) return;
  }
  check_.findings.push_back({file, line, level, std::move(message)});
}

const Record* Walk::record(const std::string& name) const {
  for (const Record& r : check_.records) {
    if (r.name == name) return &r;
  }
  return nullptr;
}

long long Walk::lineOf(const std::string& name) const {
  const Record* r = record(name);
  return r ? r->line : 0;
}

void Walk::addAt(Level level, const std::string& name, std::string message) {
  add(level, check_.parfile, lineOf(name), std::move(message));
}

long long Walk::lineNaming(const std::string& path) const {
  // The latest record naming it: the one just read when an open fails.
  for (auto r = check_.records.rbegin(); r != check_.records.rend(); ++r) {
    for (const Value& v : r->values) {
      if (!v.number && !v.text.empty() && v.text == path) return r->line;
    }
  }
  return 0;
}

long long Walk::lastParameterLine() const {
  return check_.records.empty() ? 0 : check_.records.back().lastLine;
}

}  // namespace vorncheck
