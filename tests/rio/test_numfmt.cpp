// The number formatting core: free-format fields (which have no truth
// vectors), the edges of Iw / Fw.d / Ew.d / Aw, and the integer fast path
// of Fw.d checked against std::to_chars over many random values.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include "rio/numfmt.hpp"

namespace {

std::string ff(float v) {
  char b[64];
  int n = rio::listFieldReal(b, v);
  return std::string(b, n);
}
std::string ff(double v) {
  char b[64];
  int n = rio::listFieldDouble(b, v);
  return std::string(b, n);
}
std::string ffi(std::int32_t v) {
  char b[64];
  int n = rio::listFieldInt(b, v);
  return std::string(b, n);
}
template <class T>
std::string F(int w, int d, T v) {
  std::string s(w, '?');
  rio::editF(s.data(), w, d, v);
  return s;
}
template <class T>
std::string E(int w, int d, T v) {
  std::string s(w, '?');
  rio::editE(s.data(), w, d, v);
  return s;
}
std::string I(int w, std::int32_t v) {
  std::string s(w, '?');
  rio::editI(s.data(), w, v);
  return s;
}
std::string A(int w, std::string_view t) {
  std::string s(w, '?');
  rio::editA(s.data(), w, t);
  return s;
}

TEST(FreeFormatInt, TwelveCharactersRightJustified) {
  EXPECT_EQ(ffi(10), "          10");
  EXPECT_EQ(ffi(0), "           0");
  EXPECT_EQ(ffi(-7), "          -7");
  EXPECT_EQ(ffi(std::numeric_limits<std::int32_t>::min()), " -2147483648");
  EXPECT_EQ(ffi(std::numeric_limits<std::int32_t>::max()), "  2147483647");
}

TEST(FreeFormatReal, FixedFormKeepsSevenDigitsThenFourBlanks) {
  EXPECT_EQ(ff(1.0f), "   1.000000    ");
  EXPECT_EQ(ff(-2.5f), "  -2.500000    ");
  EXPECT_EQ(ff(0.1f), "  0.1000000    ");       // lowest value of the fixed form
  EXPECT_EQ(ff(-0.5f), " -0.5000000    ");
  EXPECT_EQ(ff(-123.456f), "  -123.4560    ");
  EXPECT_EQ(ff(9999999.0f), "   9999999.    ");  // no decimals: the point remains
  EXPECT_EQ(ff(-9999999.0f), "  -9999999.    ");
  EXPECT_EQ(ff(1234567.5f), "   1234568.    ");  // tie, rounded to even
  EXPECT_EQ(ff(1234568.5f), "   1234568.    ");
}

TEST(FreeFormatReal, ExponentFormOutsideTheRangeAndForZero) {
  EXPECT_EQ(ff(0.001f), "  1.0000000E-03");
  EXPECT_EQ(ff(0.0f), "  0.0000000E+00");
  EXPECT_EQ(ff(-0.0f), " -0.0000000E+00");
  // The float just below 0.1, and 9999999.6 (which is the float 10^7).
  EXPECT_EQ(ff(std::nextafter(0.1f, 0.0f)), "  9.9999994E-02");
  EXPECT_EQ(ff(9999999.6f), "  1.0000000E+07");
  EXPECT_EQ(ff(-1e7f), " -1.0000000E+07");
  EXPECT_EQ(ff(std::numeric_limits<float>::max()), "  3.4028235E+38");
  EXPECT_EQ(ff(std::numeric_limits<float>::denorm_min()), "  1.4012985E-45");
  EXPECT_EQ(ff(-1.17549435e-38f), " -1.1754944E-38");
  // Rounding to eight digits carries into the next power of ten.
  EXPECT_EQ(ff(9.99999997e-7f), "  1.0000000E-06");
}

TEST(FreeFormatReal, NonFiniteValuesRightJustified) {
  EXPECT_EQ(ff(std::numeric_limits<float>::infinity()), "       Infinity");
  EXPECT_EQ(ff(-std::numeric_limits<float>::infinity()), "      -Infinity");
  EXPECT_EQ(ff(std::numeric_limits<float>::quiet_NaN()), "            NaN");
}

TEST(FreeFormatDouble, FixedFormKeepsSixteenDigitsThenFiveBlanks) {
  EXPECT_EQ(ff(1200.0), "   1200.000000000000     ");
  EXPECT_EQ(ff(0.1), "  0.1000000000000000     ");
  EXPECT_EQ(ff(-1.0 / 3.0), " -0.3333333333333333     ");
  EXPECT_EQ(ff(9999999.6), "   9999999.600000000     ");
  EXPECT_EQ(ff(std::nextafter(1.0, 0.0)), "  0.9999999999999999     ");
  EXPECT_EQ(ff(9999999999999998.0), "   9999999999999998.     ");
  EXPECT_EQ(ff(-9999999999999998.0), "  -9999999999999998.     ");
}

TEST(FreeFormatDouble, ExponentFormHasThreeExponentDigits) {
  EXPECT_EQ(ff(0.0), "  0.0000000000000000E+000");
  EXPECT_EQ(ff(-0.0), " -0.0000000000000000E+000");
  EXPECT_EQ(ff(1e16), "  1.0000000000000000E+016");
  EXPECT_EQ(ff(std::nextafter(0.1, 0.0)), "  9.9999999999999992E-002");
  EXPECT_EQ(ff(1e-300), "  1.0000000000000000E-300");
  EXPECT_EQ(ff(-std::numeric_limits<double>::max()), " -1.7976931348623157E+308");
  EXPECT_EQ(ff(std::numeric_limits<double>::denorm_min()), "  4.9406564584124654E-324");
  // The double nearest 10^-14 lies below it and rounds up to it.
  ASSERT_LT(static_cast<long double>(1e-14), 1e-14L);
  EXPECT_EQ(ff(1e-14), "  1.0000000000000000E-014");
}

TEST(EditF, LeadingZeroOnlyWhenThereIsRoom) {
  EXPECT_EQ(F(4, 2, 0.5f), "0.50");
  EXPECT_EQ(F(3, 2, 0.5f), ".50");
  EXPECT_EQ(F(3, 2, -0.5f), "***");
  EXPECT_EQ(F(4, 2, -0.5f), "-.50");
  EXPECT_EQ(F(5, 2, -0.5f), "-0.50");
  EXPECT_EQ(F(2, 2, 0.5f), "**");  // no room for point and decimals
}

TEST(EditF, SignOfTheBinaryValueIsKept) {
  EXPECT_EQ(F(8, 3, -0.0f), "  -0.000");
  EXPECT_EQ(F(8, 3, -0.0001f), "  -0.000");
  EXPECT_EQ(F(8, 3, -0.0004999), "  -0.000");
  EXPECT_EQ(F(8, 3, 0.0f), "   0.000");
}

TEST(EditF, TiesGoToEvenOnTheExactValue) {
  EXPECT_EQ(F(5, 2, 0.125f), " 0.12");
  EXPECT_EQ(F(5, 2, 0.375f), " 0.38");
  EXPECT_EQ(F(5, 2, 0.125), " 0.12");
  EXPECT_EQ(F(3, 0, 2.5f), " 2.");
  EXPECT_EQ(F(3, 0, 3.5f), " 4.");
  EXPECT_EQ(F(3, 0, 0.5), " 0.");
  // 0.1f lies above 0.1 and 0.15 (double) below 0.15: no tie, exact value decides.
  EXPECT_EQ(F(4, 1, 0.05f), " 0.1");
  EXPECT_EQ(F(4, 1, 0.15), " 0.1");
  // Half of the smallest subnormal: below one half of the last unit.
  EXPECT_EQ(F(5, 2, std::numeric_limits<float>::denorm_min()), " 0.00");
}

TEST(EditF, OverflowFillsTheFieldWithAsterisks) {
  EXPECT_EQ(F(10, 6, 999.9999994), "999.999999");
  EXPECT_EQ(F(10, 6, 999.9999996), "**********");  // carries to 1000.000000
  EXPECT_EQ(F(15, 6, 1e8f), "***************");
  EXPECT_EQ(F(15, 6, 99999992.0f), "99999992.000000");
  EXPECT_EQ(F(15, 6, -99999992.0f), "***************");
  EXPECT_EQ(F(8, 3, std::numeric_limits<float>::max()), "********");
}

TEST(EditF, ValuesBeyondTheFastPath) {
  // Above 2^24 (float) or 2^53 (double), or more than 12 / 22 decimals.
  EXPECT_EQ(F(12, 1, 16777218.0f), "  16777218.0");
  EXPECT_EQ(F(25, 1, 1e20), "  100000000000000000000.0");
  EXPECT_EQ(F(20, 14, 0.1f), "    0.10000000149012");
  EXPECT_EQ(F(28, 25, 0.1), " 0.1000000000000000055511151");
  EXPECT_EQ(F(45, 40, std::numeric_limits<double>::max()), std::string(45, '*'));
}

TEST(EditF, NonFiniteValues) {
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(F(10, 3, inf), "  Infinity");
  EXPECT_EQ(F(10, 3, -inf), " -Infinity");
  EXPECT_EQ(F(5, 2, -inf), " -Inf");
  EXPECT_EQ(F(5, 2, std::numeric_limits<double>::quiet_NaN()), "  NaN");
  EXPECT_EQ(F(2, 1, inf), "**");
}

// Fw.d built from std::to_chars and the leading-zero and asterisk rules,
// for values whatever their size.
std::string referenceF(int w, int d, double v) {
  char b[400];
  auto r = std::to_chars(b, b + sizeof b, std::fabs(v), std::chars_format::fixed, d);
  std::string s(b, r.ptr);
  if (d == 0) s += '.';
  if (s[0] == '0' && s[1] == '.' && static_cast<int>(s.size()) + std::signbit(v) > w) s.erase(0, 1);
  if (std::signbit(v)) s.insert(0, "-");
  if (static_cast<int>(s.size()) > w) return std::string(w, '*');
  return std::string(w - s.size(), ' ') + s;
}

TEST(EditF, IntegerFastPathAgreesWithToChars) {
  std::mt19937_64 rng(20240607);
  const int forms[][2] = {{15, 6}, {10, 6}, {8, 3}, {12, 1}, {5, 2}, {9, 6}, {20, 12}, {4, 0}};
  int mismatches = 0;
  for (int k = 0; k < 400000; ++k) {
    // Random bit patterns spread over every exponent, plus short decimal
    // fractions that sit on or next to ties.
    std::uint32_t bits = static_cast<std::uint32_t>(rng());
    float f = std::bit_cast<float>(bits);
    if (!std::isfinite(f)) continue;
    if (k % 2) f = std::ldexp(static_cast<float>(rng() % 200001) - 100000.0f, -static_cast<int>(rng() % 20));
    double g = std::bit_cast<double>(rng());
    if (k % 2) g = std::ldexp(static_cast<double>(rng() % 2000000001) - 1e9, -static_cast<int>(rng() % 50));
    for (auto& fm : forms) {
      if (F(fm[0], fm[1], f) != referenceF(fm[0], fm[1], f) && ++mismatches <= 5) {
        ADD_FAILURE() << "F" << fm[0] << "." << fm[1] << " of float " << std::hexfloat << f << ": "
                      << F(fm[0], fm[1], f) << " vs " << referenceF(fm[0], fm[1], f);
      }
      if (std::isfinite(g) && F(fm[0], fm[1], g) != referenceF(fm[0], fm[1], g) && ++mismatches <= 5) {
        ADD_FAILURE() << "F" << fm[0] << "." << fm[1] << " of double " << std::hexfloat << g << ": "
                      << F(fm[0], fm[1], g) << " vs " << referenceF(fm[0], fm[1], g);
      }
      // The float overload gives what the double one gives for the widened value.
      if (F(fm[0], fm[1], f) != F(fm[0], fm[1], static_cast<double>(f)) && ++mismatches <= 5) {
        ADD_FAILURE() << "float and double overloads differ for " << std::hexfloat << f;
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(EditE, FieldExamples) {
  EXPECT_EQ(E(9, 4, 12.5f), ".1250E+02");
  EXPECT_EQ(E(9, 4, -12.5f), "*********");
  EXPECT_EQ(E(10, 4, -12.5f), "-.1250E+02");
  EXPECT_EQ(E(12, 5, 12.5f), " 0.12500E+02");
  EXPECT_EQ(E(12, 5, 0.0f), " 0.00000E+00");
  EXPECT_EQ(E(12, 5, -0.0f), "-0.00000E+00");
  EXPECT_EQ(E(8, 3, -0.0f), "********");
  EXPECT_EQ(E(9, 3, -0.0), "-.000E+00");
}

TEST(EditE, RoundingAndCarry) {
  EXPECT_EQ(E(8, 2, 0.125f), "0.12E+00");   // tie to even
  EXPECT_EQ(E(8, 2, 0.375f), "0.38E+00");
  EXPECT_EQ(E(10, 4, 9.99995), "0.1000E+02");  // 9.99995 lies above the tie
  EXPECT_EQ(E(10, 4, 99999.0f), "0.1000E+06");
  EXPECT_EQ(E(7, 1, 0.95f), "0.9E+00");      // 0.95f lies below 0.95
  EXPECT_EQ(E(7, 1, 0.96f), "0.1E+01");
}

TEST(EditE, ThreeDigitExponentsDropTheLetter) {
  EXPECT_EQ(E(12, 5, 1e300), " 0.10000+301");
  EXPECT_EQ(E(12, 5, -1e-231), "-0.10000-230");
  EXPECT_EQ(E(12, 5, 9.9999e99), " 0.99999+100");
  EXPECT_EQ(E(12, 5, 9.999996e99), " 0.10000+101");
  EXPECT_EQ(E(12, 5, 1e99), " 0.10000+100");
  EXPECT_EQ(E(12, 5, 1e98), " 0.10000E+99");
  EXPECT_EQ(E(12, 5, std::numeric_limits<double>::denorm_min()), " 0.49407-323");
  EXPECT_EQ(E(12, 5, std::numeric_limits<float>::denorm_min()), " 0.14013E-44");
}

TEST(EditE, NonFiniteAndImpossibleFields) {
  EXPECT_EQ(E(12, 5, -std::numeric_limits<double>::infinity()), "   -Infinity");
  EXPECT_EQ(E(6, 2, std::numeric_limits<float>::quiet_NaN()), "   NaN");
  EXPECT_EQ(E(6, 2, 1.0f), "******");  // needs at least .10E+01
  EXPECT_EQ(E(7, 2, 1.0f), ".10E+01");
}

TEST(EditI, RightJustifiedOrAsterisks) {
  EXPECT_EQ(I(7, 0), "      0");
  EXPECT_EQ(I(7, -123456), "-123456");
  EXPECT_EQ(I(7, -1234567), "*******");
  EXPECT_EQ(I(7, 9999999), "9999999");
  EXPECT_EQ(I(7, 10000000), "*******");
  EXPECT_EQ(I(1, -1), "*");
  EXPECT_EQ(I(11, std::numeric_limits<std::int32_t>::min()), "-2147483648");
  EXPECT_EQ(I(10, std::numeric_limits<std::int32_t>::min()), "**********");
}

TEST(EditA, CutOrRightJustified) {
  EXPECT_EQ(A(5, "abcdefg"), "abcde");
  EXPECT_EQ(A(5, "ab"), "   ab");
  EXPECT_EQ(A(5, "abcde"), "abcde");
  EXPECT_EQ(A(3, ""), "   ");
  EXPECT_EQ(A(4, " x "), "  x ");  // trailing blanks belong to the text
}

}  // namespace
