// Layout strings: parsing, record structure of output (reversion, trailing
// nX, /, reuse of a writer) and input with a layout.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "rio/layout.hpp"
#include "rio/numfmt.hpp"

namespace {

using rio::Layout;
using rio::LayoutReader;
using rio::LayoutWriter;
using rio::ReadResult;

struct Collect : rio::RecordOut {
  std::vector<std::string> records;
  void record(const char* p, std::size_t n) override { records.emplace_back(p, n); }
};

struct Lines : rio::RecordIn {
  std::vector<std::string> lines;
  std::size_t next_ = 0;
  explicit Lines(std::vector<std::string> l) : lines(std::move(l)) {}
  bool next(std::string_view& rec) override {
    if (next_ == lines.size()) return false;
    rec = lines[next_++];
    return true;
  }
};

using Records = std::vector<std::string>;

// Writes the integers with the layout as one write.
Records writeInts(const char* layout, std::vector<int> values) {
  Layout l(layout);
  Collect out;
  LayoutWriter w(l, out);
  for (int v : values) w.put(static_cast<std::int32_t>(v));
  w.end();
  return out.records;
}

TEST(LayoutParse, AcceptsCaseBlanksOuterParenthesesAndSlashesWithoutCommas) {
  EXPECT_EQ(writeInts("1x, i3", {5}), Records{"   5"});
  EXPECT_EQ(writeInts("(I2,I2)", {1, 2}), Records{" 1 2"});
  EXPECT_EQ(writeInts("I2/I2", {1, 2}), (Records{" 1", " 2"}));
  EXPECT_EQ(writeInts("I2//I2", {1, 2}), (Records{" 1", "", " 2"}));
  EXPECT_EQ(writeInts("I2,2/,I2", {1, 2}), (Records{" 1", "", " 2"}));
  EXPECT_EQ(writeInts("3I2", {1, 2, 3}), Records{" 1 2 3"});
  // A layout that only starts with a group is not enclosed in parentheses.
  Layout l("(I1),2(I2)");
  EXPECT_EQ(l.reversion(), 3);
}

TEST(LayoutParse, MalformedLayoutsAreRefused) {
  for (const char* bad :
       {"I", "F8", "F8.", "F.3", "E8.0", "X", "I5,,I3", ",I5", "I5,", "2()", "(I5", "I5)", "Q5", "0I5", "I0",
        "I5 I3", "I5(I3)", "A0", "F8.3.2", "2", "I1001", "(I5))", "((I5)", "I5,'x'", "1X2"}) {
    EXPECT_THROW(Layout{bad}, std::invalid_argument) << bad;
  }
  EXPECT_NO_THROW(Layout{"I1000"});
  EXPECT_NO_THROW(Layout{"A5000"});
}

TEST(LayoutWrite, ReversionEndsTheRecordAndRestartsAtTheLastOuterGroup) {
  EXPECT_EQ(writeInts("I2,2(I3)", {1, 2, 3, 4, 5, 6}), (Records{" 1  2  3", "  4  5", "  6"}));
  // The group repeat count applies again after reversion; inner groups do not count.
  EXPECT_EQ(writeInts("I1,2(I2,2(I3))", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}),
            (Records{"1 2  3  4 5  6  7", " 8  9 10"}));
  EXPECT_EQ(writeInts("(I1),I2", {1, 2, 3, 4}), (Records{"1 2", "3 4"}));
  // No group: from the beginning, leading 1X included.
  EXPECT_EQ(writeInts("1X,I2", {1, 2, 3}), (Records{"  1", "  2", "  3"}));
  // A group at the end followed by more items.
  EXPECT_EQ(writeInts("2(I1),I2", {1, 2, 3, 4, 5}), (Records{"12 3", "45"}));
  // Only the blanks and / from the reversion point on apply when the layout
  // is taken up again; the / at the layout's end come first.
  EXPECT_EQ(writeInts("1X,(2X,I2)", {1, 2}), (Records{"    1", "   2"}));
  EXPECT_EQ(writeInts("/,1X,(/,2X,I2)", {1, 2}), (Records{"", "", "   1", "", "   2"}));
  EXPECT_EQ(writeInts("I2,/", {1, 2}), (Records{" 1", "", " 2", ""}));
}

TEST(LayoutParse, RepeatsThatExpandTooFarAreRefused) {
  EXPECT_THROW(Layout{"100000(100000(I1))"}, std::invalid_argument);
  EXPECT_THROW(Layout{"100000(100000(/))"}, std::invalid_argument);
  EXPECT_THROW(Layout{"100(99999999X),I1"}, std::invalid_argument);
  EXPECT_NO_THROW(Layout{"1000(1000(I1))"});
}

TEST(LayoutParse, GroupsNestAtMostAHundredDeep) {
  auto nested = [](int n) { return std::string(n, '(') + "I1" + std::string(n, ')'); };
  // The outer parentheses of the whole layout are not a group.
  EXPECT_EQ(Layout{"(" + nested(100) + ")"}.items().size(), 1u);
  for (int n : {101, 100000}) {  // deep enough to overflow the stack by recursion
    try {
      Layout{nested(n) + ",I1"};
      ADD_FAILURE() << n;
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find("groups nested more than 100 deep"), std::string::npos);
    }
  }
}

TEST(LayoutWrite, TrailingBlanksOnlyWhenSomethingFollows) {
  EXPECT_EQ(writeInts("I2,3X", {1}), Records{" 1"});
  EXPECT_EQ(writeInts("I2,3X,I2", {1}), Records{" 1"});
  EXPECT_EQ(writeInts("I2,3X,I2", {1, 2}), Records{" 1    2"});
  // The blanks are dropped at a / and at reversion too.
  EXPECT_EQ(writeInts("I2,3X,/,I2", {1, 2}), (Records{" 1", " 2"}));
  EXPECT_EQ(writeInts("I2,3X", {1, 2}), (Records{" 1", " 2"}));
  // No blank is added at the start of a record.
  EXPECT_EQ(writeInts("I1", {7}), Records{"7"});
}

TEST(LayoutWrite, SlashesAfterTheLastValueEndRecords) {
  EXPECT_EQ(writeInts("I2,/", {1}), (Records{" 1", ""}));
  EXPECT_EQ(writeInts("I2,3(/)", {1}), (Records{" 1", "", "", ""}));
  EXPECT_EQ(writeInts("/,I2", {1}), (Records{"", " 1"}));
  // The / after the next item needing a value is not reached.
  EXPECT_EQ(writeInts("I2,I2,/", {1}), Records{" 1"});
  // A write with no values.
  EXPECT_EQ(writeInts("I2", {}), Records{""});
  EXPECT_EQ(writeInts("", {}), Records{""});
  EXPECT_EQ(writeInts("()", {}), Records{""});
  EXPECT_EQ(writeInts("1X,/,1X", {}), (Records{"", ""}));
}

TEST(LayoutWrite, WriterIsReusedForTheNextWrite) {
  Layout l("2(1X,F6.2),1X,F5.1");
  Collect out;
  LayoutWriter w(l, out);
  for (int k = 0; k < 3; ++k) {
    w.put(1.0f * k);
    w.put(2.5);
    if (k == 1) w.put(-3.25f);
    w.end();
  }
  EXPECT_EQ(out.records, (Records{"   0.00   2.50", "   1.00   2.50  -3.2", "   2.00   2.50"}));
}

TEST(LayoutWrite, TextItemsAndLongRecords) {
  Layout l("A,1X,A3,A5");
  Collect out;
  LayoutWriter w(l, out);
  w.put(std::string_view("TUV "));
  w.put(std::string_view("abcdef"));
  w.put(std::string_view("xy"));
  w.end();
  EXPECT_EQ(out.records, Records{"TUV  abc   xy"});

  Layout wide("300(F10.3)");
  Collect big;
  LayoutWriter wb(wide, big);
  for (int k = 0; k < 301; ++k) wb.put(0.5f);
  wb.end();
  ASSERT_EQ(big.records.size(), 2u);
  EXPECT_EQ(big.records[0].size(), 3000u);
  EXPECT_EQ(big.records[1], "     0.500");
}

TEST(LayoutWrite, KindMismatchIsAProgrammingError) {
  Layout l("I3,F5.1,E9.2,A2");
  Collect out;
  {
    LayoutWriter w(l, out);
    EXPECT_THROW(w.put(1.5f), std::logic_error);
  }
  {
    LayoutWriter w(l, out);
    w.put(std::int32_t{1});
    EXPECT_THROW(w.put(std::int32_t{2}), std::logic_error);
    EXPECT_THROW(w.put(std::string_view("x")), std::logic_error);
  }
  {
    LayoutWriter w(l, out);
    w.put(std::int32_t{1});
    w.put(1.0);
    w.put(2.0f);
    EXPECT_THROW(w.put(3.0), std::logic_error);
  }
  // A layout with no item for a value.
  for (const char* layout : {"1X", "", "I2,(1X)"}) {
    Layout n(layout);
    LayoutWriter w(n, out);
    if (layout[0] == 'I') w.put(std::int32_t{1});
    EXPECT_THROW(w.put(std::int32_t{1}), std::logic_error) << layout;
  }
}

// ---------------------------------------------------------------------------

TEST(LayoutRead, NumericFieldsIgnoreBlanksAndImplyDecimals) {
  Layout l("I5,F8.3,E10.2,F6.2");
  // Fields:  I5     F8.3      E10.2       F6.2
  Lines in({" 1 2 " "-1234   " "1.5D+02   " "  15E1"});
  LayoutReader r(l, in);
  std::int32_t i = 0;
  float f = 0;
  double e = 0, g = 0;
  ASSERT_TRUE(r.get(i));
  ASSERT_TRUE(r.get(f));
  ASSERT_TRUE(r.get(e));
  ASSERT_TRUE(r.get(g));
  r.end();
  EXPECT_EQ(i, 12);
  EXPECT_EQ(f, -1.234f);  // no point: three decimals implied
  EXPECT_EQ(e, 150.0);
  EXPECT_EQ(g, 1.5);  // 15 with two implied decimals, times 10
  EXPECT_EQ(r.status(), ReadResult::ok);
}

TEST(LayoutRead, ShortRecordsAreBlankPaddedAndBlankFieldsAreZero) {
  Layout l("I3,F6.2,I4,A4");
  Lines in({"  7   1.5"});
  LayoutReader r(l, in);
  std::int32_t a = -1, b = -1;
  float f = -1;
  char t[4];
  ASSERT_TRUE(r.get(a));
  ASSERT_TRUE(r.get(f));
  ASSERT_TRUE(r.get(b));
  ASSERT_TRUE(r.get(t, 4));
  EXPECT_EQ(a, 7);
  EXPECT_EQ(f, 1.5f);
  EXPECT_EQ(b, 0);
  EXPECT_EQ(std::string(t, 4), "    ");
}

TEST(LayoutRead, RealsAreCorrectlyRoundedForTheirType) {
  Layout l("F20.0");
  Lines in({"0.1", "0.1", "  -.5e-1", "1e-999", "  16777217"});
  LayoutReader r(l, in);
  float f;
  double d;
  ASSERT_TRUE(r.get(f));
  r.end();
  ASSERT_TRUE(r.get(d));
  r.end();
  EXPECT_EQ(f, 0.1f);
  EXPECT_EQ(d, 0.1);
  ASSERT_TRUE(r.get(d));
  r.end();
  EXPECT_EQ(d, -0.05);
  ASSERT_TRUE(r.get(d));  // underflow gives zero
  r.end();
  EXPECT_EQ(d, 0.0);
  ASSERT_TRUE(r.get(f));  // tie between two floats: to even
  r.end();
  EXPECT_EQ(f, 16777216.0f);
}

TEST(LayoutRead, BadFieldsAreReadErrors) {
  for (const char* rec : {"1a", "1.5", "--1", "+", "99999999999", "2147483648"}) {
    Layout l("I11");
    Lines in({rec});
    LayoutReader r(l, in);
    std::int32_t v = 5;
    EXPECT_FALSE(r.get(v)) << rec;
    EXPECT_EQ(r.status(), ReadResult::error) << rec;
    EXPECT_FALSE(r.why().empty());
    EXPECT_FALSE(r.get(v)) << "a failed read stays failed";
  }
  for (const char* rec : {"1.2.3", "1e", "e5", ".", "1e999", "nan", "inf", "1.5q3", "1,5", "-", "1-", "1+", "+1.5+", "****"}) {
    Layout l("F10.2");
    Lines in({rec});
    LayoutReader r(l, in);
    double v = 5;
    EXPECT_FALSE(r.get(v)) << rec;
    EXPECT_EQ(r.status(), ReadResult::error) << rec;
  }
  Layout l("I11");
  Lines in({"-2147483648"});
  LayoutReader r(l, in);
  std::int32_t v = 0;
  EXPECT_TRUE(r.get(v));
  EXPECT_EQ(v, std::numeric_limits<std::int32_t>::min());
}

TEST(LayoutRead, ThreeDigitExponentsReadBackAsWritten) {
  // E writes an exponent beyond 99 after its sign, without the letter: the
  // same field reads back; in an F field that form stays an error.
  for (double x : {1.5e150, -2.25e-120, 1e100, 9.99e-101}) {
    Layout l("E12.4");
    Collect out;
    LayoutWriter w(l, out);
    w.put(x);
    w.end();
    const Records& recs = out.records;
    ASSERT_EQ(recs.at(0).find('E'), std::string::npos) << recs.at(0);
    Lines in({recs.at(0)});
    LayoutReader r(l, in);
    double got = 0;
    ASSERT_TRUE(r.get(got)) << recs.at(0) << ": " << r.why();
    EXPECT_NEAR(got, x, std::fabs(x) * 1e-4) << recs.at(0);
  }
  Layout l("F12.4");
  Lines in({"  0.1121+104"});
  LayoutReader r(l, in);
  double v = 0;
  EXPECT_FALSE(r.get(v));
}

TEST(LayoutRead, TextFields) {
  Layout l("A8,1X,A3,A");
  Lines in({"abcdefgh xyzrest of it", "  lead"});
  LayoutReader r(l, in);
  char a[5], b[5], c[6];
  ASSERT_TRUE(r.get(a, 5));  // field wider than the variable: its rightmost 5
  ASSERT_TRUE(r.get(b, 5));  // narrower: left-justified, blank-padded
  ASSERT_TRUE(r.get(c, 6));  // A: as many as the variable holds
  r.end();
  EXPECT_EQ(std::string(a, 5), "defgh");
  EXPECT_EQ(std::string(b, 5), "xyz  ");
  EXPECT_EQ(std::string(c, 6), "rest o");
  Layout la("A");
  LayoutReader ra(la, in);
  char t[10];
  ASSERT_TRUE(ra.get(t, 10));  // leading blanks stay, the short record is padded
  EXPECT_EQ(std::string(t, 10), "  lead    ");
}

TEST(LayoutRead, RecordsSlashesReversionAndEndOfFile) {
  Layout l("2X,I2,/,I3");
  Lines in({"xx12rest", "345", "  9", " 10", " 11", "skipped", "12"});
  LayoutReader r(l, in);
  std::int32_t a, b;
  ASSERT_TRUE(r.get(a));
  ASSERT_TRUE(r.get(b));
  r.end();
  EXPECT_EQ(a, 12);
  EXPECT_EQ(b, 345);
  // Each read starts on a new record; reversion goes to the next record.
  Layout one("I3");
  LayoutReader r1(one, in);
  std::int32_t x, y;
  ASSERT_TRUE(r1.get(x));
  ASSERT_TRUE(r1.get(y));
  r1.end();
  EXPECT_EQ(x, 9);
  EXPECT_EQ(y, 10);
  // A / after the last item is carried out at the end of the read.
  Layout skip("I3,/");
  LayoutReader r2(skip, in);
  ASSERT_TRUE(r2.get(x));
  r2.end();
  EXPECT_EQ(x, 11);
  EXPECT_EQ(r2.status(), ReadResult::ok);
  LayoutReader r3(one, in);
  ASSERT_TRUE(r3.get(x));
  EXPECT_EQ(x, 12);
  EXPECT_FALSE(r3.get(x));
  EXPECT_EQ(r3.status(), ReadResult::eof);
  r3.end();
  // On input too, the / at the layout's end come before reversion.
  Layout tail("I2,/");
  Lines three({" 1", "skipped", " 2"});
  LayoutReader r5(tail, three);
  ASSERT_TRUE(r5.get(x));
  ASSERT_TRUE(r5.get(y));
  EXPECT_EQ(x, 1);
  EXPECT_EQ(y, 2);
  // A read without variables still takes a record.
  Lines two({"1", "2"});
  LayoutReader r4(one, two);
  r4.end();
  ASSERT_TRUE(r4.get(x));
  EXPECT_EQ(x, 2);
}

TEST(LayoutRead, KindMismatchIsAProgrammingError) {
  Layout l("I3,F5.1,A2");
  Lines in({"  1  2.5ab"});
  LayoutReader r(l, in);
  float f;
  EXPECT_THROW(r.get(f), std::logic_error);
}

// Every field the writers make reads back to a value that the same edit
// writes as the same characters: E fields of any exponent (three-digit ones
// without the E), F fields, integers; with the writers' own forms accepted,
// a field of asterisks reads as no value and Infinity and NaN as themselves.
TEST(LayoutRead, EveryFieldTheWritersMakeReadsBackToItsText) {
  std::mt19937_64 gen(20260601);
  std::uniform_real_distribution<double> mant(1.0, 10.0);
  std::uniform_int_distribution<int> expo(-130, 130), width(1, 20), pick(0, 9);
  const double specials[] = {0.0, -0.0, std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()};
  int overflows = 0, noE = 0;
  for (int n = 0; n < 20000; ++n) {
    double v = (pick(gen) < 5 ? -1 : 1) * mant(gen) * std::pow(10.0, expo(gen));
    if (n % 50 == 0) v = specials[(n / 50) % 5];
    const int w = width(gen) + 2;
    const int d = 1 + static_cast<int>(gen() % static_cast<unsigned>(w - 1));
    const bool e = pick(gen) < 6;
    std::string text(static_cast<std::size_t>(w), ' ');
    if (e) {
      rio::editE(text.data(), w, d, v);
    } else {
      rio::editF(text.data(), w, d, v);
    }
    const std::string layout = (e ? "E" : "F") + std::to_string(w) + "." + std::to_string(d);
    Layout l(layout);
    Lines in({text});
    LayoutReader r(l, in);
    r.acceptOutputForms();
    double back = 12345.0;
    ASSERT_TRUE(r.get(back)) << layout << " \"" << text << "\": " << r.why();
    if (text.find_first_not_of('*') == std::string::npos) {
      EXPECT_TRUE(r.overflowed()) << text;
      EXPECT_EQ(back, 12345.0) << "an overflowed field leaves the variable alone";
      ++overflows;
      continue;
    }
    EXPECT_FALSE(r.overflowed());
    if (e && text.find('E') == std::string::npos && std::isfinite(v)) ++noE;
    std::string again(static_cast<std::size_t>(w), ' ');
    if (e) {
      rio::editE(again.data(), w, d, back);
    } else {
      rio::editF(again.data(), w, d, back);
    }
    EXPECT_EQ(again, text) << layout << " of " << v;
  }
  EXPECT_GT(overflows, 100);
  EXPECT_GT(noE, 100);

  // Without the writers' forms, asterisks and NaN stay read errors.
  Layout l("F10.2");
  Lines in({"**********"});
  LayoutReader r(l, in);
  double v = 0;
  EXPECT_FALSE(r.get(v));
  // Integers overflow too.
  Layout li("I3");
  Lines ints({"***"});
  LayoutReader ri(li, ints);
  ri.acceptOutputForms();
  std::int32_t k = 7;
  EXPECT_TRUE(ri.get(k));
  EXPECT_TRUE(ri.overflowed());
  EXPECT_EQ(k, 7);
}

// Reals read with a layout are the decimal's value correctly rounded to
// the variable's type: the straightforward conversion of the same digits
// (std::from_chars) is the oracle, over random fields and over decimals of
// 15 digits next to the half-way points between two floats, where rounding
// through a double could round twice.
TEST(LayoutRead, RealsAreTheCorrectlyRoundedValueOfTheirDigits) {
  std::mt19937_64 gen(157);
  auto digits = [&](int n) {
    std::string s;
    for (int k = 0; k < n; ++k) s += static_cast<char>('0' + gen() % 10);
    return s;
  };
  auto check = [](const std::string& field, int d, const std::string& oracleText) {
    Layout l("F" + std::to_string(field.size()) + "." + std::to_string(d));
    float f = 0, ff = 0;
    double g = 0, gg = 0;
    Lines in({field, field});
    LayoutReader r(l, in);
    ASSERT_TRUE(r.get(f)) << field;
    r.end();
    ASSERT_TRUE(r.get(g)) << field;
    std::from_chars(oracleText.data(), oracleText.data() + oracleText.size(), ff);
    std::from_chars(oracleText.data(), oracleText.data() + oracleText.size(), gg);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(f), std::bit_cast<std::uint32_t>(ff)) << field;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(g), std::bit_cast<std::uint64_t>(gg)) << field;
  };
  for (int n = 0; n < 20000; ++n) {
    const std::string intPart = digits(1 + static_cast<int>(gen() % 9));
    const std::string frac = digits(static_cast<int>(gen() % 12));
    const int e = static_cast<int>(gen() % 51) - 25;  // within the range of a float
    const std::string sign = gen() % 2 ? "-" : "";
    const std::string mantissa = sign + intPart + "." + frac;
    check(mantissa + "E" + std::to_string(e), 0, mantissa + "e" + std::to_string(e));
    check(sign + intPart + frac, static_cast<int>(frac.size()), mantissa);  // implied decimals
  }
  int halfway = 0;
  for (int n = 0; n < 20000; ++n) {
    const float f = std::ldexp(static_cast<float>(1 + gen() % 8388607) / 8388608.0f + 1.0f,
                               static_cast<int>(gen() % 200) - 100);
    const double mid = (static_cast<double>(f) +
                        static_cast<double>(std::nextafter(f, 2.0f * f))) / 2.0;
    char text[40];
    std::snprintf(text, sizeof text, "%.14e", mid);
    double back = 0;
    std::from_chars(text, text + std::strlen(text), back);
    halfway += back == mid;
    check(text, 0, text);
  }
  EXPECT_GT(halfway, 100) << "decimals whose nearest double is half-way between floats";
}

}  // namespace
