// Vertical shuffling: the sweep, the random packet numbers, the order of
// the draws, the failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "forcing/forcingtest.hpp"
#include "random/ranf1.hpp"
#include "state/globe.hpp"
#include "state/packets.hpp"
#include "state/shuffling.hpp"
#include "vertical/vertshuffl.hpp"

namespace {

class Shuffle : public forcingtest::Fixture {
 protected:
  void SetUp() override {
    Fixture::SetUp();
    seed();
  }
  void TearDown() override {
    Fixture::TearDown();
    resetRandomPackage();
  }
  static void seed() {
    resetRandomPackage();
    SETALL(12345678, 87654321);
  }
  // ktotal packets with distinct ranks k / (ktotal + 1), the sweep at its start.
  void packets(std::int32_t ktotal, double fracmix, std::int32_t vmethod) {
    PACKETS.ktotal = ktotal;
    for (std::int32_t k = 1; k <= ktotal; ++k) RANKS.ranks[k - 1] = float(k) / float(ktotal + 1);
    SHUFFLINGMID.fracmix = fracmix;
    SHUFFLINGMID.kstart = 1;
    SHUFFLINGMID.nsweep = 1;
    SHUFFLINGIN.vmethod = vmethod;
  }
  std::vector<float> ranks() const { return {RANKS.ranks, RANKS.ranks + PACKETS.ktotal}; }
  static std::vector<float> sorted(std::vector<float> v) {
    std::sort(v.begin(), v.end());
    return v;
  }
  std::int32_t step() {
    std::int32_t code = 99;
    VERTSHUFFL(0, code);
    return code;
  }
};

// The random packet number, drawn the way the shuffling draws it.
std::int32_t draw(std::int32_t ktotal) { return packetOfDraw(RANFEXACT(), ktotal); }

// VERTSHUFFL_reference: one step of methods 2, 3 and 4, one draw at a time
// as the methods read, with the sweep bookkeeping.
void VERTSHUFFL_reference() {
  const std::int32_t ktotal = PACKETS.ktotal;
  ShufflingmidRecord& s = SHUFFLINGMID;
  const std::int32_t kmix = static_cast<std::int32_t>(static_cast<double>(ktotal) * s.fracmix);
  float* ranks = RANKS.ranks;
  const std::int64_t kend = static_cast<std::int64_t>(s.kstart) + kmix - 1;
  auto wrap = [&](std::int64_t m) { return static_cast<std::int32_t>((m - 1) % ktotal + 1); };
  if (SHUFFLINGIN.vmethod == 2) {
    for (std::int32_t n = 0; n < kmix; ++n) {
      const std::int32_t i = draw(ktotal);
      const std::int32_t j = draw(ktotal);
      std::swap(ranks[i - 1], ranks[j - 1]);
    }
    return;
  }
  if (SHUFFLINGIN.vmethod == 3 && ktotal >= 2) {
    for (std::int64_t m = s.kstart; m <= kend; ++m) {
      const std::int32_t i = wrap(m);
      std::int32_t j;
      do j = draw(ktotal);
      while (j == i);
      std::swap(ranks[i - 1], ranks[j - 1]);
    }
  }
  if (SHUFFLINGIN.vmethod == 4) {
    for (std::int32_t n = 0; n < kmix; ++n) {
      const std::int32_t i = draw(ktotal);
      ranks[i - 1] = RANF();
      const std::int32_t j = draw(ktotal);
      ranks[j - 1] = RANF();
    }
  }
  s.kend = static_cast<std::int32_t>(kend);
  s.nsweep = s.nsweep + 1;
  s.kstart = wrap(kend + 1);
  if (s.nsweep > std::lround(1.0 / s.fracmix)) {
    s.kstart = draw(ktotal);
    s.nsweep = 1;
  }
}

}  // namespace

TEST(PacketOfDraw, TheSumIsRoundedToSinglePrecisionFirst) {
  EXPECT_EQ(packetOfDraw(0x1p-31, 1000), 1);
  EXPECT_EQ(packetOfDraw(1.0 - 0x1p-31, 1000), 1000);
  EXPECT_EQ(packetOfDraw(0.5, 3), 2);
  // 1e6 u + 1 = 500000.49: nearest 500000 in double, but the single
  // precision sum (steps of 1/32 there) is 500000.5, which rounds away
  // from zero.
  EXPECT_EQ(packetOfDraw(0.49999949, 1000001), 500001);
  EXPECT_EQ(packetOfDraw(0.49999948, 1000001), 500000);  // 500000.48 -> 500000.46875
  EXPECT_EQ(packetOfDraw(0.25, 1), 1);
}

TEST(PacketOfDraw, TheEndPacketsComeHalfAsOften) {
  resetRandomPackage();
  SETALL(1234567890, 123456789);
  std::vector<int> n(6, 0);
  const int draws = 80000;
  for (int d = 0; d < draws; ++d) ++n.at(draw(5));
  // Expected 1/8 of the draws for packets 1 and 5, 1/4 for 2..4; 5 sigma.
  for (int k : {1, 5}) EXPECT_NEAR(n[k], draws / 8.0, 5 * std::sqrt(draws / 8.0 * 7 / 8)) << k;
  for (int k : {2, 3, 4}) EXPECT_NEAR(n[k], draws / 4.0, 5 * std::sqrt(draws / 4.0 * 3 / 4)) << k;
  resetRandomPackage();
}

TEST_F(Shuffle, InitialisationWritesTheLogAndStartsTheSweep) {
  open();
  packets(0, 0.01, 3);
  SHUFFLINGMID.kstart = 77;
  SHUFFLINGMID.nsweep = 9;
  std::int32_t code = 99;
  VERTSHUFFL(-1, code);
  collect();
  EXPECT_EQ(code, 0);
  EXPECT_EQ(SHUFFLINGMID.kstart, 1);
  EXPECT_EQ(SHUFFLINGMID.nsweep, 1);
  EXPECT_EQ(log, (std::vector<std::string>{
                     "", " ***Vertical Shuffling***", " Initialize shuffling.",
                     " Number of shuffles per advection step           0",
                     " ktotal, fracmix           0  1.0000000000000000E-002", ""}));
  EXPECT_TRUE(console.empty());
}

TEST_F(Shuffle, FewerThanOneShufflePerStepIsAnError) {
  open();
  for (std::int32_t vmethod : {1, 3}) {
    packets(50, 0.01, vmethod);  // kmix = 0.5 -> 0
    const std::vector<float> before = ranks();
    EXPECT_EQ(step(), 1);
    EXPECT_EQ(ranks(), before);
  }
  collect();
  const std::string line = " Require at least 1 shuffle per advection step";
  EXPECT_EQ(console, (std::vector<std::string>{line, line}));
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0], line);
  EXPECT_EQ(log[1], " ktotal, fracmix, kmix          50  1.0000000000000000E-002           0");
  // The check uses the product truncated toward zero: 100 x 0.01 is one shuffle.
  packets(100, 0.01, 1);
  EXPECT_EQ(step(), 0);
}

TEST_F(Shuffle, AnUnknownMethodIsAnError) {
  open();
  packets(1000, 0.01, 7);
  const std::vector<float> before = ranks();
  EXPECT_EQ(step(), 1);
  EXPECT_EQ(ranks(), before);
  collect();
  EXPECT_EQ(log, (std::vector<std::string>{"  VerticalShuffle: during run ",
                                           " Unknown method.  vmethod =            7"}));
  const float next = RANF();
  seed();
  EXPECT_EQ(next, RANF());  // no draw was made
}

// Method 3 from packet 995 of 1000 with 10 shuffles: packets 995..1000 and
// then 1..4 each exchange with another packet drawn at random (a draw equal
// to the packet itself is drawn again), and the next block starts at 5.
TEST_F(Shuffle, TheSweepWrapsPastTheLastPacket) {
  packets(1000, 0.01, 3);
  SHUFFLINGMID.kstart = 995;
  std::vector<float> expect = ranks();
  EXPECT_EQ(step(), 0);
  EXPECT_EQ(SHUFFLINGMID.kstart, 5);
  EXPECT_EQ(SHUFFLINGMID.kend, 1004);
  EXPECT_EQ(SHUFFLINGMID.nsweep, 2);
  const float next = RANF();

  seed();
  for (std::int32_t i : {995, 996, 997, 998, 999, 1000, 1, 2, 3, 4}) {
    std::int32_t j;
    do j = draw(1000);
    while (j == i);
    std::swap(expect[i - 1], expect[j - 1]);
  }
  EXPECT_EQ(ranks(), expect);
  EXPECT_EQ(RANF(), next);
}

// nearest(1 / 0.01) = 100 blocks: the step that makes nsweep 101 restarts
// the sweep at a random packet, drawn after the exchanges of the block.
TEST_F(Shuffle, TheSweepRestartsAfterOneMixingTime) {
  for (std::int32_t vmethod : {3, 4}) {
    seed();
    packets(1000, 0.01, vmethod);
    SHUFFLINGMID.nsweep = 99;
    EXPECT_EQ(step(), 0);
    EXPECT_EQ(SHUFFLINGMID.nsweep, 100);
    EXPECT_EQ(SHUFFLINGMID.kstart, 11);
    EXPECT_EQ(step(), 0);
    EXPECT_EQ(SHUFFLINGMID.nsweep, 1);
    EXPECT_EQ(SHUFFLINGMID.kend, 20);
    const std::int32_t kstart = SHUFFLINGMID.kstart;
    const float next = RANF();

    // Replay the draws of both blocks of 10 shuffles.
    seed();
    for (std::int32_t i = 1; i <= 20; ++i) {
      if (vmethod == 4) {
        for (int d = 0; d < 4; ++d) RANF();  // packet, rank, packet, rank
      } else {
        std::int32_t j;
        do j = draw(1000);
        while (j == i);
      }
    }
    EXPECT_EQ(draw(1000), kstart) << vmethod;
    EXPECT_EQ(RANF(), next) << vmethod;
  }
}

// Method 4 draws, for each of kmix shuffles: a packet, its new rank,
// another packet, its new rank.
TEST_F(Shuffle, RandomRedrawsInTheirOrder) {
  packets(1000, 0.01, 4);
  std::vector<float> expect = ranks();
  EXPECT_EQ(step(), 0);
  seed();
  for (int n = 0; n < 10; ++n) {
    const std::int32_t i = draw(1000);
    expect[i - 1] = RANF();
    const std::int32_t j = draw(1000);
    expect[j - 1] = RANF();
  }
  EXPECT_EQ(ranks(), expect);
  EXPECT_EQ(SHUFFLINGMID.kstart, 11);  // the sweep position moves on, unused
}

TEST_F(Shuffle, ExchangesPermuteRanksAndRedrawsReplaceThem) {
  for (std::int32_t vmethod : {2, 3, 4}) {
    packets(1000, 0.05, vmethod);
    const std::vector<float> before = ranks();
    for (int s = 0; s < 30; ++s) ASSERT_EQ(step(), 0);
    const std::vector<float> after = ranks();
    EXPECT_NE(after, before) << vmethod;
    if (vmethod == 4) {
      EXPECT_NE(sorted(after), before);
      for (float r : after) {
        EXPECT_GT(r, 0.0f);
        EXPECT_LT(r, 1.0f);
      }
    } else {
      EXPECT_EQ(sorted(after), before) << vmethod;
    }
  }
  // Method 1 changes nothing and draws nothing.
  packets(1000, 0.05, 1);
  seed();
  const std::vector<float> before = ranks();
  EXPECT_EQ(step(), 0);
  EXPECT_EQ(ranks(), before);
  const float next = RANF();
  seed();
  EXPECT_EQ(next, RANF());
}

// With a single packet there is nothing to exchange with: method 2 draws
// packet 1 twice each time and changes nothing, and method 3, which would
// draw for ever for a partner other than packet 1, skips the exchange.
TEST_F(Shuffle, OnePacketAlone) {
  packets(1, 3.0, 2);
  RANKS.ranks[0] = 0.25f;
  EXPECT_EQ(step(), 0);
  EXPECT_EQ(RANKS.ranks[0], 0.25f);
  const float next = RANF();
  seed();
  for (int d = 0; d < 6; ++d) RANF();
  EXPECT_EQ(RANF(), next);

  packets(1, 2.0, 3);
  RANKS.ranks[0] = 0.25f;
  EXPECT_EQ(step(), 0);
  EXPECT_EQ(RANKS.ranks[0], 0.25f);
  EXPECT_EQ(SHUFFLINGMID.kstart, 1);
}

// The shuffling draws in blocks and exchanges with the ranks fetched ahead:
// after any number of steps, on any number of packets, the ranks, the
// generator and the sweep are those of the draw-by-draw methods.
TEST_F(Shuffle, BlockDrawsLeaveEverythingAsDrawByDraw) {
  struct Run {
    std::int32_t ktotal;
    double fracmix;
  };
  const Run runs[] = {{2, 300.0}, {3, 1.0}, {50, 0.1}, {1000, 0.01}, {1000, 2.7}, {7001, 0.2}};
  for (std::int32_t vmethod : {2, 3, 4}) {
    for (const Run& run : runs) {
      seed();
      packets(run.ktotal, run.fracmix, vmethod);
      SHUFFLINGMID.kstart = run.ktotal / 2 + 1;
      const GlobeRecord globe0 = GLOBE;
      const ShufflingmidRecord sweep0 = SHUFFLINGMID;
      const std::vector<float> ranks0 = ranks();
      for (int step = 0; step < 25; ++step) VERTSHUFFL_reference();
      const GlobeRecord globe1 = GLOBE;
      const ShufflingmidRecord sweep1 = SHUFFLINGMID;
      const std::vector<float> expect = ranks();

      GLOBE = globe0;
      SHUFFLINGMID = sweep0;
      std::copy(ranks0.begin(), ranks0.end(), RANKS.ranks);
      for (int s = 0; s < 25; ++s) ASSERT_EQ(this->step(), 0);
      const std::string label = "method " + std::to_string(vmethod) + ", " + std::to_string(run.ktotal) + " packets";
      EXPECT_EQ(ranks(), expect) << label;
      EXPECT_EQ(std::memcmp(GLOBE.curseed1, globe1.curseed1, sizeof globe1.curseed1), 0) << label;
      EXPECT_EQ(std::memcmp(GLOBE.curseed2, globe1.curseed2, sizeof globe1.curseed2), 0) << label;
      EXPECT_EQ(SHUFFLINGMID.kstart, sweep1.kstart) << label;
      EXPECT_EQ(SHUFFLINGMID.nsweep, sweep1.nsweep) << label;
      EXPECT_EQ(SHUFFLINGMID.kend, sweep1.kend) << label;
    }
  }
}
