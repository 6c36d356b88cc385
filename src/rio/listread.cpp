// Free-format (list-directed) reading: the parameter records and the
// forcing-file rows. One pass over the characters of the records, no
// allocation (the `why` text is built only on failure), no locale.
#include "rio/listread.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

namespace rio {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isQuote(char c) { return c == '\'' || c == '"'; }
// Characters that end an undelimited value: a separator or the slash.
bool endsValue(char c) { return isBlank(c) || c == ',' || c == '/'; }

// The records of one read and the position in the current one.
struct Cursor {
  explicit Cursor(RecordIn& s) : src(s) {}

  RecordIn& src;
  std::string_view rec;
  std::size_t pos = 0;

  bool nextRecord() {
    if (!src.next(rec)) return false;
    // A source hands records without their line end; a lone carriage
    // return can still arrive on a last line that has no line feed.
    if (!rec.empty() && rec.back() == '\r') rec.remove_suffix(1);
    pos = 0;
    return true;
  }
  bool atEnd() const { return pos == rec.size(); }
};

// One value as it stands in the record. For a delimited text, `body` is
// what lies between the marks (a doubled mark still doubled) and `raw`
// includes the marks; otherwise both are the characters of the value.
struct Value {
  std::string_view raw;
  std::string_view body;
  char quote = 0;  // the delimiting mark, 0 for an undelimited value
};

// Outcome of converting one value for one variable.
enum class Conv { ok, syntax, range };

const char* kindName(ListTarget::Kind k) {
  switch (k) {
    case ListTarget::Kind::i4: return "an integer";
    case ListTarget::Kind::r4:
    case ListTarget::Kind::r8: return "a real";
    case ListTarget::Kind::text: break;
  }
  return "a text";
}

// Record characters quoted for a message; a long value is shortened.
std::string quoted(std::string_view s) {
  constexpr std::size_t kShown = 60;
  std::string q = "\"";
  if (s.size() > kShown) {
    q.append(s.substr(0, kShown - 3));
    q.append("...");
  } else {
    q.append(s);
  }
  q.push_back('"');
  return q;
}

ReadResult fail(std::string* why, ReadResult r, std::string text) {
  if (why) *why = std::move(text);
  return r;
}

// Integer: optional sign and at least one digit, within 32 bits.
Conv toInt(std::string_view s, std::int32_t& out) {
  std::size_t i = 0;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  if (i == s.size()) return Conv::syntax;
  constexpr std::uint64_t kLimit = std::uint64_t{1} << 31;
  std::uint64_t v = 0;
  for (; i < s.size(); ++i) {
    if (!isDigit(s[i])) return Conv::syntax;
    // Stop growing once past the limit; leading zeros cost nothing.
    if (v <= kLimit) v = v * 10 + static_cast<unsigned>(s[i] - '0');
  }
  if (v > kLimit - (neg ? 0 : 1)) return Conv::range;
  out = neg ? static_cast<std::int32_t>(-static_cast<std::int64_t>(v))
            : static_cast<std::int32_t>(v);
  return Conv::ok;
}

// Real: optional sign, digits with an optional decimal point (at least one
// digit), optional exponent E, e, D or d with optional sign and digits.
//
// std::from_chars knows neither D nor a leading plus and stops silently at
// a character it does not take, so the value is checked here and rewritten
// as "[-]digits e exponent" in a local buffer. Only the first kKept
// significant digits are kept; when a non-zero digit is dropped a final 1
// stands for it. No rounding boundary of a float or double needs more than
// 767 significant digits, so the rewritten number rounds like the original.
// from_chars then rounds correctly to T itself (a float is not rounded
// through a double). It reports both overflow and underflow to zero as
// result_out_of_range; the position of the leading digit tells them apart.
template <class T>
Conv toReal(std::string_view s, T& out) {
  constexpr std::size_t kKept = 800;
  constexpr std::int64_t kExpCap = 1'000'000'000;
  char buf[kKept + 32];
  std::size_t nb = 0;

  std::size_t i = 0;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  if (neg) buf[nb++] = '-';

  std::int64_t digits = 0, fracDigits = 0, dropped = 0;
  std::size_t kept = 0;
  bool point = false, sticky = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (isDigit(c)) {
      ++digits;
      if (point) ++fracDigits;
      if (kept == 0 && c == '0') continue;
      if (kept < kKept) {
        buf[nb + kept++] = c;
      } else {
        ++dropped;
        sticky = sticky || c != '0';
      }
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digits == 0) return Conv::syntax;

  std::int64_t exp = 0;
  if (i < s.size()) {
    char c = s[i++];
    if (c != 'E' && c != 'e' && c != 'D' && c != 'd') return Conv::syntax;
    bool eneg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) eneg = s[i++] == '-';
    if (i == s.size()) return Conv::syntax;
    for (; i < s.size(); ++i) {
      if (!isDigit(s[i])) return Conv::syntax;
      if (exp < kExpCap) exp = exp * 10 + (s[i] - '0');
    }
    if (eneg) exp = -exp;
  }

  if (kept == 0) {  // all digits zero: keep the sign
    out = neg ? -T(0) : T(0);
    return Conv::ok;
  }
  std::int64_t e = exp - fracDigits + dropped;
  if (sticky) {
    buf[nb + kept++] = '1';
    --e;
  }
  // Value = 0.d1d2.. x 10^(lead + 1); far beyond either range it is 0 or
  // infinite whatever the digits, so the exponent written can be bounded.
  const std::int64_t lead = static_cast<std::int64_t>(kept) + e - 1;
  if (e > 99999) e = 99999;
  if (e < -99999) e = -99999;
  nb += kept;
  buf[nb++] = 'e';
  auto w = std::to_chars(buf + nb, buf + sizeof buf, e);
  const char* end = w.ptr;

  T v{};
  auto r = std::from_chars(buf, end, v);
  if (r.ec == std::errc::result_out_of_range) {
    if (lead >= 0) return Conv::range;
    out = neg ? -T(0) : T(0);
    return Conv::ok;
  }
  if (r.ec != std::errc() || r.ptr != end) return Conv::syntax;
  if (std::isinf(v)) return Conv::range;
  out = v;
  return Conv::ok;
}

// Assigns a text value to a text variable of length len: cut at len or
// padded with blanks; a doubled mark inside a delimited text is one mark.
void assignText(const Value& v, char* dst, std::size_t len) {
  std::size_t k = 0;
  std::string_view b = v.body;
  for (std::size_t i = 0; i < b.size() && k < len; ++i) {
    dst[k++] = b[i];
    if (v.quote && b[i] == v.quote) ++i;  // skip the second of the pair
  }
  for (; k < len; ++k) dst[k] = ' ';
}

// Gives value v to variable t; on failure describes it in why.
ReadResult assign(const ListTarget& t, const Value& v, std::string* why) {
  using K = ListTarget::Kind;
  if (t.kind == K::text) {
    assignText(v, static_cast<char*>(t.p), t.len);
    return ReadResult::ok;
  }
  if (v.quote) {
    return fail(why, ReadResult::error,
                std::string(kindName(t.kind)) + " was due but the text " +
                    quoted(v.raw) + " was found");
  }
  Conv c = Conv::syntax;
  switch (t.kind) {
    case K::i4: {
      c = toInt(v.body, *static_cast<std::int32_t*>(t.p));
      if (c == Conv::syntax) {
        double probe;
        if (toReal(v.body, probe) != Conv::syntax) {
          return fail(why, ReadResult::error,
                      "an integer was due but " + quoted(v.raw) + " was found");
        }
      } else if (c == Conv::range) {
        return fail(why, ReadResult::error,
                    "the integer " + quoted(v.raw) + " does not fit in 32 bits");
      }
      break;
    }
    case K::r4:
      c = toReal(v.body, *static_cast<float*>(t.p));
      if (c == Conv::range) {
        return fail(why, ReadResult::error,
                    "the real " + quoted(v.raw) +
                        " is out of the range of single precision");
      }
      break;
    case K::r8:
      c = toReal(v.body, *static_cast<double*>(t.p));
      if (c == Conv::range) {
        return fail(why, ReadResult::error,
                    "the real " + quoted(v.raw) +
                        " is out of the range of double precision");
      }
      break;
    case K::text: break;
  }
  if (c == Conv::syntax) {
    return fail(why, ReadResult::error,
                std::string("cannot read ") + kindName(t.kind) + " from " +
                    quoted(v.raw));
  }
  return ReadResult::ok;
}

// Takes the value that starts at the cursor: a delimited text (which must
// close on its record and be followed by a separator, a slash or the
// record end) or the characters up to the next separator or slash.
ReadResult scanValue(Cursor& c, const ListTarget& t, Value& v,
                     std::string* why) {
  const std::string_view r = c.rec;
  const std::size_t start = c.pos;
  if (isQuote(r[start])) {
    const char q = r[start];
    std::size_t i = start + 1;
    for (;;) {
      if (i == r.size()) {
        return fail(why, ReadResult::error,
                    "the text " + quoted(r.substr(start)) +
                        " is not closed on its record");
      }
      if (r[i] == q) {
        if (i + 1 < r.size() && r[i + 1] == q) {
          i += 2;
          continue;
        }
        break;
      }
      ++i;
    }
    v.quote = q;
    v.body = r.substr(start + 1, i - start - 1);
    v.raw = r.substr(start, i + 1 - start);
    c.pos = i + 1;
    if (!c.atEnd() && !endsValue(r[c.pos])) {
      std::size_t e = c.pos;
      while (e < r.size() && !endsValue(r[e])) ++e;
      return fail(why, ReadResult::error,
                  std::string("cannot read ") + kindName(t.kind) + " from " +
                      quoted(r.substr(start, e - start)));
    }
    return ReadResult::ok;
  }
  std::size_t e = start;
  while (e < r.size() && !endsValue(r[e])) ++e;
  v.quote = 0;
  v.raw = v.body = r.substr(start, e - start);
  c.pos = e;
  return ReadResult::ok;
}

}  // namespace

// The free-format read of every caller (parameter records, forcing-file
// headers and rows). Reads targets[0..n) from src starting with a new
// record and going on to further records while values are missing; writes
// only the variables that get a value. `why` is written on eof or error.
ReadResult parseList(RecordIn& src, const ListTarget* targets, std::size_t n,
                     std::string* why, bool* assigned) {
  Cursor c(src);
  std::size_t k = 0;  // the next variable to fill
  auto endOfFile = [&] {
    return fail(why, ReadResult::eof,
                "end of file: " + std::to_string(k) + " of " +
                    std::to_string(n) + " values read");
  };
  if (!c.nextRecord()) return endOfFile();

  // A comma met while this is set is a null value: at the start of the
  // read, and after a comma that already ended the previous value.
  bool afterComma = true;
  while (k < n) {
    if (c.atEnd()) {  // the record end is a blank
      if (!c.nextRecord()) return endOfFile();
      continue;
    }
    const char ch = c.rec[c.pos];
    if (isBlank(ch)) {
      ++c.pos;
      continue;
    }
    if (ch == ',') {
      ++c.pos;
      if (afterComma) ++k;
      afterComma = true;
      continue;
    }
    if (ch == '/') return ReadResult::ok;

    // r*v or r*: a positive repeat count without sign, then a star.
    std::size_t copies = 1;
    const std::size_t start = c.pos;
    std::size_t i = start;
    std::size_t r = 0;
    while (i < c.rec.size() && isDigit(c.rec[i])) {
      if (r <= n) r = r * 10 + static_cast<unsigned>(c.rec[i] - '0');
      ++i;
    }
    if (i > start && i < c.rec.size() && c.rec[i] == '*') {
      if (r == 0) {
        std::size_t e = i;
        while (e < c.rec.size() && !endsValue(c.rec[e])) ++e;
        return fail(why, ReadResult::error,
                    "the repeat count in " +
                        quoted(c.rec.substr(start, e - start)) +
                        " is not positive");
      }
      copies = r;
      c.pos = i + 1;
      if (c.atEnd() || endsValue(c.rec[c.pos])) {  // r null values
        k += copies < n - k ? copies : n - k;
        afterComma = false;
        continue;
      }
    }

    Value v;
    if (ReadResult res = scanValue(c, targets[k], v, why); res != ReadResult::ok) {
      return res;
    }
    for (; copies > 0 && k < n; --copies, ++k) {
      if (ReadResult res = assign(targets[k], v, why); res != ReadResult::ok) {
        return res;
      }
      if (assigned) assigned[k] = true;
    }
    afterComma = false;
  }
  return ReadResult::ok;
}

}  // namespace rio
