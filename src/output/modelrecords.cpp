#include "output/modelrecords.hpp"

#include <cstdint>

#include "config/layout.hpp"
#include "config/units.hpp"
#include "output/outfileopen.hpp"
#include "state/friction.hpp"
#include "state/outputs.hpp"
#include "state/packets.hpp"
#include "state/rouse.hpp"
#include "state/settling.hpp"
#include "state/velinfo.hpp"

void SEDOUT(double time, bool) {
  static const rio::Layout kSediment("(1X,E12.5),3(1X,E9.4),4(1X,E8.3),2(1X,I7),(1X,E7.2)");
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
  static const rio::Layout kProfile("1X,E12.5,1X,F8.3,2(1X,E10.4)");
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
  static const rio::Layout kPacket("2(1X,F15.6),1X,F10.6");
  rio::UnitOut out(unit);
  rio::LayoutWriter w(kPacket, out);
  for (std::int32_t k = 0; k < n; ++k) {
    w.put(POSITIONS.x[k]);
    w.put(POSITIONS.y[k]);
    w.put(POSITIONS.z[k]);
    w.end();
  }
}
