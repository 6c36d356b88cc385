// The number formatting core behind every written number: the edit
// descriptors Iw, Fw.d, Ew.d, Aw and the free-format fields.
//
// Exactness: every real is rounded to nearest on its exact binary value,
// ties to even. Fw.d of a float below 2^24 (and of a double below 2^53)
// with few enough decimals is computed in integers: the value is m * 2^e,
// so round(|v| * 10^d) = round(m * 10^d / 2^-e), an integer product and a
// shift rounded half to even. Everything else goes through std::to_chars
// with a precision, which is exact in this tool chain.
#include "rio/numfmt.hpp"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

namespace rio {
namespace {

struct DigitPairs {
  char c[200];
  constexpr DigitPairs() : c() {
    for (int i = 0; i < 100; ++i) {
      c[2 * i] = static_cast<char>('0' + i / 10);
      c[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
  }
};
constexpr DigitPairs kPairs;

struct Pow10Table {
  unsigned __int128 p[39];
  constexpr Pow10Table() : p() {
    p[0] = 1;
    for (int i = 1; i < 39; ++i) p[i] = p[i - 1] * 10;
  }
};
constexpr Pow10Table kPow10;

// Powers of ten that a double holds exactly (10^0 .. 10^22).
constexpr double kExactPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                    1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                    1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Large enough for any to_chars output the core asks for: at most 309
// integer digits, a point and kMaxNumericWidth decimals.
constexpr int kScratch = kMaxNumericWidth + 400;

inline void fill(char* out, int n, char c) {
  if (n > 0) std::memset(out, c, static_cast<std::size_t>(n));
}

inline int countDigits(std::uint64_t n) {
  int k = 1;
  while (k < 20 && n >= static_cast<std::uint64_t>(kPow10.p[k])) ++k;
  return k;
}

// n blanks without a call to memset: the padding of a field is short.
inline void blanks(char* out, int n) {
  for (; n >= 8; n -= 8, out += 8) std::memcpy(out, "        ", 8);
  if (n >= 4) {
    std::memcpy(out, "    ", 4);
    out += 4;
    n -= 4;
  }
  if (n >= 2) {
    std::memcpy(out, "  ", 2);
    out += 2;
    n -= 2;
  }
  if (n) *out = ' ';
}

inline int countDigits32(std::uint32_t n) {
  return n < 10 ? 1 : n < 100 ? 2 : n < 1000 ? 3 : n < 10000 ? 4 : n < 100000 ? 5
       : n < 1000000 ? 6 : n < 10000000 ? 7 : n < 100000000 ? 8 : n < 1000000000 ? 9 : 10;
}

// Writes the decimal digits of n (n > 0) so that they end just before p;
// returns the position of the first digit.
inline char* digitsBackward(char* p, std::uint64_t n) {
  while (n >= 100) {
    p -= 2;
    std::memcpy(p, kPairs.c + 2 * (n % 100), 2);
    n /= 100;
  }
  if (n >= 10) {
    p -= 2;
    std::memcpy(p, kPairs.c + 2 * n, 2);
  } else {
    *--p = static_cast<char>('0' + n);
  }
  return p;
}

// Infinity and NaN in a numeric field of w characters: the longest of
// "Infinity" / "Inf" (with a minus for minus infinity) or "NaN" that fits,
// right-justified; asterisks when none fits.
void editNonFinite(char* out, int w, bool neg, bool nan) {
  const char* s = nullptr;
  if (nan) {
    s = w >= 3 ? "NaN" : nullptr;
  } else if (neg) {
    s = w >= 9 ? "-Infinity" : w >= 4 ? "-Inf" : nullptr;
  } else {
    s = w >= 8 ? "Infinity" : w >= 3 ? "Inf" : nullptr;
  }
  if (!s) {
    fill(out, w, '*');
    return;
  }
  int n = static_cast<int>(std::strlen(s));
  fill(out, w - n, ' ');
  std::memcpy(out + w - n, s, static_cast<std::size_t>(n));
}

// Fixed-point field from n = round(|v| * 10^d), d < w: d decimals, the
// point, the integer digits (or a zero, when there is room for it), sign.
void layFixed(char* out, int w, int d, bool neg, std::uint64_t n) {
  char* p = out + w;
  int k = d;
  for (; k >= 2; k -= 2) {
    p -= 2;
    std::memcpy(p, kPairs.c + 2 * (n % 100), 2);
    n /= 100;
  }
  if (k) {
    *--p = static_cast<char>('0' + n % 10);
    n /= 10;
  }
  // n is now the integer part.
  int intDigits = n ? countDigits(n) : 0;
  bool zero = intDigits == 0;
  int len = static_cast<int>(neg) + (zero ? 1 : intDigits) + 1 + d;
  if (len > w && zero) {
    --len;
    zero = false;
  }
  if (len > w) {
    fill(out, w, '*');
    return;
  }
  *--p = '.';
  if (zero) *--p = '0';
  if (intDigits) p = digitsBackward(p, n);
  if (neg) *--p = '-';
  fill(out, static_cast<int>(p - out), ' ');
}

// Fixed-point field from its integer part ip and its d decimals dec
// (dec < 10^d, 1 <= d <= 9, d < w), in 32-bit arithmetic.
void layFixedSplit(char* out, int w, int d, bool neg, std::uint32_t ip, std::uint32_t dec) {
  int intDigits = ip ? countDigits32(ip) : 0;
  bool zero = intDigits == 0;
  int len = static_cast<int>(neg) + (zero ? 1 : intDigits) + 1 + d;
  if (len > w && zero) {
    --len;
    zero = false;
  }
  if (len > w) {
    fill(out, w, '*');
    return;
  }
  char* p = out + w;
  int k = d;
  for (; k >= 2; k -= 2) {
    p -= 2;
    std::memcpy(p, kPairs.c + 2 * (dec % 100), 2);
    dec /= 100;
  }
  if (k) *--p = static_cast<char>('0' + dec);
  *--p = '.';
  if (zero) *--p = '0';
  while (ip >= 100) {
    p -= 2;
    std::memcpy(p, kPairs.c + 2 * (ip % 100), 2);
    ip /= 100;
  }
  if (ip >= 10) {
    p -= 2;
    std::memcpy(p, kPairs.c + 2 * ip, 2);
  } else if (ip) {
    *--p = static_cast<char>('0' + ip);
  }
  if (neg) *--p = '-';
  blanks(out, static_cast<int>(p - out));
}

// Fixed-point field from its integer digits (ni of them; 0 when the integer
// part is zero) and its d decimals.
void layFixedText(char* out, int w, int d, bool neg, const char* intp, int ni,
                  const char* frac) {
  bool zero = ni == 0;
  int len = static_cast<int>(neg) + (zero ? 1 : ni) + 1 + d;
  if (len > w && zero) {
    --len;
    zero = false;
  }
  if (len > w) {
    fill(out, w, '*');
    return;
  }
  char* p = out;
  fill(p, w - len, ' ');
  p += w - len;
  if (neg) *p++ = '-';
  if (zero) *p++ = '0';
  std::memcpy(p, intp, static_cast<std::size_t>(ni));
  p += ni;
  *p++ = '.';
  std::memcpy(p, frac, static_cast<std::size_t>(d));
}

// round(q / 2^s), ties to even.
template <class U>
inline U shiftRoundEven(U q, int s) {
  constexpr int bits = sizeof(U) * 8;
  if (s == 0) return q;
  if (s > bits) return 0;  // q < 2^bits <= 2^(s-1): below one half
  if (s == bits) return q > (U(1) << (bits - 1)) ? 1 : 0;
  U n = q >> s;
  U rem = q & ((U(1) << s) - 1);
  U half = U(1) << (s - 1);
  if (rem > half || (rem == half && (n & 1))) ++n;
  return n;
}

// Fw.d of a = |v| (finite) by std::to_chars; d < w.
void editFSlow(char* out, int w, int d, bool neg, double a) {
  int room = w - d - 1;  // integer digits allowed, sign aside
  if (room <= 22 && a >= kExactPow10[room]) {
    fill(out, w, '*');
    return;
  }
  char buf[kScratch];
  auto r = std::to_chars(buf, buf + kScratch, a, std::chars_format::fixed, d);
  const char* dot = d ? static_cast<const char*>(std::memchr(buf, '.', r.ptr - buf)) : r.ptr;
  int ni = static_cast<int>(dot - buf);
  if (ni == 1 && buf[0] == '0') ni = 0;
  layFixedText(out, w, d, neg, buf, ni, dot + 1);
}

// Ew.d from the d digits of the value rounded to d significant digits and
// its exponent x (value = 0.digits * 10^x).
void layE(char* out, int w, int d, bool neg, const char* digits, int x) {
  int len = static_cast<int>(neg) + 2 + d + 4;
  bool zero = true;
  if (len > w) {
    --len;
    zero = false;
  }
  if (len > w) {
    fill(out, w, '*');
    return;
  }
  char* p = out;
  fill(p, w - len, ' ');
  p += w - len;
  if (neg) *p++ = '-';
  if (zero) *p++ = '0';
  *p++ = '.';
  std::memcpy(p, digits, static_cast<std::size_t>(d));
  p += d;
  int ax = x < 0 ? -x : x;
  if (ax <= 99) {
    *p++ = 'E';
    *p++ = x < 0 ? '-' : '+';
    std::memcpy(p, kPairs.c + 2 * ax, 2);
  } else {
    *p++ = x < 0 ? '-' : '+';
    *p++ = static_cast<char>('0' + ax / 100);
    std::memcpy(p, kPairs.c + 2 * (ax % 100), 2);
  }
}

// The digits (1 + prec of them, point removed) and decimal exponent of a > 0
// in scientific notation with prec digits after the point: a rounds to
// d.ddd * 10^exp. Returns exp; digits gets the digit characters.
int scientific(double a, int prec, char* digits) {
  char buf[kScratch];
  auto r = std::to_chars(buf, buf + kScratch, a, std::chars_format::scientific, prec);
  const char* e = static_cast<const char*>(std::memchr(buf, 'e', r.ptr - buf));
  digits[0] = buf[0];
  if (prec) std::memcpy(digits + 1, buf + 2, static_cast<std::size_t>(prec));
  int exp = 0;
  std::from_chars(e + 2, r.ptr, exp);
  return e[1] == '-' ? -exp : exp;
}

inline bool badWidth(int w) { return w < 1 || w > kMaxNumericWidth; }

}  // namespace

void editI(char* out, int w, std::int32_t v) {
  if (badWidth(w)) {
    fill(out, w, '*');
    return;
  }
  bool neg = v < 0;
  std::uint64_t a = neg ? -static_cast<std::int64_t>(v) : v;
  int len = countDigits(a) + static_cast<int>(neg);
  if (len > w) {
    fill(out, w, '*');
    return;
  }
  char* p = digitsBackward(out + w, a);
  if (neg) *--p = '-';
  fill(out, static_cast<int>(p - out), ' ');
}

void editF(char* out, int w, int d, float v) {
  std::uint32_t bits = std::bit_cast<std::uint32_t>(v);
  bool neg = bits >> 31;
  int be = static_cast<int>((bits >> 23) & 0xff);
  std::uint32_t frac = bits & 0x7fffff;
  if (be == 0xff) return editNonFinite(out, w, neg, frac != 0);
  if (badWidth(w) || d < 0 || d >= w) {  // not even room for the point and the decimals
    fill(out, w, '*');
    return;
  }
  // v = m * 2^-s with m < 2^24 (v below 2^24).
  if (be <= 150) {
    std::uint32_t m = be ? (frac | 0x800000u) : frac;
    int s = be ? 150 - be : 149;
    if (d >= 1 && d <= 9) {
      // Integer part and fraction apart: ip + f / 2^s. The decimals are
      // round(f * 10^d / 2^s) (below 2^63); 10^d is even, so the tie goes
      // to an even last decimal whatever ip is. A carry moves into ip.
      std::uint32_t ip = s < 32 ? m >> s : 0;
      std::uint64_t f = s < 32 ? m - (ip << s) : m;
      std::uint32_t p10 = static_cast<std::uint32_t>(kPow10.p[d]);
      auto dec = static_cast<std::uint32_t>(shiftRoundEven(f * p10, s));
      if (dec == p10) {
        ++ip;
        dec = 0;
      }
      return layFixedSplit(out, w, d, neg, ip, dec);
    }
    if (d <= 12) {  // m * 10^d stays below 2^64
      std::uint64_t q = std::uint64_t(m) * static_cast<std::uint64_t>(kPow10.p[d]);
      return layFixed(out, w, d, neg, shiftRoundEven(q, s));
    }
  }
  editFSlow(out, w, d, neg, std::fabs(static_cast<double>(v)));
}

void editF(char* out, int w, int d, double v) {
  std::uint64_t bits = std::bit_cast<std::uint64_t>(v);
  bool neg = bits >> 63;
  int be = static_cast<int>((bits >> 52) & 0x7ff);
  std::uint64_t frac = bits & ((std::uint64_t(1) << 52) - 1);
  if (be == 0x7ff) return editNonFinite(out, w, neg, frac != 0);
  if (badWidth(w) || d < 0 || d >= w) {
    fill(out, w, '*');
    return;
  }
  // v = m * 2^e with m < 2^53; below 2^53 and with d <= 22 the product
  // m * 10^d stays below 2^127.
  if (d <= 22 && be <= 1075) {
    unsigned __int128 m = be ? (frac | (std::uint64_t(1) << 52)) : frac;
    int s = be ? 1075 - be : 1074;
    unsigned __int128 n = shiftRoundEven(m * kPow10.p[d], s);
    if (n <= UINT64_MAX) return layFixed(out, w, d, neg, static_cast<std::uint64_t>(n));
  }
  editFSlow(out, w, d, neg, std::fabs(v));
}

void editE(char* out, int w, int d, double v) {
  bool neg = std::signbit(v);
  if (!std::isfinite(v)) return editNonFinite(out, w, neg, std::isnan(v));
  if (badWidth(w) || d < 1 || d >= w) {
    fill(out, w, '*');
    return;
  }
  char digits[kMaxNumericWidth + 1];
  int x = 0;
  double a = std::fabs(v);
  if (a == 0) {
    fill(digits, d, '0');
  } else {
    x = scientific(a, d - 1, digits) + 1;
  }
  layE(out, w, d, neg, digits, x);
}

void editE(char* out, int w, int d, float v) { editE(out, w, d, static_cast<double>(v)); }

void editA(char* out, int w, std::string_view text) {
  if (w <= 0) return;
  std::size_t uw = static_cast<std::size_t>(w);
  if (text.size() >= uw) {
    std::memcpy(out, text.data(), uw);
  } else {
    fill(out, w - static_cast<int>(text.size()), ' ');
    std::memcpy(out + (uw - text.size()), text.data(), text.size());
  }
}

int listFieldInt(char* out, std::int32_t v) {
  editI(out, 12, v);
  return 12;
}

namespace {

// A free-format real field. sig significant digits decide the form: with
// the value rounded to sig digits written 0.d1d2.. * 10^x, 0 <= x <= sig - 1
// gives fixed point with sig - 1 - x decimals right-justified in the first
// fixedWidth characters, then blanks up to width; any other x, and zero,
// give d.ddd..E+ee (sig digits, expDigits exponent digits) right-justified
// in width.
//
// x is taken from the value after rounding to sig digits: a value that
// rounds up into the next power of ten counts as that power, for the choice
// of form as for the exponent written (the float 9.99999997e-7 is written
// 1.0000000E-06). No float lies close enough below 0.1 or 10^7, and no
// double below 0.1 or 10^16, for that rounding to move it into the other
// form, so the rule only ever shows in the exponent. The fixed form rounds
// the exact value again, to its own decimals (one digit fewer than sig);
// that rounding cannot carry into a new power of ten for a float or a
// double (the neighbours of 10^k are more than half a unit of the last
// decimal shown apart), and if it did the field would just hold one more
// integer digit, which still fits in the fixed width.
int listFieldFloating(char* out, double v, int sig, int width, int fixedWidth,
                      int expDigits) {
  bool neg = std::signbit(v);
  if (!std::isfinite(v)) {
    editNonFinite(out, width, neg, std::isnan(v));
    return width;
  }
  double a = std::fabs(v);
  char digits[24];
  int exp10 = 0;  // value = d.ddd * 10^exp10
  if (a == 0) {
    fill(digits, sig, '0');
  } else {
    exp10 = scientific(a, sig - 1, digits);
    int x = exp10 + 1;
    if (x >= 0 && x <= sig - 1) {
      char buf[40];
      auto r = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::fixed, sig - 1 - x);
      if (x == sig - 1) *r.ptr++ = '.';  // no decimals: the point still ends the number
      int n = static_cast<int>(r.ptr - buf);
      int lead = fixedWidth - n - static_cast<int>(neg);
      fill(out, lead, ' ');
      char* p = out + lead;
      if (neg) *p++ = '-';
      std::memcpy(p, buf, static_cast<std::size_t>(n));
      fill(out + fixedWidth, width - fixedWidth, ' ');
      return width;
    }
  }
  int len = static_cast<int>(neg) + 1 + 1 + (sig - 1) + 2 + expDigits;
  char* p = out;
  fill(p, width - len, ' ');
  p += width - len;
  if (neg) *p++ = '-';
  *p++ = digits[0];
  *p++ = '.';
  std::memcpy(p, digits + 1, static_cast<std::size_t>(sig - 1));
  p += sig - 1;
  *p++ = 'E';
  *p++ = exp10 < 0 ? '-' : '+';
  int ax = exp10 < 0 ? -exp10 : exp10;
  for (int i = expDigits - 1; i >= 0; --i, ax /= 10) p[i] = static_cast<char>('0' + ax % 10);
  return width;
}

}  // namespace

int listFieldReal(char* out, float v) {
  return listFieldFloating(out, static_cast<double>(v), 8, 15, 11, 2);
}

int listFieldDouble(char* out, double v) { return listFieldFloating(out, v, 17, 25, 20, 3); }

}  // namespace rio
