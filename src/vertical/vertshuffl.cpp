#include "vertical/vertshuffl.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "random/ranf1.hpp"
#include "rio/units.hpp"
#include "state/limits.hpp"
#include "state/packets.hpp"
#include "state/shuffling.hpp"
#include "state/vornio.hpp"

namespace {

enum ShuffleMethod : std::int32_t {
  kNoShuffling = 1,
  kRandomExchanges = 2,
  kSweepExchanges = 3,
  kRandomRedraws = 4,
};

constexpr std::int32_t kShuffleFailed = 1;

// Shuffles per step: ktotal fracmix truncated toward zero, saturated at the
// 32-bit range (a fraction no run would reach, but no overflow either).
std::int32_t shufflesPerStep(std::int32_t ktotal, double fracmix) {
  const double v = static_cast<double>(ktotal) * fracmix;
  if (!(v < 2147483647.0)) return v > 0 ? INT32_MAX : 0;
  if (!(v > -2147483648.0)) return INT32_MIN;
  return static_cast<std::int32_t>(v);
}

// One random packet number among 1..ktotal (one RANF draw).
std::int32_t ridx(std::int32_t ktotal) { return packetOfDraw(RANFEXACT(), ktotal); }

// packetOfDraw for the raw value z of a draw: nearest is taken as the sum
// plus a half, truncated, which is the same for sums of at least 1.
inline std::int32_t packetOfValue(std::int32_t z, double scale) {
  const float x = static_cast<float>(static_cast<double>(z) * 0x1p-31 * scale + 1.0);
  return static_cast<std::int32_t>(static_cast<double>(x) + 0.5);
}

// The rank RANF gives for the raw value z.
inline float rankOfValue(std::int32_t z) { return static_cast<float>(z) * 0x1p-31f; }

void exchange(float* ranks, std::int32_t i, std::int32_t j) {
  const float t = ranks[i - 1];
  ranks[i - 1] = ranks[j - 1];
  ranks[j - 1] = t;
}

// Draws are taken in blocks of this many; the ranks they point at are
// fetched this many exchanges ahead.
constexpr std::int32_t kDrawBlock = 512;
constexpr std::int32_t kAhead = 32;

inline void prefetchRank(const float* ranks, std::int32_t k) { __builtin_prefetch(ranks + k - 1, 1); }

// Packet m of the sweep, wrapped past ktotal to packet 1.
std::int32_t wrapped(std::int64_t m, std::int32_t ktotal) {
  std::int64_t r = (m - 1) % ktotal;
  if (r < 0) r += ktotal;
  return static_cast<std::int32_t>(r + 1);
}

// Method 2: kmix exchanges of two random packets. The draws do not depend
// on the ranks, so they are made a block at a time, then the exchanges
// follow in the same order.
void randomExchanges(float* ranks, std::int32_t ktotal, std::int32_t kmix) {
  static std::int32_t z[2 * kDrawBlock];
  static std::int32_t pk[2 * kDrawBlock];
  const double scale = static_cast<double>(ktotal - 1);
  for (std::int32_t done = 0; done < kmix;) {
    const std::int32_t n = std::min(kmix - done, kDrawBlock);
    IGNLGIBLOCK(z, 2 * n);
    for (std::int32_t d = 0; d < 2 * n; ++d) pk[d] = packetOfValue(z[d], scale);
    for (std::int32_t d = 0; d < 2 * n; d += 2) {
      if (d + 2 * kAhead < 2 * n) {
        prefetchRank(ranks, pk[d + 2 * kAhead]);
        prefetchRank(ranks, pk[d + 2 * kAhead + 1]);
      }
      exchange(ranks, pk[d], pk[d + 1]);
    }
    done += n;
  }
}

// Method 3: the next kmix packets of the sweep, from kstart on, each
// exchanged with a random other packet. Every packet takes at least one
// draw, so a block of draws no longer than the packets left is used up
// whole; a draw that falls on the packet itself is replaced by the next
// one, taken from the generator when the block is spent.
void sweepExchanges(float* ranks, std::int32_t ktotal, std::int32_t kstart, std::int32_t kmix) {
  static std::int32_t z[kDrawBlock];
  static std::int32_t pk[kDrawBlock];
  const double scale = static_cast<double>(ktotal - 1);
  std::int32_t i = wrapped(kstart, ktotal);
  for (std::int32_t left = kmix; left > 0;) {
    const std::int32_t n = std::min(left, kDrawBlock);
    IGNLGIBLOCK(z, n);
    for (std::int32_t d = 0; d < n; ++d) pk[d] = packetOfValue(z[d], scale);
    for (std::int32_t d = 0; d < n;) {
      if (d + kAhead < n) prefetchRank(ranks, pk[d + kAhead]);
      std::int32_t j = pk[d++];
      while (j == i) j = d < n ? pk[d++] : ridx(ktotal);
      exchange(ranks, i, j);
      i = i == ktotal ? 1 : i + 1;
      --left;
    }
  }
}

// Method 4: kmix times, a random packet gets a fresh rank and then another
// one does; the four draws of each time are taken in that order.
void randomRedraws(float* ranks, std::int32_t ktotal, std::int32_t kmix) {
  static std::int32_t z[4 * kDrawBlock];
  const double scale = static_cast<double>(ktotal - 1);
  for (std::int32_t done = 0; done < kmix;) {
    const std::int32_t n = std::min(kmix - done, kDrawBlock);
    IGNLGIBLOCK(z, 4 * n);
    for (std::int32_t d = 0; d < 4 * n; d += 2) {
      ranks[packetOfValue(z[d], scale) - 1] = rankOfValue(z[d + 1]);
    }
    done += n;
  }
}

// The last packet, before wrapping, of the block of kmix packets from kstart.
std::int64_t blockEnd(std::int32_t kmix) {
  return static_cast<std::int64_t>(SHUFFLINGMID.kstart) + kmix - 1;
}

// After a block: the next block starts after kend; after nearest(1/fracmix)
// blocks, about one mixing time, the sweep jumps to a random packet.
void sweepBookkeeping(std::int64_t kend, std::int32_t ktotal) {
  ShufflingmidRecord& s = SHUFFLINGMID;
  s.kend = kend > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(kend);
  s.nsweep = s.nsweep + 1;
  s.kstart = wrapped(kend + 1, ktotal);
  if (static_cast<double>(s.nsweep) > std::round(1.0 / s.fracmix)) {
    s.kstart = ridx(ktotal);
    s.nsweep = 1;
  }
}

}  // namespace

std::int32_t packetOfDraw(double u, std::int32_t ktotal) {
  const float x = static_cast<float>(u * static_cast<double>(ktotal - 1) + 1.0);
  return static_cast<std::int32_t>(std::round(static_cast<double>(x)));
}

// Turbulent mixing as a reassignment of ranks (RANKS, packets 1..ktotal)
// of about fracmix ktotal packets per step (SHUFFLINGIN, SHUFFLINGMID).
// iflag < 0: the log lines and the start of the sweep; otherwise one step
// of the method, errorcode 1 when there is not one shuffle per step or the
// method is unknown. Called by the driver at start-up and every step.
void VERTSHUFFL(std::int32_t iflag, std::int32_t& errorcode) {
  errorcode = 0;
  const std::int32_t ktotal = PACKETS.ktotal;
  ShufflingmidRecord& s = SHUFFLINGMID;
  const std::int32_t kmix = shufflesPerStep(ktotal, s.fracmix);

  if (iflag < 0) {
    const std::int32_t log = VORNIO.logunit;
    rio::listWrite(log);
    rio::listWrite(log, "***Vertical Shuffling***");
    rio::listWrite(log, "Initialize shuffling.");
    rio::listWrite(log, "Number of shuffles per advection step", kmix);
    rio::listWrite(log, "ktotal, fracmix", ktotal, s.fracmix);
    rio::listWrite(log);
    s.kstart = 1;
    s.nsweep = 1;
    return;
  }

  if (kmix < 1 || ktotal < 1) {
    rio::listWrite(VORNIO.outunit, "Require at least 1 shuffle per advection step");
    rio::listWrite(VORNIO.logunit, "Require at least 1 shuffle per advection step");
    rio::listWrite(VORNIO.logunit, "ktotal, fracmix, kmix", ktotal, s.fracmix, kmix);
    errorcode = kShuffleFailed;
    return;
  }

  float* ranks = RANKS.ranks;
  switch (SHUFFLINGIN.vmethod) {
    case kNoShuffling:
      break;
    case kRandomExchanges:
      randomExchanges(ranks, ktotal, kmix);
      break;
    case kSweepExchanges: {
      const std::int64_t kend = blockEnd(kmix);
      // A single packet has no partner to exchange with.
      if (ktotal >= 2) sweepExchanges(ranks, ktotal, s.kstart, kmix);
      sweepBookkeeping(kend, ktotal);
      break;
    }
    case kRandomRedraws: {
      const std::int64_t kend = blockEnd(kmix);
      randomRedraws(ranks, ktotal, kmix);
      sweepBookkeeping(kend, ktotal);
      break;
    }
    default:
      rio::listWrite(VORNIO.logunit, " VerticalShuffle: during run ");
      rio::listWrite(VORNIO.logunit, "Unknown method.  vmethod = ", SHUFFLINGIN.vmethod);
      errorcode = kShuffleFailed;
      break;
  }
}
