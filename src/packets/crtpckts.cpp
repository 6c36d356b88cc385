#include "packets/crtpckts.hpp"

#include <cmath>
#include <cstdint>

#include "packets/packetstore.hpp"
#include "rio/units.hpp"
#include "state/release.hpp"
#include "state/timing.hpp"
#include "state/vornio.hpp"

namespace {

// All at once when there is no release duration or a single event covers it.
bool allAtOnce() { return RELEASEIN.reldur <= 0.0f || RELEASEIN.addint > RELEASEIN.reldur; }

}  // namespace

std::int64_t STEADYEVENTS() {
  if (allAtOnce()) return 1;
  // The number of whole intervals in the release, in single precision.
  const float quotient = RELEASEIN.reldur / RELEASEIN.addint;
  const std::int64_t nrel = static_cast<std::int64_t>(std::trunc(quotient));
  return nrel + 1;
}

void CRTPCKTS(float* x, float* y, float* z, float* ranks, std::int32_t& ktotal, double time,
              double dtact, float& mtotal, float& pmass, std::int32_t iflag,
              std::int32_t& errorcode) {
  errorcode = 0;
  if (iflag < 0) {
    if (dtact > RELEASEIN.addint) RELEASEIN.addint = static_cast<float>(dtact);
    pmass = RELEASEIN.relmass / static_cast<float>(RELEASEIN.npack);
    DISCHARGE.addnum = static_cast<std::int32_t>(RELEASEIN.npack / STEADYEVENTS());
    ktotal = 0;
    rio::listWrite(VORNIO.logunit, "CreatePackets.  initialize");
    rio::listWrite(VORNIO.logunit, "initial packets, packet mass ", ktotal, pmass);
    rio::listWrite(VORNIO.logunit, "add interval, add number ", RELEASEIN.addint,
                   DISCHARGE.addnum);
    initPacketStore(x, y, z, ranks);
    return;
  }

  const std::int32_t npack = RELEASEIN.npack;
  if (allAtOnce()) {
    ktotal = npack;
    mtotal = static_cast<float>(npack) * pmass;
  } else {
    const double addint = RELEASEIN.addint;
    const double e = (time - TIMINGIN.time0) - dtact / 2.0;
    const double n = std::trunc(e / addint);
    // An event when the start of the step is a whole number of intervals
    // after the start of the run.
    const long double half = static_cast<long double>(dtact) / 2.0L;
    const bool event = static_cast<long double>(n) * static_cast<long double>(addint) + half >=
                       static_cast<long double>(e) + half;
    if (event && ktotal < npack) {
      // In 64 bits: a count near the top of the integer range cannot wrap.
      std::int64_t k = static_cast<std::int64_t>(ktotal) + DISCHARGE.addnum;
      mtotal = static_cast<float>(k) * pmass;
      if (k > npack) {
        k = npack;
        mtotal = static_cast<float>(npack) * pmass;
      }
      ktotal = static_cast<std::int32_t>(k);
    }
  }
  checkPacketCapacity(ktotal, time);
}
