// The check of a parameter file: the program's start-up taken step by step
// in a dry run, each step's stops and input errors reported, then the
// checks that look at the run as a whole.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "config/rdparams7.hpp"
#include "config/usersetup.hpp"
#include "driver/inputstyleroutines.hpp"
#include "driver/startup.hpp"
#include "forcing/nodeinfo.hpp"
#include "forcing/velinfo.hpp"
#include "output/output.hpp"
#include "random/ranf1.hpp"
#include "rio/nextpointer.hpp"
#include "state/friction.hpp"
#include "state/limits.hpp"
#include "state/packets.hpp"
#include "state/reset.hpp"
#include "state/timing.hpp"
#include "state/velinfo.hpp"
#include "state/vornio.hpp"
#include "state/vornprog.hpp"
#include "vertical/vertshuffl.hpp"
#include "vorncheck/check.hpp"
#include "vorncheck/context.hpp"

namespace vorncheck {

namespace {

bool gridUsable() {
  const VelinfomidRecord& g = VELINFOMID;
  return g.nloglayer >= 2 && g.ninterior >= 1 &&
         g.nnv <= MAXNODES && g.nnv == g.nloglayer + g.ninterior - 1;
}

std::size_t countRecords(const Check& c, const std::string& prefix) {
  return std::count_if(c.records.begin(), c.records.end(),
                       [&](const Record& r) { return r.name.rfind(prefix, 0) == 0; });
}

// The program's start-up, step by step (MAIN's order, STARTUP's calls), each
// step in a stage of its own so that the walk goes on as far as it can.
void startUp(Context& c) {
  Walk& w = c.walk;
  std::int32_t errorcode = 0;
  const std::int32_t iflag = -1;
  std::int32_t nerror = 0;

  VORNIO.nextunit = 1;
  VORNPROG.progunit = 1;
  VORNIO.nextunit = NEXTPOINTER(VORNPROG.progunit);
  if (!w.stage([&] { INPUTSTYLECMDLN_POSIX(iflag); })) return;
  w.inunit = VORNIO.inunit;
  w.stage([&] { USERSETUP(errorcode); });

  w.stage([&] { RDPARAMS(errorcode); });
  c.paramsRead = w.record("release") != nullptr && !w.parameterEnd;
  if (!c.paramsRead) {
    if (!w.parameterEnd) {
      w.add(Level::note, w.parfile(), w.lastParameterLine(),
            "the records after this one are not checked: the program reads no "
            "further record after this error");
    }
    return;
  }
  c.time0Asked = TIMINGIN.time0;
  c.timingOk = w.stage([&] { c.timingOk = deriveTiming(c.nvu, nerror); }) && c.timingOk;
  w.stage([&] { checkKappa(nerror); });

  c.releaseOk = w.stage([&] {
    errorcode = 0;
    releasePackets(TIMINGIN.time0, iflag, errorcode);
    PACKETS.kbreak = 0;
  });
  w.stage([&] { VERTSHUFFL(iflag, errorcode); });

  errorcode = 0;
  w.stage([&] { NODEINFO(errorcode); });
  c.gridOk = errorcode != NODEINFO_BAD_GRID && gridUsable() && !w.parameterEnd;
  w.stage([&] { checkNodeCount(nerror); });
  if (!c.gridOk) {
    if (!w.parameterEnd) {
      w.add(Level::note, w.parfile(), w.lastParameterLine(),
            "the velocity file names and the output records are not checked: without a "
            "usable node grid their number is unknown");
    }
    return;
  }

  c.velocityOk = w.stage([&] { VELINFO(VELOCITYMID.unext, VELOCITYMID.vnext, 0, errorcode); });
  c.namesRead = countRecords(c.check, "velocity_file.") ==
                    static_cast<std::size_t>(VELINFOMID.ninterior) &&
                !w.parameterEnd;
  if (c.velocityOk) {
    for (int k = 0; k < VELINFOMID.nnv; ++k) {
      VELOCITYMID.ucur[k] = VELOCITYMID.unext[k];
      VELOCITYMID.vcur[k] = VELOCITYMID.vnext[k];
    }
    c.frictionOk = w.stage([&] {
      errorcode = 0;
      nextFriction(0, errorcode, nerror);
    });
  }
  FRICTIONMID.ustar = FRICTIONMID.fricnext[0];
  FRICTIONMID.ustarc = FRICTIONMID.fricnext[1];
  FRICTIONMID.zw = FRICTIONMID.fricnext[2];

  if (!c.namesRead) {
    if (!w.parameterEnd) {
      w.add(Level::note, w.parfile(), w.lastParameterLine(),
            "the output records are not checked: the velocity file names were not all read");
    }
    return;
  }
  if (!c.timingOk) {
    w.add(Level::note, w.parfile(), w.lineOf("time_steps"),
          "the output records are not checked: they need the advection step, which the "
          "timing parameters do not give");
    return;
  }
  c.outputsRead = w.stage([&] { OUTPUT(iflag, errorcode); }) && !w.parameterEnd;
  if (!c.outputsRead && !w.parameterEnd) {
    w.add(Level::note, w.parfile(), w.lastParameterLine(),
          "the output records after this one are not checked: the program reads no further "
          "record");
  }
  if (c.outputsRead) w.stage([&] { checkStatisticsRadius(nerror); });
}

void summarize(Context& c) {
  Summary& s = c.check.summary;
  if (c.timingOk) {
    s.timing = true;
    s.startDay = TIMINGIN.time0 / 86400.0;
    s.endDay = (TIMINGIN.time0 + c.nvu * TIMINGIN.dtvu) / 86400.0;
  }
  if (c.finalPackets >= 0) {
    s.packetsKnown = true;
    s.packets = c.finalPackets;
  }
  if (c.paramsRead) {
    s.files.insert(s.files.begin(), {std::string(VORNIO.logname.trimmed()), "vornprog.out"});
  }
}

}  // namespace

Check CHECKPARAMETERS(const std::string& parfile, const std::string& console) {
  Check check;
  check.parfile = parfile;
  Walk walk(check);
  Context c(walk, check);

  resetAllState();
  rio::forgetFilesRead();
  resetRandomPackage();
  rio::beginDryRun([&](int unit, std::string_view rec) { walk.written(unit, rec); });
  rio::setWalker(&walk);
  const std::string name = parfile;
  const char* argv[] = {"vornv7", name.c_str(), console.c_str()};
  setCommandLine(console.empty() ? 2 : 3, argv);

  startUp(c);
  if (c.paramsRead) {
    checkSeries(c);
    checkRelease(c);
    checkOutputs(c);
    checkSuspicious(c);
    checkRunFailures(c);
  }
  summarize(c);

  rio::setWalker(nullptr);
  rio::abandonAllUnits();
  rio::endDryRun();
  setCommandLine(1, argv);
  resetAllState();
  resetRandomPackage();
  std::stable_sort(check.findings.begin(), check.findings.end(),
                   [&](const Finding& a, const Finding& b) {
                     // The parameter file first, then the others in the order met.
                     const bool pa = a.file == parfile, pb = b.file == parfile;
                     if (pa != pb) return pa;
                     if (pa) return a.line < b.line;
                     return false;
                   });
  return check;
}

}  // namespace vorncheck
