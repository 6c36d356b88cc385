#include "config/usersetup.hpp"

#include "rio/units.hpp"
#include "state/vornio.hpp"

// Called by the driver right before the parameters are read.
void USERSETUP(std::int32_t& errorcode) {
  rio::listWrite(VORNIO.outunit, "UserSetUp:");
  errorcode = 0;
}
