#include "vertical/vertshuffl.hpp"

#include <cmath>
#include <cstdint>

#include "config/units.hpp"
#include "random/ranf1.hpp"
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

void exchange(float* ranks, std::int32_t i, std::int32_t j) {
  const float t = ranks[i - 1];
  ranks[i - 1] = ranks[j - 1];
  ranks[j - 1] = t;
}

// Packet number m of the sweep, wrapped past ktotal to packet 1.
std::int32_t wrapped(std::int64_t m, std::int32_t ktotal) {
  std::int64_t r = (m - 1) % ktotal;
  if (r < 0) r += ktotal;
  return static_cast<std::int32_t>(r + 1);
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
      for (std::int32_t n = 0; n < kmix; ++n) {
        const std::int32_t i = ridx(ktotal);
        const std::int32_t j = ridx(ktotal);
        exchange(ranks, i, j);
      }
      break;
    case kSweepExchanges: {
      const std::int64_t kend = blockEnd(kmix);
      // A single packet has no partner to exchange with.
      if (ktotal >= 2) {
        for (std::int64_t m = s.kstart; m <= kend; ++m) {
          const std::int32_t i = wrapped(m, ktotal);
          std::int32_t j;
          do {
            j = ridx(ktotal);
          } while (j == i);
          exchange(ranks, i, j);
        }
      }
      sweepBookkeeping(kend, ktotal);
      break;
    }
    case kRandomRedraws: {
      const std::int64_t kend = blockEnd(kmix);
      for (std::int32_t n = 0; n < kmix; ++n) {
        // Separate statements: the packet is drawn before its new rank.
        const std::int32_t i = ridx(ktotal);
        ranks[i - 1] = RANF();
        const std::int32_t j = ridx(ktotal);
        ranks[j - 1] = RANF();
      }
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
