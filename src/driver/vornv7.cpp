// The simulation driver: start-up, the two nested time loops (velocity
// updates, advection steps within each), the progress file, and the end
// of the run.
#include "driver/vornv7.hpp"

#include <cstdint>

#include "driver/errorreport.hpp"
#include "driver/inputstyleroutines.hpp"
#include "driver/interruption.hpp"
#include "driver/startup.hpp"
#include "driver/termprogress.hpp"
#include "forcing/interpvel.hpp"
#include "forcing/stressinfo.hpp"
#include "forcing/velinfo.hpp"
#include "output/output.hpp"
#include "rio/units.hpp"
#include "runtime/stop.hpp"
#include "state/friction.hpp"
#include "state/limits.hpp"
#include "state/packets.hpp"
#include "state/pdfvi.hpp"
#include "state/rouse.hpp"
#include "state/settling.hpp"
#include "state/timing.hpp"
#include "state/velinfo.hpp"
#include "state/vornio.hpp"
#include "state/vornprog.hpp"
#include "vertical/abrvertpos.hpp"
#include "vertical/pdfcompute.hpp"
#include "vertical/sedfcns.hpp"
#include "vertical/vertshuffl.hpp"

namespace {

// Which settling velocity is in force, and the floc break-up.
void chooseSettling() {
  const SettlinginRecord& s = SETTLINGIN;
  if (s.breakupus <= 0) {
    SETTLINGMID.wstar = s.iniwstar;
  } else if (FRICTIONMID.ustar < s.breakupus) {
    SETTLINGMID.wstar = s.bigwstar;
  } else {
    SETTLINGMID.wstar = s.litwstar;
    PACKETS.kbreak = PACKETS.ktotal;
  }
}

// Rouse numbers and the two profile tables for the friction model.
void buildProfiles(float sfrac) {
  const float kappa = FRICTIONIN.kappa;
  const float wstar = SETTLINGMID.wstar;
  const float iniwstar = SETTLINGIN.iniwstar;
  const FrictionmidRecord& f = FRICTIONMID;
  const std::int32_t nfricp = FRICTIONIN.nfricp;
  if (nfricp >= 0 || nfricp == -1) {
    const float us = nfricp >= 0 ? f.ustar : f.ustarc;
    ROUSE.rousew = ROUSENUM(wstar, kappa, us, 1.0f);
    ROUSE.rousei = ROUSENUM(iniwstar, kappa, us, 1.0f);
    ROUSE.rousewc = 0;
    ROUSE.rouseic = 0;
    PDFCOMPUTE(PDFVI.table[0], sfrac, ROUSE.rousew);
    PDFCOMPUTE(PDFVI.table[1], sfrac, ROUSE.rousei);
  } else if (nfricp == -2) {
    ROUSE.rousew = ROUSENUM(wstar, kappa, f.ustar, 0.74f);
    ROUSE.rousei = ROUSENUM(iniwstar, kappa, f.ustar, 0.74f);
    ROUSE.rousewc = ROUSENUM(wstar, kappa, f.ustarc, 0.74f);
    ROUSE.rouseic = ROUSENUM(iniwstar, kappa, f.ustarc, 0.74f);
    PDFCOMPUTE2(PDFVI.table[0], sfrac, ROUSE.rousew, ROUSE.rousewc, f.zw);
    PDFCOMPUTE2(PDFVI.table[1], sfrac, ROUSE.rousei, ROUSE.rouseic, f.zw);
  }
}

// The progress value changes only at velocity updates; 1, 10, 20, ... 90,
// 99 and 100 are written, each once.
void progress() {
  VornprogRecord& p = VORNPROG;
  const double pct = 100.0 * (TIMINGMID.tvu - TIMINGIN.time0) / TIMINGIN.ttotal;
  p.pctnow = static_cast<std::int32_t>(pct) + 1;
  const bool mark = p.pctnow % 10 == 0 || p.pctnow == 1 || p.pctnow == 99;
  if (!mark || p.pctnow == p.pctlast) return;
  rio::listWrite(VORNIO.outunit, "%Completed:  ", p.pctnow);
  rio::openUnit(p.progunit, "vornprog.out", rio::FileStatus::unknown, "progress file");
  rio::listWrite(p.progunit, "%Completed:  ", p.pctnow);
  rio::closeUnit(p.progunit);
  p.pctlast = p.pctnow;
}

}  // namespace

void MAIN() {
  const std::int32_t nvu = STARTUP();
  // What start-up wrote (the parameter echo above all) reaches its files
  // before the long part of the run.
  rio::flushAllUnits();
  stopIfInterrupted();
  std::int32_t errorcode = 0;  // start-up ended with no error counted, so with none set
  std::int32_t iflag;
  std::int32_t nerror = 0;

  // The time loop.
  iflag = 0;
  VORNPROG.pctlast = 0;
  TERMPROGRESS(-1);
  TimingmidRecord& t = TIMINGMID;
  VelocitymidRecord& vel = VELOCITYMID;
  const std::int32_t nnv = VELINFOMID.nnv;
  std::int32_t i = 1;
  for (; i <= nvu; ++i) {
    t.tvu = (i - 1) * TIMINGIN.dtvu + TIMINGIN.time0;
    for (int k = 0; k < nnv; ++k) {
      vel.uprev[k] = vel.unext[k];
      vel.vprev[k] = vel.vnext[k];
    }
    for (int k = 0; k < 3; ++k) FRICTIONMID.fricprev[k] = FRICTIONMID.fricnext[k];
    nextFriction(i, errorcode, nerror);
    VELINFO(vel.unext, vel.vnext, i, errorcode);
    if (errorcode != 0) {
      ++nerror;
      ERRORREPORT(errorcode, " GetVelInfo");
    }
    if (errorcode != 0) {
      ++nerror;
      ERRORREPORT(errorcode, " StressInfo");
    }

    std::int32_t running = nerror;
    bool stopStepping = false;
    for (std::int32_t j = 1; j <= t.nadv; ++j) {
      t.tlocal = (j - 0.5) * t.dtact;
      t.time = t.tvu + t.tlocal;
      t.timef = t.time + 0.5 * t.dtact;
      INTERPVEL(vel.ucur, vel.uprev, vel.unext, nnv, t.tlocal, TIMINGIN.dtvu);
      INTERPVEL(vel.vcur, vel.vprev, vel.vnext, nnv, t.tlocal, TIMINGIN.dtvu);

      releasePackets(t.time, iflag, errorcode);
      if (errorcode != 0) {
        ERRORREPORT(errorcode, " CreatePackets");
        ++running;
      } else if (PACKETS.ktotal > KMAX) {
        nerror = running;
        rio::listWrite(VORNIO.outunit, "**Fatal Error**.  Too many packets");
        rio::listWrite(VORNIO.logunit, "**Fatal Error**.  Too many packets");
        rio::listWrite(VORNIO.logunit, "ktotal, KMAX ", PACKETS.ktotal, KMAX);
        stopOnError();
      }
      if (PACKETS.ktotal <= 0) {
        for (std::int32_t unit : {VORNIO.outunit, VORNIO.logunit}) {
          rio::listWrite(unit, "ktotal <= 0 after CrtPckts.", PACKETS.ktotal,
                         "  Skipping time step: ", t.timef);
        }
        stopIfInterrupted();
        continue;
      }

      FrictionmidRecord& f = FRICTIONMID;
      f.ustar = INTERPSCALAR(f.fricprev[0], f.fricnext[0], t.tlocal, TIMINGIN.dtvu);
      f.ustarc = INTERPSCALAR(f.fricprev[1], f.fricnext[1], t.tlocal, TIMINGIN.dtvu);
      f.zw = INTERPSCALAR(f.fricprev[2], f.fricnext[2], t.tlocal, TIMINGIN.dtvu);
      const float thresh = THRESHOLD();
      const float sfrac = SUSPENDEDFRACTION(f.ustar, thresh);

      VERTSHUFFL(iflag, errorcode);
      if (errorcode != 0) {
        ERRORREPORT(errorcode, " VerticalShuffle");
        ++running;
      }
      chooseSettling();
      buildProfiles(sfrac);
      // ABRVERTPOS2, then MOVEHORIZ, in one pass.
      PLACEANDMOVE(t.dtact, nnv, VELINFOMID.heightnodes, vel.ucur, vel.vcur);
      OUTPUT(iflag, errorcode);
      progress();
      TERMPROGRESS(iflag);
      if (errorcode != 0) {
        ERRORREPORT(errorcode, "Output");
        ++running;
      }
      if (running != 0) {
        nerror = running;
        stopStepping = true;
        break;
      }
      stopIfInterrupted();
    }
    if (stopStepping) break;
    nerror = running;
  }

  // The end of the run.
  iflag = 1;
  OUTPUT(iflag, errorcode);
  if (nerror == 0) {
    rio::listWrite(VORNIO.outunit, " Clean exit ");
    rio::listWrite(VORNIO.logunit, " Clean exit ");
  } else {
    rio::listWrite(VORNIO.outunit, "***Exit on error***");
    rio::listWrite(VORNIO.outunit, "See the log file for more information.");
    rio::listWrite(VORNIO.logunit, "***Exit on error***");
    rio::listWrite(VORNIO.logunit, "i,timef, nerror, errorcode = ", i, t.timef, nerror, errorcode);
  }
  INPUTSTYLECMDLN_POSIX(iflag);
  if (nerror != 0) stopOnError();
  stopRun();
}
