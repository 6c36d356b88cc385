// Layout strings: the parser (Layout), output with a layout (LayoutWriter)
// and input with a layout (LayoutReader).
#include "config/layout.hpp"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <stdexcept>

#include "config/numfmt.hpp"

namespace rio {

using Kind = Layout::Op::Kind;

namespace {

constexpr int kMaxCount = 100000000;  // largest repeat count, n of nX or width of A

inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Recursive-descent parser over the layout text with blanks removed and
// letters in upper case.
class LayoutParser {
 public:
  LayoutParser(std::string_view original, std::vector<Layout::Op>& ops)
      : original_(original), ops_(ops) {
    for (char c : original) {
      if (c == ' ' || c == '\t') continue;
      s_.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
    }
    // The whole layout may be enclosed in parentheses.
    if (!s_.empty() && s_.front() == '(' && closingOf(0) == s_.size() - 1) {
      s_ = s_.substr(1, s_.size() - 2);
    }
  }

  // Parses the whole layout; returns the index of the last group opened at
  // the outermost level, or 0 when there is none.
  int parse() {
    if (!s_.empty()) list(0);
    if (i_ != s_.size()) bad(s_[i_] == ')' ? "unbalanced ')'" : "unexpected character");
    return reversion_;
  }

 private:
  [[noreturn]] void bad(const char* what) const {
    throw std::invalid_argument("malformed layout \"" + std::string(original_) + "\": " + what);
  }

  std::size_t closingOf(std::size_t open) const {
    int depth = 0;
    for (std::size_t j = open; j < s_.size(); ++j) {
      if (s_[j] == '(') ++depth;
      if (s_[j] == ')' && --depth == 0) return j;
    }
    return std::string::npos;
  }

  bool atEnd() const { return i_ >= s_.size(); }
  char peek() const { return atEnd() ? '\0' : s_[i_]; }

  int number() {
    if (!isDigit(peek())) bad("number expected");
    long long n = 0;
    while (isDigit(peek())) {
      n = n * 10 + (s_[i_++] - '0');
      if (n > kMaxCount) bad("number too large");
    }
    return static_cast<int>(n);
  }

  // Whether a / (possibly with a repeat count) starts at the current position.
  bool slashAhead() const {
    std::size_t j = i_;
    while (j < s_.size() && isDigit(s_[j])) ++j;
    return j < s_.size() && s_[j] == '/';
  }

  // item { (',' | before or after '/') item }
  void list(int depth) {
    for (;;) {
      if (atEnd() || peek() == ')' || peek() == ',') bad("item expected");
      bool wasSlash = item(depth);
      if (atEnd() || peek() == ')') return;
      if (peek() == ',') {
        ++i_;
        continue;
      }
      if (wasSlash || slashAhead()) continue;
      bad("',' expected between items");
    }
  }

  // One item; returns whether it was a /.
  bool item(int depth) {
    int r = 0;  // 0: no count given
    if (isDigit(peek())) {
      r = number();
      if (r == 0) bad("count of 0");
    }
    Layout::Op op{};
    op.repeat = r ? r : 1;
    char c = peek();
    ++i_;
    switch (c) {
      case '(': {
        int open = static_cast<int>(ops_.size());
        op.kind = Kind::open;
        ops_.push_back(op);
        if (depth == 0) reversion_ = open;
        if (peek() == ')') bad("empty group");
        list(depth + 1);
        if (peek() != ')') bad("missing ')'");
        ++i_;
        Layout::Op close{};
        close.kind = Kind::close;
        close.match = open;
        ops_[open].match = static_cast<int>(ops_.size());
        ops_.push_back(close);
        return false;
      }
      case '/':
        op.kind = Kind::slash;
        break;
      case 'X':
        if (!r) bad("nX needs its count n");
        op.kind = Kind::X;
        op.w = r;
        op.repeat = 1;
        break;
      case 'I':
        op.kind = Kind::I;
        op.w = width();
        break;
      case 'F':
      case 'E':
        op.kind = c == 'F' ? Kind::F : Kind::E;
        op.w = width();
        if (peek() != '.') bad("'.d' expected after the width");
        ++i_;
        op.d = number();
        if (op.kind == Kind::E && op.d < 1) bad("Ew.d needs d >= 1");
        break;
      case 'A':
        op.kind = Kind::A;
        if (isDigit(peek())) {
          op.w = number();
          if (op.w < 1) bad("width of 0");
        }
        break;
      default:
        --i_;
        bad(c == '\0' ? "item expected" : "unknown item");
    }
    ops_.push_back(op);
    return op.kind == Kind::slash;
  }

  int width() {
    int w = number();
    if (w < 1 || w > kMaxNumericWidth) bad("field width out of range");
    return w;
  }

  std::string_view original_;
  std::vector<Layout::Op>& ops_;
  std::string s_;
  std::size_t i_ = 0;
  int reversion_ = 0;
};

inline bool isData(Kind k) { return k == Kind::I || k == Kind::F || k == Kind::E || k == Kind::A; }

const char* itemName(Kind k) {
  switch (k) {
    case Kind::I: return "I";
    case Kind::F: return "F";
    case Kind::E: return "E";
    default: return "A";
  }
}

[[noreturn]] void mismatch(const char* value, Kind k) {
  throw std::logic_error(std::string(value) + " given for a " + itemName(k) + " item of a layout");
}

}  // namespace

// Parses the layout text into ops_ and finds the reversion point. Called
// once per layout, by whoever builds it.
Layout::Layout(std::string_view text) {
  reversion_ = LayoutParser(text, ops_).parse();
  for (std::size_t j = static_cast<std::size_t>(reversion_); j < ops_.size(); ++j) {
    if (isData(ops_[j].kind)) reusable_ = true;
  }
}

// ---------------------------------------------------------------------------
// Output

LayoutWriter::LayoutWriter(const Layout& layout, RecordOut& out)
    : layout_(&layout), out_(&out), left_(layout.ops().size(), 0), buf_(256) {}

// Moves pc_ to the next item that needs a value, carrying out nX (as
// pending blanks), / and group repeats on the way. At the end of the
// layout: for a value, ends the record and takes the layout up again at
// its reversion point; otherwise (end of a write) stops and returns false.
bool LayoutWriter::advance(bool forValue) {
  const std::vector<Layout::Op>& ops = layout_->ops();
  const int n = static_cast<int>(ops.size());
  for (;;) {
    if (pc_ == n) {
      if (!forValue) return false;
      if (!layout_->reusable()) throw std::logic_error("a value given to a layout with no item left for it");
      emit();
      pc_ = layout_->reversion();
      continue;
    }
    const Layout::Op& op = ops[pc_];
    switch (op.kind) {
      case Kind::open:
        left_[pc_] = op.repeat;
        ++pc_;
        break;
      case Kind::close:
        pc_ = --left_[op.match] > 0 ? op.match + 1 : pc_ + 1;
        break;
      case Kind::X:
        pending_ += op.w;
        ++pc_;
        break;
      case Kind::slash:
        for (int k = 0; k < op.repeat; ++k) emit();
        ++pc_;
        break;
      default:
        if (itemLeft_ == 0) itemLeft_ = op.repeat;
        return true;
    }
  }
}

const Layout::Op& LayoutWriter::nextItem() {
  advance(true);
  return layout_->ops()[pc_];
}

// Reserves w characters at the end of the record, after the pending blanks,
// and marks the item at pc_ as used once more.
char* LayoutWriter::field(int w) {
  std::size_t need = len_ + static_cast<std::size_t>(pending_) + static_cast<std::size_t>(w);
  if (need > buf_.size()) buf_.resize(std::max(need, 2 * buf_.size()));
  if (pending_) {
    std::memset(buf_.data() + len_, ' ', static_cast<std::size_t>(pending_));
    len_ += static_cast<std::size_t>(pending_);
    pending_ = 0;
  }
  char* p = buf_.data() + len_;
  len_ += static_cast<std::size_t>(w);
  if (--itemLeft_ == 0) ++pc_;
  return p;
}

// Hands the record built so far to the sink and starts an empty one.
void LayoutWriter::emit() {
  out_->record(buf_.data(), len_);
  len_ = 0;
  pending_ = 0;
}

void LayoutWriter::put(std::int32_t v) {
  const Layout::Op& op = nextItem();
  if (op.kind != Kind::I) mismatch("an integer", op.kind);
  editI(field(op.w), op.w, v);
}

void LayoutWriter::put(float v) {
  const Layout::Op& op = nextItem();
  if (op.kind == Kind::F) {
    int w = op.w, d = op.d;
    editF(field(w), w, d, v);
  } else if (op.kind == Kind::E) {
    int w = op.w, d = op.d;
    editE(field(w), w, d, v);
  } else {
    mismatch("a real", op.kind);
  }
}

void LayoutWriter::put(double v) {
  const Layout::Op& op = nextItem();
  if (op.kind == Kind::F) {
    int w = op.w, d = op.d;
    editF(field(w), w, d, v);
  } else if (op.kind == Kind::E) {
    int w = op.w, d = op.d;
    editE(field(w), w, d, v);
  } else {
    mismatch("a real", op.kind);
  }
}

void LayoutWriter::put(std::string_view text) {
  const Layout::Op& op = nextItem();
  if (op.kind != Kind::A) mismatch("a text", op.kind);
  int w = op.w ? op.w : static_cast<int>(text.size());
  editA(field(w), w, text);
}

// After the last value the record ends at the next item that needs a value
// (so trailing nX leave no blanks, and each / met on the way ends a
// record); the last record is delivered and the writer is ready for the
// next write.
void LayoutWriter::end() {
  advance(false);
  emit();
  pc_ = 0;
  itemLeft_ = 0;
}

// ---------------------------------------------------------------------------
// Input

namespace {

// Integer field: blanks ignored, an optional sign, digits; all blank is 0.
bool parseInt(std::string_view f, std::int32_t& v) {
  std::int64_t n = 0;
  bool neg = false, sign = false, digits = false;
  for (char c : f) {
    if (c == ' ') continue;
    if ((c == '+' || c == '-') && !sign && !digits) {
      sign = true;
      neg = c == '-';
    } else if (isDigit(c)) {
      digits = true;
      n = n * 10 + (c - '0');
      if (n > 2147483648LL) return false;
    } else {
      return false;
    }
  }
  if (sign && !digits) return false;
  if (!neg && n > 2147483647LL) return false;
  v = static_cast<std::int32_t>(neg ? -n : n);
  return true;
}

// Real field of Fw.d or Ew.d: blanks ignored; an optional sign, digits with
// an optional point, an optional exponent of E, e, D or d, an optional sign
// and digits. Without a point the last d digits are decimals. All blank is
// 0. Converted with correct rounding straight to T.
template <class T>
bool parseReal(std::string_view f, int d, T& v) {
  char buf[kMaxNumericWidth + 24];
  int n = 0;
  bool neg = false, sign = false, point = false, expo = false, expSign = false;
  bool expNeg = false, expDigits = false;
  int mantDigits = 0, fracDigits = 0;
  long long e = 0;
  for (char c : f) {
    if (c == ' ') continue;
    if (!expo) {
      if ((c == '+' || c == '-') && !sign && !mantDigits && !point) {
        sign = true;
        neg = c == '-';
      } else if (isDigit(c)) {
        ++mantDigits;
        if (point) ++fracDigits;
        if (n == 0 && c == '0') continue;  // leading zeros carry nothing
        buf[n++] = c;
      } else if (c == '.' && !point) {
        point = true;
      } else if ((c == 'E' || c == 'e' || c == 'D' || c == 'd') && mantDigits) {
        expo = true;
      } else {
        return false;
      }
    } else if ((c == '+' || c == '-') && !expSign && !expDigits) {
      expSign = true;
      expNeg = c == '-';
    } else if (isDigit(c)) {
      expDigits = true;
      if (e < 1000000) e = e * 10 + (c - '0');
    } else {
      return false;
    }
  }
  if ((sign || point) && !mantDigits) return false;
  if (expo && !expDigits) return false;
  if (n == 0) {  // all blank, or zero
    v = neg ? -T(0) : T(0);
    return true;
  }
  long long exp10 = (expNeg ? -e : e) - (point ? fracDigits : d);
  // With leading zeros dropped, the digits d1..dn stand for 0.d1..dn * 10^order.
  long long order = exp10 + n;
  if (order > 400) return false;  // beyond any double
  if (order < -400) {
    v = neg ? -T(0) : T(0);
    return true;
  }
  buf[n++] = 'e';
  auto r = std::to_chars(buf + n, buf + sizeof buf, exp10);
  T x{};
  auto p = std::from_chars(buf, r.ptr, x);
  if (p.ec == std::errc::result_out_of_range) {
    if (order > 0) return false;  // overflow
    x = T(0);                     // underflow
  } else if (p.ec != std::errc()) {
    return false;
  }
  v = neg ? -x : x;
  return true;
}

}  // namespace

LayoutReader::LayoutReader(const Layout& layout, RecordIn& in)
    : layout_(&layout), in_(&in), left_(layout.ops().size(), 0) {}

bool LayoutReader::fail(ReadResult r, std::string msg) {
  status_ = r;
  why_ = std::move(msg);
  return false;
}

bool LayoutReader::nextRecord() {
  if (!in_->next(rec_)) return fail(ReadResult::eof, "end of file");
  pos_ = 0;
  return true;
}

// Starts a read on a new record when none is under way; false when the
// read has already failed.
bool LayoutReader::begin() {
  if (!open_) {
    open_ = true;
    status_ = ReadResult::ok;
    why_.clear();
    pc_ = 0;
    itemLeft_ = 0;
    return nextRecord();
  }
  return status_ == ReadResult::ok;
}

// The next item that needs a value, after skipping nX, going to the next
// record at each / and at the reversion point; nullptr at the end of the
// file (status set).
const Layout::Op* LayoutReader::nextItem() {
  const std::vector<Layout::Op>& ops = layout_->ops();
  const int n = static_cast<int>(ops.size());
  for (;;) {
    if (pc_ == n) {
      if (!layout_->reusable()) throw std::logic_error("a variable given to a layout with no item left for it");
      if (!nextRecord()) return nullptr;
      pc_ = layout_->reversion();
      continue;
    }
    const Layout::Op& op = ops[pc_];
    switch (op.kind) {
      case Kind::open:
        left_[pc_] = op.repeat;
        ++pc_;
        break;
      case Kind::close:
        pc_ = --left_[op.match] > 0 ? op.match + 1 : pc_ + 1;
        break;
      case Kind::X:
        pos_ += static_cast<std::size_t>(op.w);
        ++pc_;
        break;
      case Kind::slash:
        for (int k = 0; k < op.repeat; ++k) {
          if (!nextRecord()) return nullptr;
        }
        ++pc_;
        break;
      default:
        if (itemLeft_ == 0) itemLeft_ = op.repeat;
        return &op;
    }
  }
}

// The next w characters of the record (fewer when the record ends first:
// the rest counts as blanks); marks the item at pc_ as used once more.
std::string_view LayoutReader::field(int w) {
  std::size_t start = std::min(pos_, rec_.size());
  std::string_view f = rec_.substr(start, static_cast<std::size_t>(w));
  pos_ += static_cast<std::size_t>(w);
  if (--itemLeft_ == 0) ++pc_;
  return f;
}

namespace {

std::string badField(const Layout::Op& op, std::string_view f, std::size_t column) {
  std::string s = "bad value \"" + std::string(f) + "\" for " + (op.kind == Kind::I ? "I" : op.kind == Kind::F ? "F" : "E") +
                  std::to_string(op.w);
  if (op.kind != Kind::I) s += "." + std::to_string(op.d);
  return s + " at column " + std::to_string(column);
}

}  // namespace

bool LayoutReader::get(std::int32_t& v) {
  if (!begin()) return false;
  const Layout::Op* op = nextItem();
  if (!op) return false;
  if (op->kind != Kind::I) mismatch("an integer", op->kind);
  std::size_t column = pos_ + 1;
  std::string_view f = field(op->w);
  if (!parseInt(f, v)) return fail(ReadResult::error, badField(*op, f, column));
  return true;
}

bool LayoutReader::get(float& v) {
  if (!begin()) return false;
  const Layout::Op* op = nextItem();
  if (!op) return false;
  if (op->kind != Kind::F && op->kind != Kind::E) mismatch("a real", op->kind);
  std::size_t column = pos_ + 1;
  std::string_view f = field(op->w);
  if (!parseReal(f, op->d, v)) return fail(ReadResult::error, badField(*op, f, column));
  return true;
}

bool LayoutReader::get(double& v) {
  if (!begin()) return false;
  const Layout::Op* op = nextItem();
  if (!op) return false;
  if (op->kind != Kind::F && op->kind != Kind::E) mismatch("a real", op->kind);
  std::size_t column = pos_ + 1;
  std::string_view f = field(op->w);
  if (!parseReal(f, op->d, v)) return fail(ReadResult::error, badField(*op, f, column));
  return true;
}

// Aw: with w >= len the rightmost len characters of the field, otherwise
// the field left-justified and padded with blanks; A: len characters.
bool LayoutReader::get(char* text, std::size_t len) {
  if (!begin()) return false;
  const Layout::Op* op = nextItem();
  if (!op) return false;
  if (op->kind != Kind::A) mismatch("a text", op->kind);
  std::size_t w = op->w ? static_cast<std::size_t>(op->w) : len;
  std::size_t start = pos_;
  field(static_cast<int>(w));
  auto at = [&](std::size_t k) { return start + k < rec_.size() ? rec_[start + k] : ' '; };
  if (w >= len) {
    for (std::size_t k = 0; k < len; ++k) text[k] = at(w - len + k);
  } else {
    for (std::size_t k = 0; k < w; ++k) text[k] = at(k);
    std::fill(text + w, text + len, ' ');
  }
  return true;
}

// Closes the read: goes over the / met before the next item that needs a
// value (or the layout's end); the rest of the last record is ignored.
void LayoutReader::end() {
  if (begin()) {
    const std::vector<Layout::Op>& ops = layout_->ops();
    const int n = static_cast<int>(ops.size());
    while (pc_ < n && !isData(ops[pc_].kind)) {
      const Layout::Op& op = ops[pc_];
      if (op.kind == Kind::slash) {
        bool ok = true;
        for (int k = 0; k < op.repeat && ok; ++k) ok = nextRecord();
        if (!ok) break;
        ++pc_;
      } else if (op.kind == Kind::open) {
        left_[pc_] = op.repeat;
        ++pc_;
      } else if (op.kind == Kind::close) {
        pc_ = --left_[op.match] > 0 ? op.match + 1 : pc_ + 1;
      } else {
        ++pc_;
      }
    }
  }
  open_ = false;
}

}  // namespace rio
