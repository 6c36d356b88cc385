// Fuzz target: a layout string is parsed; values are written with it and
// read back with it.
//
// Input: the layout text up to the first line feed; the rest gives the
// values, taken in the order of the layout's items (again from the
// reversion point when the layout can take more): I an integer from 4
// bytes; F and E a selector byte, then a single (4 bytes, selector even)
// or a double (8 bytes); A a length byte and that many characters. Missing
// bytes read as 0.
//
// Properties: a layout is parsed or refused with std::invalid_argument;
// every value written reads back: integers and texts exactly, reals within
// the rounding of their field, unless the field was filled with asterisks
// (or holds no digit at all, see unreadableByDesign).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "rio/layout.hpp"
#include "targets.hpp"

namespace {

using Kind = rio::Layout::Op::Kind;

constexpr std::size_t kMaxRecordChars = 1 << 20;  // beyond this the input is skipped, not a finding
constexpr std::size_t kMaxValues = 200;

struct Bytes {
  const std::uint8_t* p;
  std::size_t n;
  std::size_t at = 0;
  std::uint8_t next() { return at < n ? p[at++] : 0; }
  template <class T>
  T value() {
    unsigned char b[sizeof(T)];
    for (auto& c : b) c = next();
    T v;
    std::memcpy(&v, b, sizeof v);
    return v;
  }
};

struct MemoryOut final : rio::RecordOut {
  std::vector<std::string> records;
  void record(const char* p, std::size_t n) override { records.emplace_back(p, n); }
};

struct MemoryIn final : rio::RecordIn {
  const std::vector<std::string>* records;
  std::size_t at = 0;
  explicit MemoryIn(const std::vector<std::string>& r) : records(&r) {}
  bool next(std::string_view& rec) override {
    if (at >= records->size()) return false;
    rec = (*records)[at++];
    return true;
  }
};

struct Value {
  Kind kind;
  int w, d;
  bool isDouble = false;
  std::int32_t i = 0;
  double x = 0;  // the single or double value, exactly
  std::string text;
};

// Whether the field of a failed read (from the reader's message: bad value
// "...") is one that cannot read back by design: asterisks for a value
// that does not fit, or a field without a digit, which Fw.0 writes for a
// value that rounds to zero when even its zero does not fit ("." or "-.").
bool unreadableByDesign(const std::string& why) {
  const auto a = why.find('"');
  const auto b = why.find('"', a + 1);
  if (a == std::string::npos || b == std::string::npos || b == a + 1) return false;
  const std::string field = why.substr(a + 1, b - a - 1);
  if (field.find_first_not_of("* ") == std::string::npos) return true;
  return field.find_first_of("0123456789") == std::string::npos;
}

// The largest error the field may carry: half a unit of its last decimal;
// for E the unit follows the value's decimal exponent (taken one too large
// when rounding carries into a new digit, hence 10^(x - d), twice the half).
double allowedError(const Value& v) {
  const double a = std::fabs(v.x);
  double unit = 0;
  if (v.kind == Kind::F) {
    unit = 0.5 * std::pow(10.0, -v.d);
  } else if (a > 0) {
    const double x = std::floor(std::log10(a)) + 1;
    unit = std::pow(10.0, x - v.d);
  }
  return unit * (1 + 1e-12) + a * 1e-15;
}

}  // namespace

int fuzzLayout(const std::uint8_t* data, std::size_t size) {
  const auto* text = reinterpret_cast<const char*>(data);
  const std::size_t cut = std::string_view(text, size).find('\n');
  const std::string_view layoutText(text, cut == std::string_view::npos ? size : cut);
  Bytes bytes{data, size, cut == std::string_view::npos ? size : cut + 1};

  std::unique_ptr<rio::Layout> layout;
  try {
    layout = std::make_unique<rio::Layout>(layoutText);
  } catch (const std::invalid_argument&) {
    return 0;
  }
  const auto& items = layout->items();
  std::size_t count = items.size();
  if (layout->reusable()) count = std::min(kMaxValues, 2 * items.size() + 1);
  count = std::min(count, kMaxValues);

  // The values, following the items as the writer will.
  std::vector<Value> values;
  std::size_t chars = 0;
  for (std::size_t k = 0, item = 0; k < count; ++k, ++item) {
    if (item == items.size()) item = static_cast<std::size_t>(layout->againIndex());
    const auto& it = items[item];
    Value v{it.kind, it.w, it.d, false, 0, 0, {}};
    switch (it.kind) {
      case Kind::I:
        v.i = bytes.value<std::int32_t>();
        break;
      case Kind::F:
      case Kind::E:
        v.isDouble = bytes.next() % 2 == 1;
        v.x = v.isDouble ? bytes.value<double>() : static_cast<double>(bytes.value<float>());
        break;
      default: {
        const std::size_t len = bytes.next();
        for (std::size_t c = 0; c < len; ++c) v.text.push_back(static_cast<char>(bytes.next()));
        if (v.w == 0) v.w = static_cast<int>(len);
      }
    }
    chars += static_cast<std::size_t>(it.w + it.blanks) + v.text.size();
    values.push_back(std::move(v));
  }
  if (chars > kMaxRecordChars) return 0;

  MemoryOut out;
  {
    rio::LayoutWriter w(*layout, out);
    for (const Value& v : values) {
      if (v.kind == Kind::I) {
        w.put(v.i);
      } else if (v.kind == Kind::A) {
        w.put(std::string_view(v.text));
      } else if (v.isDouble) {
        w.put(v.x);
      } else {
        w.put(static_cast<float>(v.x));
      }
    }
    w.end();
  }
  if (out.records.empty()) throw FuzzFinding("a write made no record");

  MemoryIn in(out.records);
  rio::LayoutReader r(*layout, in);
  for (std::size_t k = 0; k < values.size(); ++k) {
    const Value& v = values[k];
    bool ok = false;
    if (v.kind == Kind::I) {
      std::int32_t got = 0;
      ok = r.get(got);
      if (ok && got != v.i) {
        throw FuzzFinding("integer " + std::to_string(v.i) + " read back as " +
                          std::to_string(got));
      }
    } else if (v.kind == Kind::A) {
      std::string got(v.text.size(), '?');
      ok = r.get(got.data(), got.size());
      // A text longer than its field keeps its first w characters.
      std::string expect = v.text;
      if (static_cast<std::size_t>(v.w) < expect.size()) {
        expect = expect.substr(0, static_cast<std::size_t>(v.w)) +
                 std::string(expect.size() - static_cast<std::size_t>(v.w), ' ');
      }
      if (ok && got != expect) throw FuzzFinding("text read back changed");
      if (!ok) throw FuzzFinding("text read back failed: " + r.why());
    } else {
      double got = 0;
      ok = r.get(got);
      if (ok && std::isfinite(v.x) && !(std::fabs(got - v.x) <= allowedError(v))) {
        char msg[160];
        std::snprintf(msg, sizeof msg, "%s %.17g with %c%d.%d read back as %.17g",
                      v.isDouble ? "double" : "single", v.x, v.kind == Kind::F ? 'F' : 'E', v.w,
                      v.d, got);
        throw FuzzFinding(msg);
      }
    }
    if (!ok) {
      if (r.status() == rio::ReadResult::eof) throw FuzzFinding("read back met the end: " + r.why());
      const bool finiteReal = v.kind != Kind::I && std::isfinite(v.x);
      if ((v.kind == Kind::I || finiteReal) && !unreadableByDesign(r.why())) {
        throw FuzzFinding("a written value does not read back: " + r.why());
      }
      break;  // the rest of the read has failed with it
    }
  }
  return 0;
}
