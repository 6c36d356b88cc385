#include "packets/packetstore.hpp"

#include <cstdint>

#include "random/ranf1.hpp"
#include "rio/units.hpp"
#include "runtime/stop.hpp"
#include "state/limits.hpp"
#include "state/vornio.hpp"

// Draws the rank of every slot of the store, in slot order, and puts every
// packet at the release point. Both release routines call it at their
// initialisation, so a packet gets the same rank from the same seeds in
// either mode. Touches all KMAX slots.
void initPacketStore(float* x, float* y, float* z, float* ranks) {
  for (std::int32_t k = 0; k < KMAX; ++k) {
    ranks[k] = RANF();
    x[k] = 0.0f;
    y[k] = 0.0f;
    z[k] = 0.0f;
  }
}

// Stops the run when more packets are live than the store holds, with the
// messages on the console and in the log.
void checkPacketCapacity(std::int64_t ktotal, double time) {
  if (ktotal <= KMAX) return;
  const rio::Problem problem(rio::Severity::error, "release");
  const std::int32_t shown = ktotal > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(ktotal);
  for (std::int32_t unit : {VORNIO.outunit, VORNIO.logunit}) {
    rio::listWrite(unit, "**ERROR:  CrtPckts2: ");
    rio::listWrite(unit, "Too many packets ");
    rio::listWrite(unit, "KMAX,ktotal,time", KMAX, shown, time);
  }
  stopOnError();
}
