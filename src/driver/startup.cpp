// The start-up of a run, in the program's fixed order, and the steps it
// takes that the time loop takes again (the release, the friction for the
// end of an interval).
#include "driver/startup.hpp"

#include <cmath>
#include <cstdint>

#include "config/rdparams7.hpp"
#include "config/usersetup.hpp"
#include "driver/errorreport.hpp"
#include "driver/inputstyleroutines.hpp"
#include "forcing/calcustar.hpp"
#include "forcing/nodeinfo.hpp"
#include "forcing/stressinfo.hpp"
#include "forcing/velinfo.hpp"
#include "output/outfileopen.hpp"
#include "output/output.hpp"
#include "packets/crtpckts.hpp"
#include "rio/nextpointer.hpp"
#include "rio/units.hpp"
#include "runtime/stop.hpp"
#include "state/friction.hpp"
#include "state/heights.hpp"
#include "state/limits.hpp"
#include "state/outputs.hpp"
#include "state/packets.hpp"
#include "state/release.hpp"
#include "state/shuffling.hpp"
#include "state/timing.hpp"
#include "state/velinfo.hpp"
#include "state/vornio.hpp"
#include "state/vornprog.hpp"
#include "vertical/vertshuffl.hpp"

namespace {

// Start-up has failed: the count, where to look, and a stop.
[[noreturn]] void startupFailed(std::int32_t nerror);

// A start-up check of the driver's own: the heading, what is wrong and,
// when given, the values concerned, on console and log; the error counts.
// `record` names the parameter record concerned.
template <class... T>
void startupProblem(const char* record, const char* heading, const char* what,
                    std::int32_t& nerror, const T&... values) {
  const rio::Problem problem(rio::Severity::error, record);
  for (std::int32_t unit : {VORNIO.outunit, VORNIO.logunit}) {
    rio::listWrite(unit, heading);
    rio::listWrite(unit, what);
    if constexpr (sizeof...(T) > 0) rio::listWrite(unit, values...);
  }
  ++nerror;
}

void timingProblem(const char* record, const char* what, std::int32_t& nerror) {
  startupProblem(record, "Error in the timing parameters:", what, nerror);
}

}  // namespace

// The packet release of the chosen mode, at start-up or at a step.
void releasePackets(double time, std::int32_t iflag, std::int32_t& errorcode) {
  if (RELEASEIN.btype != 0) {
    CRTPCKTS(POSITIONS.x, POSITIONS.y, POSITIONS.z, RANKS.ranks, PACKETS.ktotal, time,
             TIMINGMID.dtact, PACKETS.mtotal, PACKETS.pmass, iflag, errorcode);
  } else {
    CRTPCKTSDIS(POSITIONS.x, POSITIONS.y, POSITIONS.z, RANKS.ranks, PACKETS.ktotal, time,
                TIMINGMID.dtact, PACKETS.mtotal, PACKETS.pmass, iflag, errorcode);
  }
}

// The friction triple for the end of an interval: from the drag law at the
// lowest current meter, or from the stress series.
void nextFriction(std::int32_t flag, std::int32_t& errorcode, std::int32_t& nerror) {
  if (FRICTIONIN.nfricp > 0) {
    const int m = VELINFOMID.nloglayer - 1;
    FRICTIONMID.fricnext[0] = CALCUSTAR(VELOCITYMID.unext[m], VELOCITYMID.vnext[m],
                                        FRICTIONIN.fricp, FRICTIONIN.nfricp, errorcode);
    FRICTIONMID.fricnext[1] = 0;
    FRICTIONMID.fricnext[2] = 0;
    if (errorcode != 0) {
      ERRORREPORT(errorcode, " CalcUstar");
      ++nerror;
    }
  } else {
    STRESSINFO(FRICTIONMID.fricnext, TIMINGIN.time0, TIMINGIN.dtvu, flag, errorcode,
               FRICTIONIN.nfricp);
  }
}

namespace {

[[noreturn]] void startupFailed(std::int32_t nerror) {
  const std::int32_t log = VORNIO.logunit;
  const std::int32_t out = VORNIO.outunit;
  if (rio::unitIsOpen(log)) {
    rio::listWrite(log);
    rio::listWrite(log, " Number of errors reported in initialiation ", nerror);
    rio::listWrite(log, "Too many to carry on.  Time to die");
  }
  rio::listWrite(out);
  rio::listWrite(out, " Number of errors reported in initialiation ", nerror);
  rio::listWrite(out, " Further details are given in file ");
  rio::writeRecord(out, VORNIO.logname.view());
  rio::listWrite(out, "Program will now end its life");
  stopOnError();
}

}  // namespace

// Derives nvu, nadv, dtact and fracmix and echoes them to the log. Returns
// false (after counting the error) when the parameters give no usable
// time stepping.
bool deriveTiming(std::int32_t& nvu, std::int32_t& nerror) {
  const double dtvu = TIMINGIN.dtvu;
  if (!(dtvu > 0)) {
    timingProblem("velocity_update", "the time between velocity updates must be positive",
                  nerror);
    return false;
  }
  const double updates = TIMINGIN.ttotal / dtvu;
  if (!(std::fabs(updates) < 2147483647.0)) {
    timingProblem("run_time", "the total integration time gives too many velocity updates",
                  nerror);
    return false;
  }
  nvu = static_cast<std::int32_t>(updates);  // truncated toward zero
  const float stepratio = static_cast<float>(dtvu / TIMINGIN.dta);
  if (!(stepratio >= 0.5f && stepratio < 2147483647.0f)) {
    timingProblem("time_steps",
                  "the advection time step must be positive and at most twice the time "
                  "between velocity updates",
                  nerror);
    return false;
  }
  TIMINGMID.nadv = static_cast<std::int32_t>(std::lround(stepratio));  // halves away from zero
  TIMINGMID.dtact = dtvu / TIMINGMID.nadv;
  if (!(SHUFFLINGIN.dtms > 0)) {
    timingProblem("time_steps", "the mixing time scale must be positive", nerror);
    return false;
  }
  SHUFFLINGMID.fracmix = TIMINGMID.dtact / SHUFFLINGIN.dtms;

  const std::int32_t log = VORNIO.logunit;
  rio::listWrite(log);
  rio::listWrite(log, "Timing information.");
  rio::listWrite(log, " # of velocity updates ", nvu);
  rio::listWrite(log, "z,dtms ", stepratio, SHUFFLINGIN.dtms);
  rio::listWrite(log, "actual advection time step ", "(time between shuffling events) ",
                 TIMINGMID.dtact);
  rio::listWrite(log, "advection steps per velocity update", TIMINGMID.nadv);
  rio::listWrite(log, "fraction shuffled per advection step", SHUFFLINGMID.fracmix);
  rio::listWrite(log, "fraction shuffled per velocity update",
                 TIMINGMID.nadv * SHUFFLINGMID.fracmix);
  // A run without a velocity update makes no step: its outputs would stay
  // empty and its exposures divide by zero steps.
  if (nvu < 1) {
    startupProblem("run_time", "Error in the timing parameters:",
                   "the run must contain at least one velocity update", nerror,
                   "ttotal, dtvu (s) ", TIMINGIN.ttotal, dtvu);
  }
  return true;
}

// Rouse numbers divide by kappa: a zero gives infinite ones.
void checkKappa(std::int32_t& nerror) {
  if (FRICTIONIN.kappa > 0.0f) return;
  startupProblem("kappa_href", "Error in the friction parameters:", "kappa must be positive",
                 nerror,
                 "kappa ", FRICTIONIN.kappa);
}

// The statistics divide by the area of their cylinder: a radius of 0, or
// one whose square is 0 in single precision, gives infinite loads.
void checkStatisticsRadius(std::int32_t& nerror) {
  const float r = STATSIN.radius;
  if (!(STATSIN.dtout > kOutputOff) || (r > 0.0f && r * r > 0.0f)) return;
  startupProblem("statistics.cylinder", "Error in the statistics output parameters:",
                 "the statistics radius must be positive", nerror, "radius (m) ", r);
}

// The driver's own limit on the grid: at most MAXNODES - 1 nodes.
void checkNodeCount(std::int32_t& nerror) {
  const VelinfomidRecord& g = VELINFOMID;
  if (static_cast<std::int64_t>(g.nloglayer) + g.ninterior <= MAXNODES) return;
  const rio::Problem problem;
  const std::int32_t out = VORNIO.outunit;
  const std::int32_t log = VORNIO.logunit;
  rio::listWrite(out);
  rio::listWrite(out, "GetVertNodeInfo requires too many vertical nodes.");
  rio::listWrite(out, "nloglayer,ninterior,nnv ", g.nloglayer, g.ninterior, g.nnv);
  rio::listWrite(out, "Maximum # specified in parameter statement ", MAXNODES);
  rio::listWrite(log);
  rio::listWrite(log, "GetVertNodeInfo requires too                  many vertical nodes.");
  rio::listWrite(log, "  nloglayer,ninterior,nnv ", g.nloglayer, g.ninterior, g.nnv);
  rio::listWrite(log, "  Maximum # specified in parameter              statement ", MAXNODES);
  ++nerror;
}

std::int32_t STARTUP() {
  std::int32_t errorcode = 0;
  std::int32_t iflag = -1;
  std::int32_t nerror = 0;
  std::int32_t nvu = 0;

  // No file is cut or written before every input is known: an output, the
  // log or the console named like an input must leave it as it was.
  rio::forgetFilesRead();
  rio::holdWrites();

  // 1-2: the progress unit first, then the input source and the console.
  VORNIO.nextunit = 1;
  VORNPROG.progunit = 1;
  VORNIO.nextunit = NEXTPOINTER(VORNPROG.progunit);
  INPUTSTYLECMDLN_POSIX(iflag);

  // 3-4: the user's hook and the run parameters.
  USERSETUP(errorcode);
  if (errorcode != 0) {
    nerror = 1;
    ERRORREPORT(errorcode, "UserSetup");
  }
  RDPARAMS(errorcode);
  if (errorcode != 0) {
    // The records after the failing one are unread: every later step would
    // read the wrong records, so start-up ends here.
    ++nerror;
    ERRORREPORT(errorcode, "ReadInputParameters");
    startupFailed(nerror);
  }

  // 5: timing.
  if (!deriveTiming(nvu, nerror)) startupFailed(nerror);
  checkKappa(nerror);

  // 6: the packet store and the first packets.
  releasePackets(TIMINGIN.time0, iflag, errorcode);
  PACKETS.kbreak = 0;
  if (errorcode != 0) {
    ++nerror;
    ERRORREPORT(errorcode, "CreatePackets");
  }

  // 7: shuffling.
  VERTSHUFFL(iflag, errorcode);
  if (errorcode != 0) {
    ++nerror;
    ERRORREPORT(errorcode, "VerticalShuffle");
  }

  // 8-9: the node grid.
  NODEINFO(errorcode);
  const bool gridRejected = errorcode == NODEINFO_BAD_GRID;
  if (errorcode != 0) {
    ++nerror;
    ERRORREPORT(errorcode, "GetVertNodeInfo");
  }
  checkNodeCount(nerror);

  // 10-11: velocities and friction at the start time; not over a grid that
  // was rejected, whose counts would take node indices out of bounds.
  if (!gridRejected) {
    VELINFO(VELOCITYMID.unext, VELOCITYMID.vnext, 0, errorcode);
    if (errorcode != 0) {
      ++nerror;
      ERRORREPORT(errorcode, "GetVelInfo");
    }
    for (int k = 0; k < VELINFOMID.nnv; ++k) {
      VELOCITYMID.ucur[k] = VELOCITYMID.unext[k];
      VELOCITYMID.vcur[k] = VELOCITYMID.vnext[k];
    }
    nextFriction(0, errorcode, nerror);
    if (errorcode != 0) {
      ++nerror;
      ERRORREPORT(errorcode, "StressInfo");
    }
  }

  // 12: the current triple.
  FRICTIONMID.ustar = FRICTIONMID.fricnext[0];
  FRICTIONMID.ustarc = FRICTIONMID.fricnext[1];
  FRICTIONMID.zw = FRICTIONMID.fricnext[2];

  // 13: the outputs. Not after a rejected grid: the velocity file names
  // were left unread, so the output records would be read out of place;
  // the run ends after start-up anyway.
  if (!gridRejected) {
    OUTPUT(iflag, errorcode);
    if (errorcode != 0) {
      ++nerror;
      ERRORREPORT(errorcode, "Output");
    }
    checkStatisticsRadius(nerror);
  }

  // 14: one error is enough to end the run here.
  if (nerror != 0) startupFailed(nerror);
  rio::listWrite(VORNIO.logunit, "Hmax = ", HEIGTHS.hmax);
  rio::releaseWrites();
  return nvu;
}
