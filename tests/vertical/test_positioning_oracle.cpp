// ABRVERTPOS2 against the straightforward positioning (the search up from
// level 1 and the extended-precision interpolation) on many random tables
// and ranks, with both kernels and several thread counts; and the guard of
// the double interpolation, on cases built to fall next to a rounding
// boundary.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "forcing/forcingtest.hpp"
#include "forcing/velhoriz.hpp"
#include "runtime/workers.hpp"
#include "state/heights.hpp"
#include "state/packets.hpp"
#include "state/pdfvi.hpp"
#include "vertical/abrvertpos.hpp"
#include "vertical/pdfcompute.hpp"
#include "vertical/rankindex.hpp"

namespace {

constexpr KernelPath kPaths[] = {KernelPath::sse2, KernelPath::avx2, KernelPath::avx512};

// The straightforward interpolation, written out as the oracle.
float extendedHeight(const float* zlev, const float* cum, int i, float r) {
  const long double z0 = zlev[i - 1];
  const long double dz = static_cast<long double>(zlev[i]) - z0;
  const long double c0 = cum[i - 1];
  const long double dc = static_cast<long double>(cum[i]) - c0;
  return static_cast<float>(z0 + dz * (static_cast<long double>(r) - c0) / dc);
}

// ABRVERTPOS2_reference: packets 1..kbreak by table 1, then the others by
// table 2, each by the search up from level 1; heights into z. Returns the
// first packet ranked above its table's top (its heights stop there), or 0.
std::int32_t ABRVERTPOS2_reference(std::vector<float>& z) {
  const std::int32_t ktotal = PACKETS.ktotal;
  const std::int32_t kbreak = PACKETS.kbreak;
  for (std::int32_t k = 1; k <= ktotal; ++k) {
    const PdfTable& t = PDFVI.table[k <= kbreak ? 0 : 1];
    const float r = RANKS.ranks[k - 1];
    if (r <= t.cum[0]) {
      z[k - 1] = 0.5f * t.zlev[0];
      continue;
    }
    if (!(r <= t.cum[NPDF - 1])) return k;
    int i = 1;
    while (!(t.cum[i] >= r)) ++i;
    z[k - 1] = extendedHeight(t.zlev, t.cum, i, r);
  }
  return 0;
}

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class Positioning : public forcingtest::Fixture {
 protected:
  void TearDown() override {
    startWorkers(1);
    useWideKernels(true);
    Fixture::TearDown();
  }
  std::mt19937 gen{20240611};
  float uniform(float a, float b) { return std::uniform_real_distribution<float>(a, b)(gen); }
  int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(gen); }

  // A table of one of the kinds the program builds, or an odd one.
  void randomTable(PdfTable& t) {
    HEIGTHS.href = uniform(0.01f, 0.5f);
    HEIGTHS.hmax = uniform(1.0f, 30.0f);
    const float sfrac = below(4) == 0 ? 0.0f : (below(5) == 0 ? uniform(0.1f, 0.9f) : 1.0f);
    const float rouses[] = {0.0f, 1.0f, 5.0f, 0.12f, uniform(0.0f, 5.0f)};
    switch (below(5)) {
      case 0:
      case 1:
        PDFCOMPUTE(t, sfrac, rouses[below(5)]);
        break;
      case 2:
        PDFCOMPUTE2(t, sfrac, rouses[below(5)], rouses[below(5)], uniform(0.0f, HEIGTHS.hmax));
        break;
      case 3: {  // steps and plateaus, some of them on bucket edges
        PDFCOMPUTE(t, 1.0f, 0.5f);
        float c = 0.0f;
        for (int i = 0; i < NPDF; ++i) {
          if (below(3) != 0) c = below(2) ? std::round(uniform(c, 1.0f) * static_cast<float>(NBUCKET)) / static_cast<float>(NBUCKET) : uniform(c, 1.0f);
          if (c < t.cum[0]) c = t.cum[0];
          t.cum[i] = i == NPDF - 1 ? 1.0f : c;
        }
        break;
      }
      default:  // not increasing at all
        PDFCOMPUTE(t, 1.0f, 0.5f);
        for (int i = 1; i < NPDF - 1; ++i) t.cum[i] = uniform(0.0f, 1.0f);
        t.cum[0] = below(2) ? 0.0f : uniform(0.0f, 0.5f);
        t.cum[NPDF - 1] = 1.0f;
        if (below(4) == 0) t.cum[1 + below(NPDF - 2)] = std::numeric_limits<float>::quiet_NaN();
    }
  }

  // A rank of one of the kinds that matter: anywhere, on a cum value or
  // next to one, on a bucket edge or next to one, at the ends.
  float randomRank(const PdfTable& t) {
    float r = 0.0f;
    switch (below(6)) {
      case 0:
        r = t.cum[below(NPDF)];
        break;
      case 1:
        r = static_cast<float>(below(NBUCKET + 1)) / static_cast<float>(NBUCKET);
        break;
      case 2:
        r = below(2) ? 1.0f : std::ldexp(1.0f, -below(140));
        break;
      default:
        r = static_cast<float>(1 + below(16777215)) * 0x1p-24f;  // as RANF gives them
    }
    if (below(3) == 0) r = std::nextafter(r, below(2) ? 2.0f : -1.0f);
    if (!(r > 0.0f)) r = 0x1p-24f;
    return r;
  }
};

}  // namespace

// Random tables and ranks, every kernel and thread count: the same height
// for every packet, or the same first packet above its table's top, named
// in the same message after the same packets were placed.
TEST_F(Positioning, TheFastPlacementIsTheStraightforwardOneBitForBit) {
  open();
  int cases = 0;
  int stopsSeen = 0;
  for (int trial = 0; trial < 120; ++trial) {
    randomTable(PDFVI.table[0]);
    randomTable(PDFVI.table[1]);
    if (trial % 10 == 9) PDFVI.table[below(2)].cum[NPDF - 1] = std::numeric_limits<float>::quiet_NaN();
    // Now and then enough packets that the wide kernels' list of blocks to
    // redo fills up and is emptied on the way.
    const std::int32_t ktotal = trial % 20 == 1 ? 60000 + below(4000)
                                : below(4) == 0 ? 1 + below(40)
                                                : 1 + below(3000);
    PACKETS.ktotal = ktotal;
    PACKETS.kbreak = below(3) == 0 ? (below(2) ? 0 : ktotal) : below(ktotal + 1);
    for (std::int32_t k = 0; k < ktotal; ++k) {
      RANKS.ranks[k] = randomRank(PDFVI.table[k < PACKETS.kbreak ? 0 : 1]);
    }
    if (trial % 7 == 3) {  // a rank above the top, somewhere in a block
      const std::int32_t k = below(ktotal);
      PDFVI.table[k < PACKETS.kbreak ? 0 : 1].cum[NPDF - 1] = 0.75f;
      RANKS.ranks[k] = 0.875f;
    }
    std::vector<float> expect(ktotal + 8, -7.0f);
    const std::int32_t bad = ABRVERTPOS2_reference(expect);
    stopsSeen += bad != 0;
    for (KernelPath path : kPaths) {
      if (!useKernelPath(path)) continue;  // the processor lacks it
      for (int threads : {1, 2, 3}) {
        startWorkers(threads);
        for (std::int32_t k = 0; k < ktotal + 8; ++k) POSITIONS.z[k] = -7.0f;
        const std::size_t logLines = log.size();
        const bool stopped = stops([] { ABRVERTPOS2(); });
        const std::string label = "trial " + std::to_string(trial) + " " + kernelPathName(path) +
                                  " threads " + std::to_string(threads);
        ASSERT_EQ(stopped, bad != 0) << label;
        if (bad != 0) {
          ASSERT_EQ(log.size(), logLines + 4) << label;
          const std::string first = bad <= PACKETS.kbreak ? " **Fatal Error in AbR_VertPos**"
                                                          : " **Fatal Error in AbR_VertPos2: Ini**";
          EXPECT_EQ(log[logLines + 1], first) << label;
          std::int32_t k = 0;
          ASSERT_EQ(std::sscanf(log.back().c_str(), " k,ranks(k), maxranks %d", &k), 1) << log.back();
          EXPECT_EQ(k, bad) << label;
        }
        // One thread stops where the search stops; more threads may have
        // placed later packets too, which the stop never shows.
        const std::int32_t check = bad == 0 || threads == 1 ? ktotal + 8 : bad - 1;
        for (std::int32_t k = 0; k < check; ++k) {
          ASSERT_TRUE(sameBits(POSITIONS.z[k], expect[k]))
              << label << " packet " << k + 1 << ": " << POSITIONS.z[k] << " for " << expect[k]
              << ", rank " << RANKS.ranks[k];
        }
        ++cases;
      }
    }
  }
  int paths = 0;
  for (KernelPath path : kPaths) paths += processorRuns(path);
  EXPECT_EQ(cases, 120 * 3 * paths);
  EXPECT_GE(stopsSeen, 20);
}

// The double interpolation and its error bound: on random segments, from
// ordinary to extreme, the double height lies within the derived bound
// E = 2^-53 (5.001 |D| + 1.0001 M) of the extended one; and on segments
// built so that the exact height is a tie between two floats, where the
// plain double rounding differs from the extended one about half of the
// time, the guarded placement still stores the extended result.
TEST_F(Positioning, TheGuardHoldsNextToARoundingBoundary) {
  for (int n = 0; n < 200000; ++n) {
    const float z0 = std::ldexp(uniform(0.5f, 1.0f), below(40) - 20);
    const float z1 = below(4) == 0 ? std::nextafter(z0, 1e30f) : z0 + std::ldexp(uniform(0.0f, 1.0f), below(40) - 20);
    const float c0 = below(3) == 0 ? 0.0f : std::ldexp(uniform(0.5f, 1.0f), -below(60));
    const float c1 = below(3) == 0 ? std::nextafter(c0, 2.0f) : c0 + uniform(0.0f, 1.0f) * std::ldexp(1.0f, -below(30));
    if (!(c1 > c0)) continue;
    const float r = c0 + (c1 - c0) * uniform(0.0f, 1.0f);
    if (!(r > c0 && r <= c1)) continue;
    const double d = static_cast<double>(z1) - z0;
    const double zd = static_cast<double>(z0) + d / (static_cast<double>(c1) - c0) * (static_cast<double>(r) - c0);
    const long double dz = static_cast<long double>(z1) - z0;
    const long double s = z0 + dz * (static_cast<long double>(r) - c0) / (static_cast<long double>(c1) - c0);
    const double m = std::fmax(std::fabs(z0), std::fabs(z1));
    const long double e = 0x1p-53L * (5.001L * std::fabs(d) + 1.0001L * m);
    ASSERT_LE(std::fabs(static_cast<long double>(zd) - s), e) << z0 << " " << z1 << " " << c0 << " " << c1 << " " << r;
  }

  // Near ties: level 1 at 1 m and level 2 at 2 m, q = (2j + 1) 2^-24 so
  // that 1 + q is the midpoint between two floats; r is the float just
  // above q cum(2) and cum(1) the float nearest (r - q cum(2)) / (1 - q),
  // which puts the exact height within about 2^-48 of the midpoint, and
  // the cases within 2^-53 are kept.
  open();
  PdfTable& t = PDFVI.table[1];
  PACKETS.kbreak = 0;
  PACKETS.ktotal = 17;  // a block of sixteen (or two of eight) and one more
  int plainDiffers = 0;
  int tried = 0;
  for (int n = 0; n < 20000 && tried < 600; ++n) {
    const int j = (1 << 21) + below((1 << 23) - (1 << 21));
    const long double q = static_cast<long double>(2 * j + 1) * 0x1p-24L;
    const float c1 = uniform(0.5f, 1.0f);
    float r = static_cast<float>(q * c1);
    if (static_cast<long double>(r) <= q * c1) r = std::nextafter(r, 2.0f);
    const float c0 = static_cast<float>((static_cast<long double>(r) - q * c1) / (1.0L - q));
    if (!(c0 > 0.0f && r > c0 && r <= c1)) continue;
    const long double tq = (static_cast<long double>(r) - c0) / (static_cast<long double>(c1) - c0);
    if (std::fabs(tq - q) > 0x1p-53L) continue;
    ++tried;
    t.zlev[0] = 1.0f;
    t.cum[0] = c0;
    for (int i = 1; i < NPDF; ++i) {
      t.zlev[i] = 1.0f + static_cast<float>(i);
      t.cum[i] = c1 + (1.0f - c1) * static_cast<float>(i - 1) / (NPDF - 2);
    }
    for (std::int32_t k = 0; k < 17; ++k) RANKS.ranks[k] = r;
    const float exact = extendedHeight(t.zlev, t.cum, 1, r);
    const double plain = 1.0 + (2.0 - 1.0) / (static_cast<double>(c1) - c0) * (static_cast<double>(r) - c0);
    plainDiffers += static_cast<float>(plain) != exact;
    for (KernelPath path : kPaths) {
      if (!useKernelPath(path)) continue;  // the processor lacks it
      ABRVERTPOS2();
      for (std::int32_t k = 0; k < 17; ++k) {
        ASSERT_TRUE(sameBits(POSITIONS.z[k], exact))
            << "cum " << c0 << " " << c1 << " rank " << r << " " << kernelPathName(path);
      }
    }
  }
  EXPECT_EQ(tried, 600);
  // The cases are hard ones: a plain double evaluation would get many wrong.
  EXPECT_GT(plainDiffers, tried / 4) << tried;
}

// PLACEANDMOVE is ABRVERTPOS2 and then MOVEHORIZ: the same heights and
// moves, and the same stop when a packet is ranked above its table's top
// (that stop first) or lies above the top node.
TEST_F(Positioning, PlacingAndMovingInOnePassIsPlacingThenMoving) {
  open();
  const float h[] = {0.05f, 0.1f, 0.2f, 0.5f, 1.0f, 3.0f, 6.0f, 11.0f};
  const float uu[] = {0.0f, 0.05f, 0.08f, 0.11f, 0.15f, 0.2f, 0.24f, 0.26f};
  const float vv[] = {-0.0f, -0.01f, -0.02f, -0.03f, -0.04f, -0.05f, -0.05f, -0.06f};
  HEIGTHS.href = 0.05f;
  HEIGTHS.hmax = 11.0f;
  for (int trial = 0; trial < 24; ++trial) {
    PDFCOMPUTE(PDFVI.table[0], 1.0f, uniform(0.0f, 2.0f));
    PDFCOMPUTE(PDFVI.table[1], 1.0f, uniform(0.0f, 2.0f));
    const std::int32_t ktotal = 1 + below(2500);
    PACKETS.ktotal = ktotal;
    PACKETS.kbreak = below(ktotal + 1);
    std::vector<float> x0(ktotal), y0(ktotal);
    for (std::int32_t k = 0; k < ktotal; ++k) {
      const PdfTable& t = PDFVI.table[k < PACKETS.kbreak ? 0 : 1];
      RANKS.ranks[k] = std::min(randomRank(t), t.cum[NPDF - 1]);
      x0[k] = uniform(-100.0f, 100.0f);
      y0[k] = below(5) == 0 ? -0.0f : uniform(-100.0f, 100.0f);
    }
    const int kind = trial % 4;  // 0: clean; 1: a rank above the top; 2: a height above the grid; 3: both
    const std::int32_t badRank = below(ktotal);
    if (kind == 1 || kind == 3) {
      PDFVI.table[badRank < PACKETS.kbreak ? 0 : 1].cum[NPDF - 1] = 0.75f;
      RANKS.ranks[badRank] = 0.875f;
    }
    // A height above the top node: levels up to 12 m in the table of the
    // packet, whose rank is then placed near the top.
    const std::int32_t high = below(ktotal);
    if (kind >= 2) {
      PdfTable& t = PDFVI.table[high < PACKETS.kbreak ? 0 : 1];
      t.zlev[NPDF - 1] = 12.0f;
      RANKS.ranks[high] = t.cum[NPDF - 1];
    }
    // The oracle: ABRVERTPOS2_reference, then one packet after another.
    std::vector<float> ez(ktotal), ex = x0, ey = y0;
    const std::int32_t bad = ABRVERTPOS2_reference(ez);
    bool expectStop = bad != 0;
    std::vector<std::string> expectLog;
    if (bad == 0) {
      for (std::int32_t k = 0; k < ktotal; ++k) POSITIONS.z[k] = ez[k];
      expectStop = stops([&] { for (std::int32_t k = 0; k < ktotal; ++k) {
        float u, v;
        VELHORIZ(u, v, ez[k], uu, vv, h, 8);
        ex[k] = ex[k] + static_cast<float>(60.0 * u);
        ey[k] = ey[k] + static_cast<float>(60.0 * v);
      } });
      if (expectStop) expectLog = {log.back()};
    }
    for (int threads : {1, 2, 3}) {
      startWorkers(threads);
      std::copy(x0.begin(), x0.end(), POSITIONS.x);
      std::copy(y0.begin(), y0.end(), POSITIONS.y);
      const std::size_t lines = log.size();
      const bool stopped = stops([&] { PLACEANDMOVE(60.0, 8, h, uu, vv); });
      const std::string label = "trial " + std::to_string(trial) + " threads " + std::to_string(threads);
      ASSERT_EQ(stopped, expectStop) << label;
      if (bad != 0) {
        ASSERT_EQ(log.size(), lines + 4) << label;
        std::int32_t k = 0;
        ASSERT_EQ(std::sscanf(log.back().c_str(), " k,ranks(k), maxranks %d", &k), 1) << log.back();
        EXPECT_EQ(k, bad) << label;
        continue;
      }
      if (expectStop) {
        ASSERT_EQ(log.size(), lines + 1) << label;
        EXPECT_EQ(log.back(), expectLog[0]) << label;
      }
      if (expectStop && threads > 1) continue;  // later shares may have moved too
      for (std::int32_t k = 0; k < ktotal; ++k) {
        ASSERT_TRUE(sameBits(POSITIONS.z[k], ez[k])) << label << " z of packet " << k + 1;
        ASSERT_TRUE(sameBits(POSITIONS.x[k], ex[k])) << label << " x of packet " << k + 1;
        ASSERT_TRUE(sameBits(POSITIONS.y[k], ey[k])) << label << " y of packet " << k + 1;
      }
    }
  }
}
