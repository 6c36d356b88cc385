#include "output/modelrecords.hpp"

#include <cstdint>

#include "output/outfileopen.hpp"
#include "output/recordlayouts.hpp"
#include "rio/layout.hpp"
#include "rio/units.hpp"
#include "state/friction.hpp"
#include "state/outputs.hpp"
#include "state/packets.hpp"
#include "state/rouse.hpp"
#include "state/settling.hpp"
#include "state/velinfo.hpp"

void SEDOUT(double time, bool) {
  static const rio::Layout kSediment(kSedimentLayout);
  const FrictionmidRecord& f = FRICTIONMID;
  const RouseRecord& r = ROUSE;
  rio::layoutWrite(SEDIN.unit, kSediment, time * kDaysPerSecond, f.ustar, f.ustarc, f.zw,
                   r.rousew, r.rousei, r.rousewc, r.rouseic, PACKETS.ktotal, PACKETS.kbreak,
                   SETTLINGMID.wstar);
}

void VELOUT(double time, bool first) {
  if (first) {
    rio::listWrite(VELIN.unit, "Velocity profile ");
    return;
  }
  static const rio::Layout kProfile(kVelocityProfileLayout);
  const double days = time * kDaysPerSecond;
  for (std::int32_t j = 0; j < VELINFOMID.nnv; ++j) {
    rio::layoutWrite(VELIN.unit, kProfile, days, VELINFOMID.heightnodes[j], VELOCITYMID.ucur[j],
                     VELOCITYMID.vcur[j]);
  }
}

void PACKOUT(double time, bool first) {
  const std::int32_t unit = PACKIN.unit;
  if (first) {
    rio::listWrite(unit, "Packet positions");
    return;
  }
  const std::int32_t n = PACKETS.ktotal;
  rio::listWrite(unit, "ktotal, time ", n, time * kDaysPerSecond);
  static const rio::Layout kPacket(kPacketLayout);
  rio::UnitOut out(unit);
  rio::LayoutWriter w(kPacket, out);
  for (std::int32_t k = 0; k < n; ++k) {
    w.put(POSITIONS.x[k]);
    w.put(POSITIONS.y[k]);
    w.put(POSITIONS.z[k]);
    w.end();
  }
}
