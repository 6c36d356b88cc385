// Free-format read: the truth vectors of tests/data/list-read-vectors.tsv,
// then the read examples, the messages, and the corners the vectors leave
// open (range limits, very long values, texts, repeat counts, allocation).
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "rio/listread.hpp"

// Every allocation of the test program is counted, so that a test can
// check that a read allocates nothing.
namespace {
std::size_t gAllocations = 0;
}
void* operator new(std::size_t n) {
  ++gAllocations;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
// The nothrow forms too (std::stable_sort takes its buffer with them): left
// to the library they would allocate elsewhere than malloc, and the delete
// above would free what it did not allocate.
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  ++gAllocations;
  return std::malloc(n ? n : 1);
}
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

using rio::ListTarget;
using rio::ReadResult;
using Kind = ListTarget::Kind;

// Records handed out the way the file reader does: the text is split at
// line feeds, one carriage return directly before a line feed is dropped,
// and a last line without a line feed is still a record.
class Records final : public rio::RecordIn {
 public:
  explicit Records(std::string_view text) {
    std::size_t b = 0;
    while (b < text.size()) {
      std::size_t e = text.find('\n', b);
      if (e == std::string_view::npos) {
        recs_.emplace_back(text.substr(b));
        break;
      }
      std::size_t l = e;
      if (l > b && text[l - 1] == '\r') --l;
      recs_.emplace_back(text.substr(b, l - b));
      b = e + 1;
    }
  }
  bool next(std::string_view& rec) override {
    if (used_ == recs_.size()) return false;
    rec = recs_[used_++];
    return true;
  }
  int used() const { return static_cast<int>(used_); }

 private:
  std::vector<std::string> recs_;
  std::size_t used_ = 0;
};

// Storage for the variables of one read.
struct Slot {
  std::int32_t i = -1;
  float f = -99.0f;
  double d = -99.0;
  char s[40];
};

constexpr std::size_t kTextLen = 40;

std::string trimRight(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return std::string(s);
}

// ---------------------------------------------------------------------------
// The truth vectors.

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> f;
  std::size_t b = 0;
  for (;;) {
    std::size_t e = line.find('\t', b);
    f.push_back(line.substr(b, e == std::string::npos ? e : e - b));
    if (e == std::string::npos) return f;
    b = e + 1;
  }
}

// record_lines: records joined by the two characters \n; \t and \r stand
// for a tab and a carriage return.
std::string decodeRecords(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      char c = s[i + 1];
      if (c == 'n' || c == 't' || c == 'r') {
        out.push_back(c == 'n' ? '\n' : c == 't' ? '\t' : '\r');
        ++i;
        continue;
      }
    }
    out.push_back(s[i]);
  }
  return out;
}

std::vector<Kind> decodeKinds(const std::string& s) {
  std::vector<Kind> k;
  std::size_t b = 0;
  while (b < s.size()) {
    std::size_t e = s.find(' ', b);
    if (e == std::string::npos) e = s.size();
    std::string w = s.substr(b, e - b);
    if (w == "r4") k.push_back(Kind::r4);
    else if (w == "r8") k.push_back(Kind::r8);
    else if (w == "i4") k.push_back(Kind::i4);
    else if (w == "a") k.push_back(Kind::text);
    else ADD_FAILURE() << "unknown target kind " << w;
    b = e + 1;
  }
  return k;
}

// Splits a column of values, one per target, at single blanks. A text may
// hold blanks, so when there is one text the values before it are taken
// from the left, those after it from the right, and the text is the rest.
std::vector<std::string> splitValues(const std::string& col,
                                     const std::vector<Kind>& kinds) {
  std::size_t texts = 0, textAt = 0;
  for (std::size_t j = 0; j < kinds.size(); ++j) {
    if (kinds[j] == Kind::text) {
      ++texts;
      textAt = j;
    }
  }
  std::vector<std::string> v(kinds.size());
  if (texts != 1) {  // no blanks inside any value
    std::size_t b = 0;
    for (std::size_t j = 0; j < kinds.size(); ++j) {
      std::size_t e = col.find(' ', b);
      if (e == std::string::npos) e = col.size();
      v[j] = col.substr(b, e - b);
      b = e + 1;
    }
    return v;
  }
  std::size_t b = 0, e = col.size();
  for (std::size_t j = 0; j < textAt; ++j) {
    std::size_t s = col.find(' ', b);
    v[j] = col.substr(b, s - b);
    b = s + 1;
  }
  for (std::size_t j = kinds.size() - 1; j > textAt; --j) {
    std::size_t s = col.rfind(' ', e - 1);
    v[j] = col.substr(s + 1, e - s - 1);
    e = s;
  }
  v[textAt] = col.substr(b, e - b);
  return v;
}

std::string hex(std::uint64_t bits, int digits) {
  char b[24];
  std::snprintf(b, sizeof b, "0x%0*llx", digits,
                static_cast<unsigned long long>(bits));
  return b;
}

// A variable as the vectors write it.
std::string shown(Kind k, const Slot& s) {
  switch (k) {
    case Kind::r4: return hex(std::bit_cast<std::uint32_t>(s.f), 8);
    case Kind::r8: return hex(std::bit_cast<std::uint64_t>(s.d), 16);
    case Kind::i4: return std::to_string(s.i);
    case Kind::text: return "s:" + trimRight({s.s, kTextLen});
  }
  return "?";
}

void setInitial(Kind k, const std::string& v, Slot& s) {
  switch (k) {
    case Kind::r4:
      s.f = std::bit_cast<float>(
          static_cast<std::uint32_t>(std::stoull(v, nullptr, 16)));
      break;
    case Kind::r8:
      s.d = std::bit_cast<double>(
          static_cast<std::uint64_t>(std::stoull(v, nullptr, 16)));
      break;
    case Kind::i4: s.i = std::stoi(v); break;
    case Kind::text: {
      ASSERT_EQ(v.rfind("s:", 0), 0u) << v;
      std::string t = v.substr(2);
      std::memset(s.s, ' ', kTextLen);
      std::memcpy(s.s, t.data(), std::min(t.size(), kTextLen));
      break;
    }
  }
}

TEST(ListReadVectors, EveryRowGivesItsResult) {
  std::ifstream in(VORN_TEST_DATA "/list-read-vectors.tsv", std::ios::binary);
  ASSERT_TRUE(in) << "cannot open list-read-vectors.tsv";
  std::string line;
  std::getline(in, line);
  ASSERT_EQ(line.rfind("record_lines\ttargets\tinitial\tresult\trecords_consumed", 0), 0u);

  int rows = 0, passed = 0, lineNo = 1;
  while (std::getline(in, line)) {
    ++lineNo;
    if (line.empty()) continue;
    std::vector<std::string> f = splitTabs(line);
    ASSERT_EQ(f.size(), 7u) << "line " << lineNo;
    ++rows;
    const std::vector<Kind> kinds = decodeKinds(f[1]);
    const std::size_t n = kinds.size();
    std::vector<Slot> slots(n);
    std::vector<ListTarget> targets(n);
    const std::vector<std::string> init = splitValues(f[2], kinds);
    for (std::size_t j = 0; j < n; ++j) {
      setInitial(kinds[j], init[j], slots[j]);
      void* p = kinds[j] == Kind::r4   ? static_cast<void*>(&slots[j].f)
                : kinds[j] == Kind::r8 ? static_cast<void*>(&slots[j].d)
                : kinds[j] == Kind::i4 ? static_cast<void*>(&slots[j].i)
                                       : static_cast<void*>(slots[j].s);
      targets[j] = ListTarget{kinds[j], p, kTextLen};
    }

    Records src(decodeRecords(f[0]));
    std::string why;
    const ReadResult res = rio::parseList(src, targets.data(), n, &why);
    const int used = res == ReadResult::ok ? src.used() : -1;

    std::string got;
    if (res == ReadResult::error) {
      got = "ERROR";
    } else if (res == ReadResult::eof) {
      got = "EOF";
    } else {
      for (std::size_t j = 0; j < n; ++j) {
        if (j) got += ' ';
        got += shown(kinds[j], slots[j]);
      }
    }
    std::string want = f[3];
    if (res == ReadResult::ok && want != "ERROR" && want != "EOF") {
      // The text values compare without their trailing blanks.
      std::vector<std::string> w = splitValues(want, kinds);
      want.clear();
      for (std::size_t j = 0; j < n; ++j) {
        if (j) want += ' ';
        want += kinds[j] == Kind::text ? trimRight(w[j]) : w[j];
      }
    }
    const int wantUsed = std::stoi(f[4]);
    if (got == want && used == wantUsed) {
      ++passed;
    } else {
      std::string rec = f[0].size() > 120 ? f[0].substr(0, 120) + "..." : f[0];
      ADD_FAILURE() << "line " << lineNo << ": [" << rec << "] read as "
                    << f[1] << "\n  expected " << f[3] << " (" << wantUsed
                    << " records)\n  got      " << got << " (" << used
                    << " records)" << (why.empty() ? "" : "; ") << why;
    }
  }
  EXPECT_EQ(rows, 176);
  EXPECT_EQ(passed, rows);
}

// ---------------------------------------------------------------------------
// Hand-written reads.

ListTarget r4(float& v) { return {Kind::r4, &v, 0}; }
ListTarget r8(double& v) { return {Kind::r8, &v, 0}; }
ListTarget i4(std::int32_t& v) { return {Kind::i4, &v, 0}; }
template <std::size_t N>
ListTarget text(char (&v)[N]) {
  std::memset(v, '#', N);
  return {Kind::text, v, N};
}

ReadResult readFrom(rio::RecordIn& src, std::vector<ListTarget> t,
                    std::string* why = nullptr) {
  return rio::parseList(src, t.data(), t.size(), why);
}

ReadResult read(std::string_view records, std::vector<ListTarget> t,
                std::string* why = nullptr) {
  Records src(records);
  return readFrom(src, std::move(t), why);
}

// The message of a read that is expected to fail.
std::string whyOf(std::string_view records, std::vector<ListTarget> t) {
  std::string why;
  EXPECT_NE(read(records, std::move(t), &why), ReadResult::ok) << records;
  return why;
}

std::uint32_t bitsOf(float v) { return std::bit_cast<std::uint32_t>(v); }
std::uint64_t bitsOf(double v) { return std::bit_cast<std::uint64_t>(v); }

TEST(ListRead, ExamplesOfTheReadRules) {
  float a = -99, b = -99, c = -99;
  ASSERT_EQ(read("3.5, 2", {r4(a), r4(b)}), ReadResult::ok);
  EXPECT_EQ(a, 3.5f);
  EXPECT_EQ(b, 2.0f);

  a = b = -99;
  ASSERT_EQ(read("3.5 / 7", {r4(a), r4(b)}), ReadResult::ok);
  EXPECT_EQ(a, 3.5f);
  EXPECT_EQ(b, -99.0f);

  a = b = -99;
  ASSERT_EQ(read("2*1.5", {r4(a), r4(b)}), ReadResult::ok);
  EXPECT_EQ(a, 1.5f);
  EXPECT_EQ(b, 1.5f);

  a = b = -99;
  ASSERT_EQ(read("3.5,,7", {r4(a), r4(b), r4(c)}), ReadResult::ok);
  EXPECT_EQ(a, 3.5f);
  EXPECT_EQ(b, -99.0f);
  EXPECT_EQ(c, 7.0f);
}

TEST(ListRead, EachReadStartsOnANewRecord) {
  Records src("24 100 1\n5 6\n");
  std::int32_t x = -1, y = -1, z = -1;
  ASSERT_EQ(readFrom(src, {i4(x), i4(y)}), ReadResult::ok);
  EXPECT_EQ(x, 24);
  EXPECT_EQ(y, 100);
  EXPECT_EQ(src.used(), 1);
  ASSERT_EQ(readFrom(src, {i4(z)}), ReadResult::ok);
  EXPECT_EQ(z, 5);
  EXPECT_EQ(readFrom(src, {i4(z)}), ReadResult::eof);

  // A read of no values still passes over one record.
  Records two("1\n2\n");
  ASSERT_EQ(readFrom(two, {}), ReadResult::ok);
  ASSERT_EQ(readFrom(two, {i4(z)}), ReadResult::ok);
  EXPECT_EQ(z, 2);
  EXPECT_EQ(readFrom(two, {}), ReadResult::eof);
}

TEST(ListRead, MessagesSayWhatWentWrong) {
  float f = 0;
  double d = 0;
  std::int32_t i = 0;
  char s[8];
  EXPECT_EQ(whyOf("3.5abc", {r4(f)}), "cannot read a real from \"3.5abc\"");
  EXPECT_EQ(whyOf("3.5;2", {r8(d), r8(d)}), "cannot read a real from \"3.5;2\"");
  EXPECT_EQ(whyOf("12a", {i4(i)}), "cannot read an integer from \"12a\"");
  EXPECT_EQ(whyOf("1.5", {i4(i)}), "an integer was due but \"1.5\" was found");
  EXPECT_EQ(whyOf("1e3", {i4(i)}), "an integer was due but \"1e3\" was found");
  EXPECT_EQ(whyOf("1 2", {i4(i), i4(i), i4(i)}), "end of file: 2 of 3 values read");
  EXPECT_EQ(whyOf(",,", {r4(f), r4(f), r4(f)}), "end of file: 2 of 3 values read");
  EXPECT_EQ(whyOf("", {}), "end of file: 0 of 0 values read");
  EXPECT_EQ(whyOf("2147483648", {i4(i)}),
            "the integer \"2147483648\" does not fit in 32 bits");
  EXPECT_EQ(whyOf("1e39", {r4(f)}),
            "the real \"1e39\" is out of the range of single precision");
  EXPECT_EQ(whyOf("-1d309", {r8(d)}),
            "the real \"-1d309\" is out of the range of double precision");
  EXPECT_EQ(whyOf("'3.5'", {r4(f)}),
            "a real was due but the text \"'3.5'\" was found");
  EXPECT_EQ(whyOf("\"7\"", {i4(i)}),
            "an integer was due but the text \"\"7\"\" was found");
  EXPECT_EQ(whyOf("'abc", {text(s)}),
            "the text \"'abc\" is not closed on its record");
  EXPECT_EQ(whyOf("'abc'x 7", {text(s)}), "cannot read a text from \"'abc'x\"");
  EXPECT_EQ(whyOf("0*5", {i4(i)}), "the repeat count in \"0*5\" is not positive");

  // A long value is shortened in the message.
  EXPECT_EQ(whyOf(std::string(5000, '9') + "x", {r8(d)}),
            "cannot read a real from \"" + std::string(57, '9') + "...\"");

  // A read that succeeds leaves the message alone.
  std::string why = "untouched";
  EXPECT_EQ(read("1", {i4(i)}, &why), ReadResult::ok);
  EXPECT_EQ(why, "untouched");
  // And a failing read without a message place is fine.
  EXPECT_EQ(read("x", {i4(i)}), ReadResult::error);
}

// Values are rounded once, to nearest with ties to even, straight to the
// variable's precision, however many digits they have.
TEST(ListRead, RealsRoundCorrectlyAtTheLimits) {
  float f = 0;
  double d = 0;
  auto f32 = [&](const std::string& s) {
    f = -99;
    EXPECT_EQ(read(s, {r4(f)}), ReadResult::ok) << s.substr(0, 60);
    return bitsOf(f);
  };
  auto f64 = [&](const std::string& s) {
    d = -99;
    EXPECT_EQ(read(s, {r8(d)}), ReadResult::ok) << s.substr(0, 60);
    return bitsOf(d);
  };

  // Largest single and the first value that rounds past it; likewise double.
  EXPECT_EQ(f32("3.4028235677e38"), 0x7f7fffffu);
  EXPECT_EQ(read("3.4028235678e38", {r4(f)}), ReadResult::error);
  EXPECT_EQ(f64("1.7976931348623158e308"), 0x7fefffffffffffffu);
  EXPECT_EQ(read("1.7976931348623159e308", {r8(d)}), ReadResult::error);
  EXPECT_EQ(f64("1e39"), bitsOf(1e39));

  // Below half the smallest subnormal a value becomes a zero of its sign.
  EXPECT_EQ(f32("1e-50"), 0x00000000u);
  EXPECT_EQ(f32("-1e-50"), 0x80000000u);
  EXPECT_EQ(f32("7e-46"), 0x00000000u);
  EXPECT_EQ(f32("7.1e-46"), 0x00000001u);
  EXPECT_EQ(f64("2.47e-324"), 0x0u);
  EXPECT_EQ(f64("2.48e-324"), 0x1u);
  EXPECT_EQ(f64("-1e-400"), 0x8000000000000000u);
  EXPECT_EQ(f64("1e-99999999999999999999"), 0x0u);
  EXPECT_EQ(read("1e99999999999999999999", {r8(d)}), ReadResult::error);

  // Exact halfway points between neighbours, then a non-zero digit far
  // beyond the hundreds of digits that are looked at in full.
  const std::string halfF = "1.000000059604644775390625";
  EXPECT_EQ(f32(halfF + std::string(900, '0')), 0x3f800000u);
  EXPECT_EQ(f32(halfF + std::string(900, '0') + "1"), 0x3f800001u);
  const std::string halfD =
      "1.00000000000000011102230246251565404236316680908203125";
  EXPECT_EQ(f64(halfD + std::string(1000, '0')), 0x3ff0000000000000u);
  EXPECT_EQ(f64(halfD + std::string(1000, '0') + "1"), 0x3ff0000000000001u);
  EXPECT_EQ(f64(halfD + std::string(1000, '0') + "1d0"), 0x3ff0000000000001u);
  // Halfway above an odd last digit rounds up to the even neighbour.
  EXPECT_EQ(f32("1.000000178813934326171875" + std::string(900, '0')),
            0x3f800002u);

  // Leading zeros and long exponents shift the point, nothing else.
  EXPECT_EQ(f64("0." + std::string(1000, '0') + "15e1001"), bitsOf(1.5));
  EXPECT_EQ(f64(std::string(1000, '0') + "2.5"), bitsOf(2.5));
  EXPECT_EQ(f32("1e" + std::string(30, '0') + "1"), bitsOf(10.0f));
  EXPECT_EQ(f64("0.5" + std::string(1000, '0') + "d1"), bitsOf(5.0));
  EXPECT_EQ(f64("1" + std::string(300, '0')), bitsOf(1e300));
  EXPECT_EQ(f64("1" + std::string(300, '0') + ".e-600"), bitsOf(1e-300));
  EXPECT_EQ(read("1" + std::string(400, '0'), {r8(d)}), ReadResult::error);
  EXPECT_EQ(f64("-0.000e-5"), 0x8000000000000000u);
}

TEST(ListRead, TextIsCutOrPaddedToItsLength) {
  char s3[3], s6[6], t6[6];
  std::int32_t i = -1;
  ASSERT_EQ(read("abcdef", {text(s3)}), ReadResult::ok);
  EXPECT_EQ(std::string_view(s3, 3), "abc");
  ASSERT_EQ(read("ab", {text(s6)}), ReadResult::ok);
  EXPECT_EQ(std::string_view(s6, 6), "ab    ");
  ASSERT_EQ(read("'don''t'", {text(s3)}), ReadResult::ok);
  EXPECT_EQ(std::string_view(s3, 3), "don");
  ASSERT_EQ(read("\"say \"\"hi\"\"\"", {text(s6)}), ReadResult::ok);
  EXPECT_EQ(std::string_view(s6, 6), "say \"h");
  ASSERT_EQ(read("'it''s' 7", {text(s6), i4(i)}), ReadResult::ok);
  EXPECT_EQ(std::string_view(s6, 6), "it's  ");
  EXPECT_EQ(i, 7);
  ASSERT_EQ(read("''", {text(s3)}), ReadResult::ok);
  EXPECT_EQ(std::string_view(s3, 3), "   ");
  ASSERT_EQ(read("'a\tb'", {text(s3)}), ReadResult::ok);
  EXPECT_EQ(std::string_view(s3, 3), "a\tb");

  // Undelimited: any characters up to a blank, tab, comma or slash.
  ASSERT_EQ(read("ab'c 7up", {text(s6), text(t6)}), ReadResult::ok);
  EXPECT_EQ(std::string_view(s6, 6), "ab'c  ");
  EXPECT_EQ(std::string_view(t6, 6), "7up   ");
  ASSERT_EQ(read("'a/b'/ x", {text(s6), text(t6)}), ReadResult::ok);
  EXPECT_EQ(std::string_view(s6, 6), "a/b   ");
  EXPECT_EQ(std::string_view(t6, 6), "######");  // left as it was

  // A delimited text ends on its own record; it does not take the next one.
  Records src("'open\nnext'\n");
  EXPECT_EQ(readFrom(src, {text(s6)}), ReadResult::error);
  EXPECT_EQ(src.used(), 1);
  EXPECT_EQ(read("'abc'd", {text(s6)}), ReadResult::error);
}

TEST(ListRead, RepeatCountsApplyToEachVariable) {
  std::int32_t i = -1, j = -1;
  float f = -99, g = -99, h = -99;
  char s[4], t[4];

  // One value, converted for each variable it is given to.
  ASSERT_EQ(read("2*5", {i4(i), r4(f)}), ReadResult::ok);
  EXPECT_EQ(i, 5);
  EXPECT_EQ(f, 5.0f);
  EXPECT_EQ(read("2*1.5", {r4(f), i4(i)}), ReadResult::error);
  ASSERT_EQ(read("2*'a b'", {text(s), text(t)}), ReadResult::ok);
  EXPECT_EQ(std::string_view(s, 4), "a b ");
  EXPECT_EQ(std::string_view(t, 4), "a b ");

  // Null repeats, followed by a slash or going beyond the list.
  f = g = h = -99;
  ASSERT_EQ(read("2*/ 4", {r4(f), r4(g), r4(h)}), ReadResult::ok);
  EXPECT_EQ(h, -99.0f);
  ASSERT_EQ(read("007*2", {i4(i), i4(j)}), ReadResult::ok);
  EXPECT_EQ(j, 2);
  ASSERT_EQ(read("99999999999999999999*3", {i4(i), i4(j)}), ReadResult::ok);
  EXPECT_EQ(i, 3);
  EXPECT_EQ(j, 3);

  // The star belongs to the count: nothing may come between them.
  EXPECT_EQ(read("2 *5", {i4(i), i4(j)}), ReadResult::error);
  EXPECT_EQ(read("+2*5", {i4(i), i4(j)}), ReadResult::error);
  EXPECT_EQ(read("0*", {i4(i)}), ReadResult::error);
}

TEST(ListRead, SeparatorsAndRecordEnds) {
  float f = -99, g = -99;
  // Blank records before the first value; a comma after them is a null.
  ASSERT_EQ(read("\n\n,5", {r4(f), r4(g)}), ReadResult::ok);
  EXPECT_EQ(f, -99.0f);
  EXPECT_EQ(g, 5.0f);
  // A lone carriage return ending the last line is not part of the value;
  // elsewhere it is no separator.
  ASSERT_EQ(read("1.5\r", {r4(f)}), ReadResult::ok);
  EXPECT_EQ(f, 1.5f);
  EXPECT_EQ(read("1.5\r 2", {r4(f), r4(g)}), ReadResult::error);
  EXPECT_EQ(read("1.5\v2", {r4(f), r4(g)}), ReadResult::error);
  // Only blanks and tabs separate; a record of 12,000 characters is fine.
  const std::string wide = std::string(11990, ' ') + "\t8 \t 9";
  ASSERT_EQ(read(wide, {r4(f), r4(g)}), ReadResult::ok);
  EXPECT_EQ(f, 8.0f);
  EXPECT_EQ(g, 9.0f);
}

// Forcing-file rows are read inside the time loop: a read that succeeds
// allocates nothing, however long its values.
TEST(ListRead, ASuccessfulReadAllocatesNothing) {
  const std::string row =
      "121.0416666667  -0.123  0.045, 2*7 'name' 0." + std::string(500, '3') +
      "D+00 ! comment";
  Records src(row);
  double t = 0, e = 0;
  float u = 0, v = 0;
  std::int32_t a = 0, b = 0;
  char name[8];
  ListTarget targets[] = {r8(t), r4(u), r4(v), i4(a), i4(b), text(name), r8(e)};
  std::string why;
  why.reserve(200);
  const std::size_t before = gAllocations;
  const ReadResult res = rio::parseList(src, targets, 7, &why);
  const std::size_t after = gAllocations;
  ASSERT_EQ(res, ReadResult::ok) << why;
  EXPECT_EQ(after, before);
  EXPECT_EQ(b, 7);
  EXPECT_EQ(bitsOf(e), bitsOf(1.0 / 3.0));
}

}  // namespace
