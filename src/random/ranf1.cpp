// ranf1: the random number package (RANF, IGNLGI, SETALL, INITGN, GETCGN,
// SETCGN, INRGCM, QRGNIN, QRGNSN, RGNQSD, MLTMOD). All arithmetic is on
// 32-bit signed integers and never overflows.
#include "random/ranf1.hpp"

#include <unistd.h>

#include <cstring>

#include "rio/units.hpp"
#include "runtime/stop.hpp"
#include "state/globe.hpp"

namespace {

// Schrage's decomposition of the two moduli: m = a * q + r with r < q, so
// a * (s mod q) - r * (s div q) stays within 32 bits.
constexpr std::int32_t Q1 = 53668;  // m1 div a1
constexpr std::int32_t R1 = 12211;  // m1 mod a1
constexpr std::int32_t Q2 = 52774;  // m2 div a2
constexpr std::int32_t R2 = 3791;   // m2 mod a2

// 2^-31 as the single-precision constant of RANF (exact).
constexpr float SCALE = 4.656613E-10f;
static_assert(SCALE == 0x1p-31f, "4.656613E-10 must be exactly 2^-31 as a float");

// Ends the run after a package failure: what went to standard output is
// pushed out first, then `notice` goes to the standard error stream as one
// line, then the run stops.
[[noreturn]] void abortRandomPackage(const char* notice) {
  // A dry run (the tools that read a parameter file) writes nowhere.
  if (rio::dryRun()) stopOnError();
  rio::flushUnit(rio::STDOUT_UNIT);
  char line[128];
  std::size_t n = std::strlen(notice);
  if (n > sizeof line - 1) n = sizeof line - 1;
  std::memcpy(line, notice, n);
  line[n++] = '\n';
  const char* p = line;
  while (n > 0) {
    ssize_t k = ::write(2, p, n);
    if (k <= 0) break;  // nothing sensible left to do with a broken error stream
    p += k;
    n -= static_cast<std::size_t>(k);
  }
  stopOnError();
}

}  // namespace

bool QRGNSN(bool v) {
  GLOBEFLAGS.initialised = v;
  return true;
}

bool QRGNIN() { return GLOBEFLAGS.initialised; }

void RGNQSD(bool& q) { q = GLOBEFLAGS.seeded; }

void GETCGN(std::int32_t& g) { g = GLOBEFLAGS.curgen; }

void SETCGN(std::int32_t g) {
  if (g <= 0 || g > MAXGEN) {
    rio::listWrite(rio::STDOUT_UNIT, " Generator number out of range in SETCGN:",
                   " Legal range is 1 to ", std::int32_t{MAXGEN}, " -- ABORT!");
    abortRandomPackage(" Generator number out of range in SETCGN");
  }
  GLOBEFLAGS.curgen = g;
}

void INRGCM() {
  GLOBE.modulus1 = 2147483563;
  GLOBE.modulus2 = 2147483399;
  GLOBE.mult1 = 40014;
  GLOBE.mult2 = 40692;
  GLOBE.mult1w = 1033780774;
  GLOBE.mult2w = 1494757890;
  GLOBE.mult1vw = 2082007225;
  GLOBE.mult2vw = 784306273;
  for (bool& a : GLOBE.antithetic) a = false;
  (void)QRGNSN(true);
}

std::int32_t MLTMOD(std::int32_t a, std::int32_t s, std::int32_t m) {
  constexpr std::int32_t h = 32768;
  if (a <= 0 || a >= m || s <= 0 || s >= m) {
    // Reached from the parameters only through the seeds.
    const rio::Problem problem(rio::Severity::error, "seeds");
    rio::listWrite(rio::STDOUT_UNIT, " A, M, S out of order in MLTMOD - ABORT!");
    rio::listWrite(rio::STDOUT_UNIT, " A = ", a, " S = ", s, " M = ", m);
    rio::listWrite(rio::STDOUT_UNIT, " MLTMOD requires: 0 < A < M; 0 < S < M");
    abortRandomPackage(" A, M, S out of order in MLTMOD - ABORT!");
  }
  std::int32_t p = 0;
  std::int32_t a0 = a;
  if (a >= h) {
    // a = a1 * h + a0; a * s = ((a1 * s) mod m) * h + a0 * s, with the
    // multiplication by h again done by Schrage's method (m = h * qh + rh).
    std::int32_t a1 = a / h;
    a0 = a - h * a1;
    const std::int32_t qh = m / h;
    const std::int32_t rh = m - h * qh;
    if (a1 >= h) {
      // a1 = h + (a1 - h): the h * s part first.
      a1 = a1 - h;
      const std::int32_t k = s / qh;
      p = h * (s - k * qh) - k * rh;
      while (p < 0) p += m;
    }
    if (a1 != 0) {
      const std::int32_t q = m / a1;
      const std::int32_t k = s / q;
      p = p - k * (m - a1 * q);
      if (p > 0) p -= m;
      p = p + a1 * (s - k * q);
      while (p < 0) p += m;
    }
    const std::int32_t k = p / qh;
    p = h * (p - k * qh) - k * rh;
    while (p < 0) p += m;
  }
  if (a0 != 0) {
    const std::int32_t q = m / a0;
    const std::int32_t k = s / q;
    p = p - k * (m - a0 * q);
    if (p > 0) p -= m;
    p = p + a0 * (s - k * q);
    while (p < 0) p += m;
  }
  return p;
}

void INITGN(std::int32_t isdtyp) {
  const int g = GLOBEFLAGS.curgen - 1;
  if (!QRGNIN()) {
    rio::listWrite(rio::STDOUT_UNIT, " INITGN called before random number generator ",
                   " initialized -- abort!");
    abortRandomPackage(" INITGN called before random number generator initialized");
  }
  if (isdtyp == -1) {
    GLOBE.lastseed1[g] = GLOBE.initseed1[g];
    GLOBE.lastseed2[g] = GLOBE.initseed2[g];
  } else if (isdtyp == 0) {
    // Restart the current block: the last seeds stay.
  } else if (isdtyp == 1) {
    GLOBE.lastseed1[g] = MLTMOD(GLOBE.mult1w, GLOBE.lastseed1[g], GLOBE.modulus1);
    GLOBE.lastseed2[g] = MLTMOD(GLOBE.mult2w, GLOBE.lastseed2[g], GLOBE.modulus2);
  } else {
    abortRandomPackage("ISDTYP NOT IN RANGE");
  }
  GLOBE.curseed1[g] = GLOBE.lastseed1[g];
  GLOBE.curseed2[g] = GLOBE.lastseed2[g];
}

void SETALL(std::int32_t seed1, std::int32_t seed2) {
  GLOBEFLAGS.seeded = true;
  std::int32_t ocgn = 0;
  GETCGN(ocgn);
  if (!QRGNIN()) INRGCM();
  GLOBE.initseed1[0] = seed1;
  GLOBE.initseed2[0] = seed2;
  // Restarts the current generator, as the package always has; this
  // program never changes it from generator 1.
  INITGN(-1);
  for (std::int32_t g = 2; g <= MAXGEN; ++g) {
    GLOBE.initseed1[g - 1] = MLTMOD(GLOBE.mult1vw, GLOBE.initseed1[g - 2], GLOBE.modulus1);
    GLOBE.initseed2[g - 1] = MLTMOD(GLOBE.mult2vw, GLOBE.initseed2[g - 2], GLOBE.modulus2);
    SETCGN(g);
    INITGN(-1);
  }
  SETCGN(ocgn);
}

namespace {

// The constants of one step, read from GLOBE.
struct StepConstants {
  std::int32_t mult1, mult2, modulus1, modulus2;
  bool antithetic;
};

StepConstants stepConstants(int g) {
  return {GLOBE.mult1, GLOBE.mult2, GLOBE.modulus1, GLOBE.modulus2, GLOBE.antithetic[g]};
}

// The value of the generator in the state (s1, s2).
inline std::int32_t combined(std::int32_t s1, std::int32_t s2, const StepConstants& c) {
  std::int32_t z = s1 - s2;
  z += ((z - 1) >> 31) & (c.modulus1 - 1);
  if (c.antithetic) z = c.modulus1 - z;
  return z;
}

// One step of both components (s1, s2 updated) and the combined value.
inline std::int32_t combinedStep(std::int32_t& s1, std::int32_t& s2, const StepConstants& c) {
  // The three corrections below ("if negative, add the modulus"; "if
  // z < 1, add m1 - 1") are written as masks: the last one is taken half
  // of the time, and a mispredicted branch costs more than the draw.
  // (v >> 31 is -1 for negative v and 0 otherwise.)
  std::int32_t k = s1 / Q1;
  s1 = c.mult1 * (s1 - k * Q1) - k * R1;
  s1 += (s1 >> 31) & c.modulus1;

  k = s2 / Q2;
  s2 = c.mult2 * (s2 - k * Q2) - k * R2;
  s2 += (s2 >> 31) & c.modulus2;

  return combined(s1, s2, c);
}

// Sets the constants and the default seeds when nobody did so before.
inline void readyPackage() {
  if (!GLOBEFLAGS.initialised) [[unlikely]] INRGCM();
  if (!GLOBEFLAGS.seeded) [[unlikely]] SETALL(1234567890, 123456789);
}

}  // namespace

std::int32_t IGNLGI() {
  readyPackage();
  const int g = GLOBEFLAGS.curgen - 1;
  std::int32_t s1 = GLOBE.curseed1[g];
  std::int32_t s2 = GLOBE.curseed2[g];
  const std::int32_t z = combinedStep(s1, s2, stepConstants(g));
  GLOBE.curseed1[g] = s1;
  GLOBE.curseed2[g] = s2;
  return z;
}

// Two steps at a time: state k + 2 is a^2 state k mod m, a^2 taken mod m
// and the product in 64 bits, exact. The two chains (odd and even steps)
// do not wait for each other, where one step waits for the last.
namespace {

constexpr std::int64_t M1 = 2147483563;
constexpr std::int64_t M2 = 2147483399;
constexpr std::int64_t A1SQ = 40014LL * 40014LL % M1;
constexpr std::int64_t A2SQ = 40692LL * 40692LL % M2;

inline std::int32_t twoStepsOn(std::int32_t s, std::int64_t asq, std::int64_t m) {
  return static_cast<std::int32_t>(asq * s % m);
}

}  // namespace

void IGNLGIBLOCK(std::int32_t* z, std::int32_t n) {
  if (n <= 0) return;
  readyPackage();
  const int g = GLOBEFLAGS.curgen - 1;
  const StepConstants c = stepConstants(g);
  std::int32_t s1 = GLOBE.curseed1[g];
  std::int32_t s2 = GLOBE.curseed2[g];
  const bool standard = c.mult1 == 40014 && c.mult2 == 40692 && c.modulus1 == M1 && c.modulus2 == M2;
  if (!standard || n < 4) {
    for (std::int32_t k = 0; k < n; ++k) z[k] = combinedStep(s1, s2, c);
  } else {
    // Steps 1 and 2 by the generator's own step, then both chains.
    std::int32_t odd1 = s1;
    std::int32_t odd2 = s2;
    z[0] = combinedStep(odd1, odd2, c);
    std::int32_t even1 = odd1;
    std::int32_t even2 = odd2;
    z[1] = combinedStep(even1, even2, c);
    std::int32_t k = 2;
    for (; k + 2 <= n; k += 2) {
      odd1 = twoStepsOn(odd1, A1SQ, M1);
      odd2 = twoStepsOn(odd2, A2SQ, M2);
      even1 = twoStepsOn(even1, A1SQ, M1);
      even2 = twoStepsOn(even2, A2SQ, M2);
      z[k] = combined(odd1, odd2, c);
      z[k + 1] = combined(even1, even2, c);
    }
    s1 = even1;
    s2 = even2;
    if (k < n) z[k] = combinedStep(s1, s2, c);
  }
  GLOBE.curseed1[g] = s1;
  GLOBE.curseed2[g] = s2;
}

float RANF() {
  // Converting z to float rounds it to 24 bits; the scaling by 2^-31 is
  // then exact, so this is z * 2^-31 rounded to the nearest float.
  return static_cast<float>(IGNLGI()) * SCALE;
}

double RANFEXACT() {
  // z has at most 31 bits: exact in a double, and so is the scaled value.
  return static_cast<double>(IGNLGI()) * 0x1p-31;
}

void resetRandomPackage() {
  GLOBE = GlobeRecord{};
  GLOBEFLAGS = GlobeFlags{};
}
