// The random number package: the reference vectors of tests/data (computed
// from the generator's mathematics, not from this code), the boundaries of
// RANF, the restarts of INITGN and every stop with its messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "random/ranf1.hpp"
#include "rio/units.hpp"
#include "runtime/stop.hpp"
#include "state/globe.hpp"

namespace {

constexpr std::int32_t M1 = 2147483563;
constexpr std::int32_t M2 = 2147483399;

struct StreamRow {
  std::int32_t seed1, seed2, stream, block;
  long long draw;
  std::int32_t z;
  std::uint32_t bits;
};

struct MltmodRow {
  std::int32_t a, s, m, expected;
};

struct Vectors {
  std::vector<StreamRow> streams;
  std::vector<MltmodRow> mltmod;
};

// Both tables of ranf-vectors.txt: header, rows, blank line, header, rows.
const Vectors& vectors() {
  static const Vectors v = [] {
    Vectors r;
    std::ifstream f(std::string(VORN_TEST_DATA) + "/ranf-vectors.txt");
    EXPECT_TRUE(f.good()) << "cannot open ranf-vectors.txt";
    std::string line;
    int table = 0;
    bool header = true;
    while (std::getline(f, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty()) {
        ++table;
        header = true;
        continue;
      }
      if (header) {
        header = false;
        continue;
      }
      std::istringstream in(line);
      if (table == 0) {
        StreamRow s{};
        std::string bits;
        in >> s.seed1 >> s.seed2 >> s.stream >> s.block >> s.draw >> s.z >> bits;
        EXPECT_FALSE(in.fail()) << line;
        s.bits = static_cast<std::uint32_t>(std::stoul(bits, nullptr, 16));
        r.streams.push_back(s);
      } else {
        MltmodRow m{};
        in >> m.a >> m.s >> m.m >> m.expected;
        EXPECT_FALSE(in.fail()) << line;
        r.mltmod.push_back(m);
      }
    }
    return r;
  }();
  return v;
}

// (a * s) mod m in 64 bits, and a^(2^e) mod m by e squarings.
std::int64_t mulmod64(std::int64_t a, std::int64_t s, std::int64_t m) { return a * s % m; }
std::int64_t pow2pow(std::int64_t a, int e, std::int64_t m) {
  for (int i = 0; i < e; ++i) a = mulmod64(a, a, m);
  return a;
}
// a^-1 mod m (m prime): a^(m-2).
std::int64_t inverse(std::int64_t a, std::int64_t m) {
  std::int64_t r = 1, b = a % m;
  for (std::int64_t e = m - 2; e > 0; e >>= 1) {
    if (e & 1) r = mulmod64(r, b, m);
    b = mulmod64(b, b, m);
  }
  return r;
}

// Every test starts from the state at program start.
class Ranf : public ::testing::Test {
 protected:
  void SetUp() override { resetRandomPackage(); }
  void TearDown() override { resetRandomPackage(); }
};

// Runs `call`, which must stop the run; returns what it wrote on standard
// output and on the standard error stream.
std::pair<std::string, std::string> stopOutput(const std::function<void()>& call) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  bool stopped = false;
  try {
    call();
  } catch (const StopRun&) {
    stopped = true;
  }
  rio::flushUnit(rio::STDOUT_UNIT);
  std::string out = testing::internal::GetCapturedStdout();
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(stopped) << "the call did not stop the run";
  return {out, err};
}

// ---- Reference vectors ------------------------------------------------------

TEST_F(Ranf, EveryRowOfTheStreamTable) {
  const auto& rows = vectors().streams;
  ASSERT_EQ(rows.size(), 235u);
  // Rows of one seed pair, stream and block, in increasing draw order.
  std::map<std::tuple<std::int32_t, std::int32_t, std::int32_t, std::int32_t>,
           std::vector<StreamRow>>
      groups;
  for (const auto& r : rows) groups[{r.seed1, r.seed2, r.stream, r.block}].push_back(r);
  for (auto& [key, g] : groups) {
    std::sort(g.begin(), g.end(), [](const StreamRow& a, const StreamRow& b) { return a.draw < b.draw; });
    const auto [seed1, seed2, stream, block] = key;
    SCOPED_TRACE(testing::Message() << "seeds " << seed1 << " " << seed2 << " stream " << stream
                                    << " block " << block);
    resetRandomPackage();
    SETALL(seed1, seed2);
    SETCGN(stream);
    if (block == 1) INITGN(1);
    // The same rows are checked three times, through IGNLGI, RANF and
    // RANFEXACT; INITGN(0) brings the stream back to the start of its block
    // between the passes. The draws between rows run in tight loops.
    long long drawn = 0;
    auto skipTo = [&drawn](long long draw, auto next) {
      for (; drawn < draw - 1; ++drawn) next();
      ++drawn;
      return next();
    };
    for (const auto& r : g) {
      EXPECT_EQ(skipTo(r.draw, IGNLGI), r.z) << "IGNLGI, draw " << r.draw;
    }
    INITGN(0);
    drawn = 0;
    bool open = true;  // every RANF drawn lies in (0, 1)
    auto ranfInside = [&open] {
      const float f = RANF();
      open &= f > 0.0f && f < 1.0f;
      return f;
    };
    for (const auto& r : g) {
      EXPECT_EQ(std::bit_cast<std::uint32_t>(skipTo(r.draw, ranfInside)), r.bits)
          << "RANF, draw " << r.draw;
    }
    EXPECT_TRUE(open);
    INITGN(0);
    drawn = 0;
    for (const auto& r : g) {
      const double d = skipTo(r.draw, RANFEXACT);
      EXPECT_EQ(d, static_cast<double>(r.z) / 2147483648.0) << "RANFEXACT, draw " << r.draw;
      EXPECT_EQ(std::bit_cast<std::uint32_t>(static_cast<float>(d)), r.bits);
    }
  }
}

TEST_F(Ranf, EveryRowOfTheMltmodTable) {
  const auto& rows = vectors().mltmod;
  ASSERT_EQ(rows.size(), 1168u);
  for (const auto& r : rows) {
    EXPECT_EQ(MLTMOD(r.a, r.s, r.m), r.expected) << r.a << " " << r.s << " " << r.m;
  }
}

// ---- MLTMOD against 64-bit arithmetic --------------------------------------

void sweepMltmod(std::int32_t a, std::int32_t m, std::int32_t step) {
  long long bad = 0;
  for (std::int64_t s = 1; s < m; s += step) {
    const std::int32_t got = MLTMOD(a, static_cast<std::int32_t>(s), m);
    if (got != mulmod64(a, s, m) && ++bad <= 5) {
      ADD_FAILURE() << "MLTMOD(" << a << ", " << s << ", " << m << ") = " << got;
    }
  }
  for (std::int32_t s : {1, 2, 32767, 32768, 32769, m / 2, m - 2, m - 1}) {
    EXPECT_EQ(MLTMOD(a, s, m), mulmod64(a, s, m)) << a << " " << s << " " << m;
  }
  EXPECT_EQ(bad, 0);
}

TEST_F(Ranf, MltmodAgreesWith64BitArithmeticForThePackageMultipliers) {
  // Every 997th operand (about 2 million per multiplier) and the edges.
  sweepMltmod(2082007225, M1, 997);
  sweepMltmod(784306273, M2, 997);
  sweepMltmod(1033780774, M1, 997);
  sweepMltmod(1494757890, M2, 997);
  sweepMltmod(40014, M1, 997);
}

// The full sweep over s = 1..m1-1 takes about 40 s in the Release build; run it with
// --gtest_also_run_disabled_tests.
TEST_F(Ranf, DISABLED_MltmodOfTheStreamMultiplierForEveryOperand) {
  sweepMltmod(2082007225, M1, 1);
}

// ---- Constants, flags and the default seeds --------------------------------

TEST_F(Ranf, ConstantsArePowersOfTheMultipliers) {
  EXPECT_FALSE(QRGNIN());
  GLOBE.antithetic[4] = true;
  INRGCM();
  EXPECT_TRUE(QRGNIN());
  EXPECT_EQ(GLOBE.modulus1, M1);
  EXPECT_EQ(GLOBE.modulus2, M2);
  EXPECT_EQ(GLOBE.mult1, 40014);
  EXPECT_EQ(GLOBE.mult2, 40692);
  EXPECT_EQ(GLOBE.mult1w, pow2pow(40014, 30, M1));
  EXPECT_EQ(GLOBE.mult2w, pow2pow(40692, 30, M2));
  EXPECT_EQ(GLOBE.mult1vw, pow2pow(40014, 50, M1));
  EXPECT_EQ(GLOBE.mult2vw, pow2pow(40692, 50, M2));
  for (bool a : GLOBE.antithetic) EXPECT_FALSE(a);
  EXPECT_TRUE(QRGNSN(false));
  EXPECT_FALSE(QRGNIN());
}

// A block of draws is the same draws one by one, and leaves the generator
// where they leave it, whatever the length, on any generator, antithetic
// or not.
TEST_F(Ranf, ABlockOfDrawsIsTheDrawsOneByOne) {
  for (std::int32_t g : {1, 7}) {
    for (bool antithetic : {false, true}) {
      for (std::int32_t n : {0, 1, 2, 3, 4, 5, 8, 9, 512, 1001}) {
        SETALL(1234567890, 123456789);
        SETCGN(g);
        GLOBE.antithetic[g - 1] = antithetic;
        for (int d = 0; d < n % 5; ++d) IGNLGI();  // somewhere in the stream
        const GlobeRecord before = GLOBE;
        std::vector<std::int32_t> one(n), block(n + 1, -1);
        for (std::int32_t& z : one) z = IGNLGI();
        const std::int32_t next = IGNLGI();
        GLOBE = before;
        IGNLGIBLOCK(block.data(), n);
        EXPECT_EQ(std::vector<std::int32_t>(block.begin(), block.begin() + n), one) << g << " " << n;
        EXPECT_EQ(block[n], -1);
        EXPECT_EQ(IGNLGI(), next) << g << " " << antithetic << " " << n;
        GLOBE.antithetic[g - 1] = false;
        SETCGN(1);
      }
    }
  }
}

TEST_F(Ranf, FirstThreeValuesAndReproducibility) {
  bool seeded = true;
  RGNQSD(seeded);
  EXPECT_FALSE(seeded);
  SETALL(1234567890, 123456789);
  RGNQSD(seeded);
  EXPECT_TRUE(seeded);
  EXPECT_EQ(IGNLGI(), 695163044);
  EXPECT_EQ(IGNLGI(), 696626468);
  EXPECT_EQ(IGNLGI(), 1059541850);
  SETALL(1234567890, 123456789);
  EXPECT_NEAR(RANF(), 0.3237105f, 5e-8);
  EXPECT_NEAR(RANF(), 0.3243920f, 5e-8);
  EXPECT_NEAR(RANF(), 0.4933876f, 5e-8);

  // Seeding again with the same seeds gives the same sequence.
  std::vector<float> first(1000), second(1000);
  SETALL(24681357, 97531864);
  for (float& f : first) f = RANF();
  SETALL(24681357, 97531864);
  for (float& f : second) f = RANF();
  EXPECT_EQ(first, second);
}

TEST_F(Ranf, DrawingWithoutSeedingUsesTheDefaultSeeds) {
  EXPECT_EQ(IGNLGI(), 695163044);
  EXPECT_TRUE(QRGNIN());
  bool seeded = false;
  RGNQSD(seeded);
  EXPECT_TRUE(seeded);
  EXPECT_EQ(IGNLGI(), 696626468);
}

// ---- The range of RANF ------------------------------------------------------

// Puts generator 1 in the state whose next components are t1 and t2.
void nextComponentsAre(std::int64_t t1, std::int64_t t2) {
  GLOBE.curseed1[0] = static_cast<std::int32_t>(mulmod64(t1, inverse(40014, M1), M1));
  GLOBE.curseed2[0] = static_cast<std::int32_t>(mulmod64(t2, inverse(40692, M2), M2));
}

TEST_F(Ranf, RanfStaysInsideTheOpenUnitInterval) {
  SETALL(1, 1);
  // Equal components give the largest value, m1 - 1.
  nextComponentsAre(777, 777);
  EXPECT_EQ(IGNLGI(), M1 - 1);
  nextComponentsAre(777, 777);
  EXPECT_EQ(RANF(), 1.0f - 0x1p-24f);
  nextComponentsAre(777, 777);
  EXPECT_EQ(RANFEXACT(), static_cast<double>(M1 - 1) / 2147483648.0);
  // Component 1 one above component 2 gives the smallest, 1.
  nextComponentsAre(778, 777);
  EXPECT_EQ(RANF(), 0x1p-31f);
  // Component 1 below component 2: z wraps by m1 - 1.
  nextComponentsAre(5, 10);
  EXPECT_EQ(IGNLGI(), M1 - 1 - 5);
}

TEST_F(Ranf, AntitheticStreamReturnsTheModulusComplement) {
  SETALL(12345678, 87654321);
  const std::int32_t z = IGNLGI();
  INITGN(-1);
  GLOBE.antithetic[0] = true;
  EXPECT_EQ(IGNLGI(), M1 - z);
}

// ---- Restarts and generators -----------------------------------------------

TEST_F(Ranf, InitgnRestartsBlocksAndStreams) {
  SETALL(12345678, 87654321);
  std::vector<std::int32_t> block0(5);
  for (auto& z : block0) z = IGNLGI();
  // The next block starts 2^30 steps after the start of the current block,
  // wherever the stream stands inside it.
  INITGN(1);
  const std::int32_t block1first = IGNLGI();
  SETALL(12345678, 87654321);
  INITGN(1);
  EXPECT_EQ(IGNLGI(), block1first);
  EXPECT_EQ(GLOBE.lastseed1[0], mulmod64(pow2pow(40014, 30, M1), 12345678, M1));
  EXPECT_EQ(GLOBE.lastseed2[0], mulmod64(pow2pow(40692, 30, M2), 87654321, M2));
  // INITGN(0) goes back to the start of the current block.
  IGNLGI();
  INITGN(0);
  EXPECT_EQ(IGNLGI(), block1first);
  // INITGN(-1) goes back to the initial seeds of the stream.
  INITGN(1);
  INITGN(-1);
  for (auto z : block0) EXPECT_EQ(IGNLGI(), z);
}

TEST_F(Ranf, StreamsAreSeparateAndSetallKeepsTheCurrentGenerator) {
  SETALL(98765432, 13579246);
  std::int32_t g = 0;
  GETCGN(g);
  EXPECT_EQ(g, 1);
  const std::int32_t first1 = IGNLGI();
  SETCGN(32);
  GETCGN(g);
  EXPECT_EQ(g, 32);
  for (int i = 0; i < 10; ++i) IGNLGI();
  SETCGN(1);
  const std::int32_t second1 = IGNLGI();
  SETALL(98765432, 13579246);
  IGNLGI();
  EXPECT_EQ(IGNLGI(), second1);  // drawing from stream 32 left stream 1 alone
  EXPECT_NE(first1, second1);
  // Stream g starts 2^50 steps after stream g-1.
  for (int s = 2; s <= MAXGEN; ++s) {
    EXPECT_EQ(GLOBE.initseed1[s - 1], mulmod64(GLOBE.mult1vw, GLOBE.initseed1[s - 2], M1));
    EXPECT_EQ(GLOBE.initseed2[s - 1], mulmod64(GLOBE.mult2vw, GLOBE.initseed2[s - 2], M2));
  }
  SETCGN(7);
  SETALL(1, 2);
  GETCGN(g);
  EXPECT_EQ(g, 7);
}

// ---- Stops ------------------------------------------------------------------

TEST_F(Ranf, SeedOutsideItsRangeStopsInSetallWithTheMltmodMessages) {
  const std::string tail =
      "  MLTMOD requires: 0 < A < M; 0 < S < M\r\n";
  const std::string head = "  A, M, S out of order in MLTMOD - ABORT!\r\n";
  const std::string notice = " A, M, S out of order in MLTMOD - ABORT!\n";
  struct Case {
    std::int32_t seed1, seed2;
    const char* values;  // the " A = ... S = ... M = ..." record
  };
  const Case cases[] = {
      {0, 1, "  A =   2082007225 S =            0 M =   2147483563"},
      {-5, 1, "  A =   2082007225 S =           -5 M =   2147483563"},
      {M1, 1, "  A =   2082007225 S =   2147483563 M =   2147483563"},
      {1, 0, "  A =    784306273 S =            0 M =   2147483399"},
      {1, M2, "  A =    784306273 S =   2147483399 M =   2147483399"},
  };
  for (const auto& c : cases) {
    auto [out, err] = stopOutput([&] { SETALL(c.seed1, c.seed2); });
    EXPECT_EQ(out, head + c.values + "\r\n" + tail) << c.seed1 << " " << c.seed2;
    EXPECT_EQ(err, notice);
  }
  // The largest seeds are accepted.
  SETALL(M1 - 1, M2 - 1);
  // MLTMOD itself checks a as well.
  auto [out, err] = stopOutput([] { MLTMOD(M1, 5, M1); });
  EXPECT_EQ(out, head + "  A =   2147483563 S =            5 M =   2147483563\r\n" + tail);
}

TEST_F(Ranf, GeneratorNumberOutOfRangeStopsInSetcgn) {
  for (std::int32_t g : {0, 33, -1}) {
    auto [out, err] = stopOutput([g] { SETCGN(g); });
    // The third item would pass column 79, so " -- ABORT!" makes a record of its own.
    EXPECT_EQ(out,
              "  Generator number out of range in SETCGN: Legal range is 1 to           32\r\n"
              "  -- ABORT!\r\n");
    EXPECT_EQ(err, " Generator number out of range in SETCGN\n");
  }
  std::int32_t g = 0;
  GETCGN(g);
  EXPECT_EQ(g, 1);
}

TEST_F(Ranf, InitgnStops) {
  auto [out, err] = stopOutput([] { INITGN(-1); });
  EXPECT_EQ(out, "  INITGN called before random number generator  initialized -- abort!\r\n");
  EXPECT_EQ(err, " INITGN called before random number generator initialized\n");

  SETALL(12345678, 87654321);
  for (std::int32_t t : {2, -2}) {
    auto [out2, err2] = stopOutput([t] { INITGN(t); });
    EXPECT_EQ(out2, "");
    EXPECT_EQ(err2, "ISDTYP NOT IN RANGE\n");
  }
  // The stream was left where it was.
  SETALL(12345678, 87654321);
  const std::int32_t z = IGNLGI();
  SETALL(12345678, 87654321);
  try {
    testing::internal::CaptureStderr();
    INITGN(2);
  } catch (const StopRun&) {
  }
  (void)testing::internal::GetCapturedStderr();
  EXPECT_EQ(IGNLGI(), z);
}

}  // namespace
