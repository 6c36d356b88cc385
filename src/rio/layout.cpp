// Layout strings: the parser (Layout), output with a layout (LayoutWriter)
// and input with a layout (LayoutReader).
#include "rio/layout.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <type_traits>

#include "rio/numfmt.hpp"

namespace rio {

using Kind = Layout::Op::Kind;

namespace {

constexpr int kMaxCount = 100000000;  // largest repeat count, n of nX or width of A
constexpr int kMaxNesting = 100;      // groups within groups; the parser recurses once per level

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
        if (depth >= kMaxNesting) bad("groups nested more than 100 deep");
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

// Parses the layout text into ops_, finds the reversion point and expands
// the repeats into items_. Called once per layout, by whoever builds it.
Layout::Layout(std::string_view text) {
  reversion_ = LayoutParser(text, ops_).parse();
  int records = 0, blanks = 0;
  long long steps = 0;
  againIndex_ = -1;
  expand(0, static_cast<int>(ops_.size()), records, blanks, steps);
  if (againIndex_ < 0) againIndex_ = static_cast<int>(items_.size());  // empty layout
  tailRecords_ = records;
}

namespace {
constexpr long long kMaxExpanded = 1 << 22;  // items and / of a layout, repeats expanded
}

// Appends the items of ops [from, to) to items_, carrying the / and nX met
// before each in records and blanks; notes where the reversion point leads.
void Layout::expand(int from, int to, int& records, int& blanks, long long& steps) {
  for (int j = from; j < to; ++j) {
    const Op& op = ops_[j];
    if (j == reversion_ && againIndex_ < 0) {
      againIndex_ = static_cast<int>(items_.size());
      tracking_ = true;
    }
    steps += op.kind == Kind::X || op.kind == Kind::open || op.kind == Kind::close ? 1 : op.repeat;
    if (steps > kMaxExpanded) {
      throw std::invalid_argument("layout too long with its repeats expanded");
    }
    switch (op.kind) {
      case Kind::open:
        for (int k = 0; k < op.repeat; ++k) expand(j + 1, op.match, records, blanks, steps);
        j = op.match;
        break;
      case Kind::close:
        break;
      case Kind::X:
        if (blanks > kMaxCount - op.w) throw std::invalid_argument("layout with too many blanks in a row");
        blanks += op.w;
        if (tracking_) againBlanks_ += op.w;
        break;
      case Kind::slash:
        records += op.repeat;
        blanks = 0;
        if (tracking_) {
          againRecords_ += op.repeat;
          againBlanks_ = 0;
        }
        break;
      default:
        for (int k = 0; k < op.repeat; ++k) {
          items_.push_back(Item{op.kind, op.w, op.d, records, blanks});
          records = blanks = 0;
        }
        tracking_ = false;
    }
  }
}

// ---------------------------------------------------------------------------
// Output

LayoutWriter::LayoutWriter(const Layout& layout, RecordOut& out)
    : layout_(&layout), out_(&out) {}

// The next item that takes a value. Ends the records of the / met before
// it and sets the blanks of nX that precede it. At the end of the layout
// the record ends and the layout is taken up again at its reversion point.
const Layout::Item& LayoutWriter::next() {
  const std::vector<Layout::Item>& items = layout_->items();
  int records;
  if (next_ < items.size()) {
    records = items[next_].records;
    pending_ = items[next_].blanks;
  } else {
    if (!layout_->reusable()) throw std::logic_error("a value given to a layout with no item left for it");
    for (int k = 0; k < layout_->tailRecords(); ++k) emit();
    emit();
    next_ = static_cast<std::size_t>(layout_->againIndex());
    records = layout_->againRecords();
    pending_ = layout_->againBlanks();
  }
  for (int k = 0; k < records; ++k) emit();
  return items[next_++];
}

// Reserves w characters at the end of the record, after the pending blanks.
char* LayoutWriter::field(int w) {
  std::size_t need = len_ + static_cast<std::size_t>(pending_) + static_cast<std::size_t>(w);
  if (need > cap_) {
    std::size_t cap = std::max(need, 2 * cap_);
    std::unique_ptr<char[]> grown(new char[cap]);
    std::memcpy(grown.get(), buf_, len_);
    heap_ = std::move(grown);
    buf_ = heap_.get();
    cap_ = cap;
  }
  char* p = buf_ + len_;
  for (int k = 0; k < pending_; ++k) *p++ = ' ';
  len_ = need;
  return p;
}

// Hands the record built so far to the sink and starts an empty one.
void LayoutWriter::emit() {
  out_->record(buf_, len_);
  len_ = 0;
}

void LayoutWriter::put(std::int32_t v) {
  const Layout::Item& op = next();
  if (op.kind != Kind::I) mismatch("an integer", op.kind);
  editI(field(op.w), op.w, v);
}

void LayoutWriter::put(float v) {
  const Layout::Item& op = next();
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
  const Layout::Item& op = next();
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
  const Layout::Item& op = next();
  if (op.kind != Kind::A) mismatch("a text", op.kind);
  int w = op.w ? op.w : static_cast<int>(text.size());
  editA(field(w), w, text);
}

// After the last value the record ends at the next item that needs a value
// (so trailing nX leave no blanks, and each / met on the way ends a
// record); the last record is delivered and the writer is ready for the
// next write.
void LayoutWriter::end() {
  const std::vector<Layout::Item>& items = layout_->items();
  int records = next_ < items.size() ? items[next_].records : layout_->tailRecords();
  for (int k = 0; k < records; ++k) emit();
  emit();
  next_ = 0;
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

// The value mant * 10^exp10 (mant of at most 15 digits, not zero) when one
// correctly rounded double operation gives it: 15 digits and a power of ten
// up to 10^22 are exact doubles. A float is rounded from that double, unless
// it lies exactly half-way between two floats: only there can rounding twice
// differ from rounding once, and false sends the caller to the general
// conversion.
template <class T>
bool exactValue(std::uint64_t mant, long long exp10, bool neg, T& v) {
  if (exp10 < -22 || exp10 > 22) return false;
  static constexpr double kPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const double m = static_cast<double>(mant);
  const double q = exp10 >= 0 ? m * kPow10[exp10] : m / kPow10[-exp10];
  if constexpr (std::is_same_v<T, double>) {
    v = neg ? -q : q;
    return true;
  } else {
    constexpr std::uint64_t kDropped = (std::uint64_t{1} << 29) - 1;  // bits a float lacks
    constexpr std::uint64_t kHalf = std::uint64_t{1} << 28;
    if (q < static_cast<double>(std::numeric_limits<float>::min()) ||
        q > static_cast<double>(std::numeric_limits<float>::max()) ||
        (std::bit_cast<std::uint64_t>(q) & kDropped) == kHalf) {
      return false;
    }
    const float x = static_cast<float>(q);
    v = neg ? -x : x;
    return true;
  }
}

// The form the writers' fields take without an exponent: blanks, an
// optional sign, digits with an optional point, up to the field's end. Most
// fields read back are of it; any other gives false and the general reading
// below decides.
template <class T>
bool plainReal(std::string_view f, int d, T& v) {
  const char* p = f.data();
  const char* end = p + f.size();
  while (p < end && *p == ' ') ++p;
  bool neg = false;
  if (p < end && (*p == '-' || *p == '+')) neg = *p++ == '-';
  std::uint64_t mant = 0;
  int sig = 0, digits = 0, frac = 0;
  bool point = false;
  for (; p < end; ++p) {
    const char c = *p;
    if (isDigit(c)) {
      ++digits;
      if (point) ++frac;
      if (sig == 0 && c == '0') continue;  // leading zeros carry nothing
      if (++sig > 15) return false;
      mant = mant * 10 + static_cast<std::uint64_t>(c - '0');
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  if (digits == 0) return false;
  if (sig == 0) {
    v = neg ? -T(0) : T(0);
    return true;
  }
  return exactValue(mant, point ? -frac : -d, neg, v);
}

// Real field of Fw.d or Ew.d: blanks ignored; an optional sign, digits with
// an optional point, an optional exponent of E, e, D or d, an optional sign
// and digits; in an E field also a sign and digits alone, the form Ew.d
// writes for an exponent beyond 99 (0.1234+100). Without a point the last d
// digits are decimals. All blank is 0. Converted with correct rounding
// straight to T.
template <class T>
bool parseReal(std::string_view f, int d, bool signedExponent, T& v) {
  if (plainReal(f, d, v)) return true;
  char buf[kMaxNumericWidth + 24];
  int n = 0;
  std::uint64_t mant = 0;  // the first 15 significant digits as an integer
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
        if (n < 15) mant = mant * 10 + static_cast<std::uint64_t>(c - '0');
        buf[n++] = c;
      } else if (c == '.' && !point) {
        point = true;
      } else if ((c == 'E' || c == 'e' || c == 'D' || c == 'd') && mantDigits) {
        expo = true;
      } else if ((c == '+' || c == '-') && mantDigits && signedExponent) {
        expo = true;
        expSign = true;
        expNeg = c == '-';
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
  if (n <= 15 && exactValue(mant, exp10, neg, v)) return true;
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

// A numeric field as only the writers make it: asterisks alone (a value
// that did not fit its field) or the texts of Infinity and NaN.
enum class Special { none, overflow, value };

template <class T>
Special parseSpecial(std::string_view f, T& v) {
  std::size_t a = f.find_first_not_of(' ');
  if (a == std::string_view::npos) return Special::none;
  std::size_t b = f.find_last_not_of(' ');
  std::string_view t = f.substr(a, b - a + 1);
  if (t.find_first_not_of('*') == std::string_view::npos) return Special::overflow;
  bool neg = false;
  if (t[0] == '+' || t[0] == '-') {
    neg = t[0] == '-';
    t.remove_prefix(1);
  }
  auto is = [&](std::string_view word) {
    if (t.size() != word.size()) return false;
    for (std::size_t k = 0; k < t.size(); ++k) {
      const char c = t[k] >= 'a' && t[k] <= 'z' ? static_cast<char>(t[k] - 'a' + 'A') : t[k];
      if (c != word[k]) return false;
    }
    return true;
  };
  if (is("NAN")) {
    v = std::numeric_limits<T>::quiet_NaN();
  } else if (is("INF") || is("INFINITY")) {
    v = neg ? -std::numeric_limits<T>::infinity() : std::numeric_limits<T>::infinity();
  } else {
    return Special::none;
  }
  return Special::value;
}

}  // namespace

LayoutReader::LayoutReader(const Layout& layout, RecordIn& in)
    : layout_(&layout), in_(&in) {}

// With the writers' own forms on, a field of asterisks is read as no value
// and Infinity and NaN as themselves. Returns whether the field was one.
template <class T>
bool LayoutReader::special(std::string_view f, T& v) {
  overflowed_ = false;
  if (!outputForms_) return false;
  const std::size_t a = f.find_first_not_of(' ');
  if (a == std::string_view::npos || isDigit(f[a]) || f[a] == '.') return false;  // the usual case
  T x{};
  switch (parseSpecial(f, x)) {
    case Special::none:
      return false;
    case Special::overflow:
      overflowed_ = true;
      return true;
    case Special::value:
      if constexpr (std::is_floating_point_v<T>) {
        v = x;
        return true;
      }
      return false;
  }
  return false;
}

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
    next_ = 0;
    return nextRecord();
  }
  return status_ == ReadResult::ok;
}

// The next item that takes a value, after going to the next record at each
// / met before it and skipping its nX; at the end of the layout the read
// goes on with the next record from the reversion point. nullptr at the
// end of the file (status set).
const Layout::Item* LayoutReader::next() {
  const std::vector<Layout::Item>& items = layout_->items();
  int records, blanks;
  if (next_ < items.size()) {
    records = items[next_].records;
    blanks = items[next_].blanks;
  } else {
    if (!layout_->reusable()) throw std::logic_error("a variable given to a layout with no item left for it");
    for (int k = 0; k <= layout_->tailRecords(); ++k) {
      if (!nextRecord()) return nullptr;
    }
    next_ = static_cast<std::size_t>(layout_->againIndex());
    records = layout_->againRecords();
    blanks = layout_->againBlanks();
  }
  for (int k = 0; k < records; ++k) {
    if (!nextRecord()) return nullptr;
  }
  pos_ += static_cast<std::size_t>(blanks);
  return &items[next_++];
}

// The next w characters of the record (fewer when the record ends first:
// the rest counts as blanks).
std::string_view LayoutReader::field(int w) {
  std::size_t start = std::min(pos_, rec_.size());
  std::string_view f = rec_.substr(start, static_cast<std::size_t>(w));
  pos_ += static_cast<std::size_t>(w);
  return f;
}

namespace {

std::string badField(const Layout::Item& op, std::string_view f, std::size_t column) {
  std::string s = "bad value \"" + std::string(f) + "\" for " + (op.kind == Kind::I ? "I" : op.kind == Kind::F ? "F" : "E") +
                  std::to_string(op.w);
  if (op.kind != Kind::I) s += "." + std::to_string(op.d);
  return s + " at column " + std::to_string(column);
}

}  // namespace

bool LayoutReader::get(std::int32_t& v) {
  if (!begin()) return false;
  const Layout::Item* op = next();
  if (!op) return false;
  if (op->kind != Kind::I) mismatch("an integer", op->kind);
  std::size_t column = pos_ + 1;
  std::string_view f = field(op->w);
  if (special(f, v)) return true;
  if (!parseInt(f, v)) return fail(ReadResult::error, badField(*op, f, column));
  return true;
}

bool LayoutReader::get(float& v) {
  if (!begin()) return false;
  const Layout::Item* op = next();
  if (!op) return false;
  if (op->kind != Kind::F && op->kind != Kind::E) mismatch("a real", op->kind);
  std::size_t column = pos_ + 1;
  std::string_view f = field(op->w);
  if (special(f, v)) return true;
  if (!parseReal(f, op->d, op->kind == Kind::E, v)) {
    return fail(ReadResult::error, badField(*op, f, column));
  }
  return true;
}

bool LayoutReader::get(double& v) {
  if (!begin()) return false;
  const Layout::Item* op = next();
  if (!op) return false;
  if (op->kind != Kind::F && op->kind != Kind::E) mismatch("a real", op->kind);
  std::size_t column = pos_ + 1;
  std::string_view f = field(op->w);
  if (special(f, v)) return true;
  if (!parseReal(f, op->d, op->kind == Kind::E, v)) {
    return fail(ReadResult::error, badField(*op, f, column));
  }
  return true;
}

// Aw: with w >= len the rightmost len characters of the field, otherwise
// the field left-justified and padded with blanks; A: len characters.
bool LayoutReader::get(char* text, std::size_t len) {
  if (!begin()) return false;
  const Layout::Item* op = next();
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
    const std::vector<Layout::Item>& items = layout_->items();
    int records = next_ < items.size() ? items[next_].records : layout_->tailRecords();
    for (int k = 0; k < records && nextRecord(); ++k) {
    }
  }
  open_ = false;
}

}  // namespace rio
