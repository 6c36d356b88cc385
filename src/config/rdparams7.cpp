#include "config/rdparams7.hpp"

#include "random/ranf1.hpp"
#include "rio/nextpointer.hpp"
#include "rio/units.hpp"
#include "state/bblran.hpp"
#include "state/friction.hpp"
#include "state/heights.hpp"
#include "state/limits.hpp"
#include "state/release.hpp"
#include "state/settling.hpp"
#include "state/shuffling.hpp"
#include "state/timeunits.hpp"
#include "state/timing.hpp"
#include "state/vornio.hpp"

namespace {

std::int32_t takeUnit() {
  std::int32_t unit = VORNIO.nextunit;
  VORNIO.nextunit = NEXTPOINTER(unit);
  return unit;
}

// fricp(1..nfricp) as one free-format item list.
void writeFrictionParameters(rio::ListWriter& w) {
  for (int k = 0; k < FRICTIONIN.nfricp; ++k) w << FRICTIONIN.fricp[k];
}

}  // namespace

void RDPARAMS(std::int32_t& errorcode) {
  errorcode = 0;
  const std::int32_t in = VORNIO.inunit;
  const std::int32_t out = VORNIO.outunit;

  rio::listWrite(out, "Enter file name for error messages and ", "misc. info messages");
  rio::nameNextRead(in, "log_file", "logname");
  rio::readText(in, VORNIO.logname);
  VORNIO.logunit = takeUnit();
  rio::openUnit(VORNIO.logunit, VORNIO.logname.trimmed(), rio::FileStatus::unknown, "log file");
  const std::int32_t log = VORNIO.logunit;
  rio::listWrite(log, "***Echo file for vorn v7.0***");
  rio::listWrite(log, " ");
  rio::writeRecord(log, "**Read Input Parameters: ");

  rio::listWrite(out, "Enter 2 random number seeds (suggest 8-9 digits)");
  rio::nameNextRead(in, "seeds", "seed1 seed2");
  rio::listRead(in, BBLRAN.seed1, BBLRAN.seed2);
  rio::listWrite(log, "Random number seeds");
  rio::listWrite(log, BBLRAN.seed1, BBLRAN.seed2);
  SETALL(BBLRAN.seed1, BBLRAN.seed2);

  rio::nameNextRead(in, "run_time", "ttotal time0");
  rio::listRead(in, TIMINGIN.ttotal, TIMINGIN.time0);
  rio::nameNextRead(in, "velocity_update", "dtvu");
  rio::listRead(in, TIMINGIN.dtvu);
  rio::nameNextRead(in, "time_steps", "dta dtms");
  rio::listRead(in, TIMINGIN.dta, SHUFFLINGIN.dtms);
  rio::nameNextRead(in, "vmethod", "vmethod");
  rio::listRead(in, SHUFFLINGIN.vmethod);
  rio::nameNextRead(in, "nfricp", "nfricp");
  rio::listRead(in, FRICTIONIN.nfricp);

  if (FRICTIONIN.nfricp > NFRICMAX) {
    const rio::Problem problem(rio::Severity::error, "nfricp");
    errorcode = RDPARAMS_BAD_PARAMETER;
    rio::listWrite(out, "Error: Too many friction parameters.");
    rio::listWrite(out, "nfricp, NFRICMAX ", FRICTIONIN.nfricp, NFRICMAX);
    FRICTIONIN.nfricp = NFRICMAX;
    return;
  }
  if (FRICTIONIN.nfricp < -2) {
    // No friction model uses such a value: no profile could be built.
    const rio::Problem problem(rio::Severity::error, "nfricp");
    errorcode = RDPARAMS_BAD_PARAMETER;
    for (std::int32_t unit : {out, log}) {
      rio::listWrite(unit, "Error: Unknown friction model.");
      rio::listWrite(unit, "nfricp must lie in -2..3, nfricp = ", FRICTIONIN.nfricp);
    }
    return;
  }

  if (FRICTIONIN.nfricp > 0) {
    rio::ListTarget t[NFRICMAX];
    for (int k = 0; k < FRICTIONIN.nfricp; ++k) t[k] = rio::target(FRICTIONIN.fricp[k]);
    rio::nameNextRead(in, "friction", "fricp(1) fricp(2) fricp(3)");
    rio::listReadTargets(in, t, static_cast<std::size_t>(FRICTIONIN.nfricp));
    FRICTIONIN.fricfile.set("");
  } else {
    rio::nameNextRead(in, "friction", "fricfile");
    rio::readText(in, FRICTIONIN.fricfile);
    FRICTIONIN.fricp[0] = 0;
    FRICTIONIN.fricp[1] = 0;
  }

  rio::nameNextRead(in, "settling", "iniwstar bigwstar litwstar breakupus");
  rio::listRead(in, SETTLINGIN.iniwstar, SETTLINGIN.bigwstar, SETTLINGIN.litwstar,
                SETTLINGIN.breakupus);
  rio::nameNextRead(in, "kappa_href", "kappa href");
  rio::listRead(in, FRICTIONIN.kappa, HEIGTHS.href);
  rio::nameNextRead(in, "hmax", "hmax");
  rio::listRead(in, HEIGTHS.hmax);
  rio::nameNextRead(in, "btype", "btype");
  rio::listRead(in, RELEASEIN.btype);

  if (RELEASEIN.btype == 0) {
    rio::listWrite(out, "btype=0: Will Read packet information from file");
    rio::nameNextRead(in, "release", "pckfile");
    rio::readText(in, RELEASEIN.pckfile);
    RELEASEIN.pckunit = takeUnit();
  } else {
    rio::listWrite(out, "btype!=0: Will Read packet release parameters");
    rio::nameNextRead(in, "release", "relmass npack addint reldur");
    rio::listRead(in, RELEASEIN.relmass, RELEASEIN.npack, RELEASEIN.addint, RELEASEIN.reldur);
    RELEASEIN.addint = RELEASEIN.addint * 3600.0f;
    RELEASEIN.reldur = RELEASEIN.reldur * 3600.0f;
    if (RELEASEIN.npack <= 0) {
      // The packet mass would be a division by zero.
      const rio::Problem problem(rio::Severity::error, "release");
      errorcode = RDPARAMS_BAD_PARAMETER;
      for (std::int32_t unit : {out, log}) {
        rio::listWrite(unit, "Error: No packets to release.");
        rio::listWrite(unit, "npack must be at least 1, npack = ", RELEASEIN.npack);
      }
    }
  }

  TIMINGIN.dtvu = TIMINGIN.dtvu * 3600.0;
  TIMINGIN.dta = TIMINGIN.dta * 3600.0;
  SHUFFLINGIN.dtms = SHUFFLINGIN.dtms * 3600.0;
  TIMINGIN.ttotal = TIMINGIN.ttotal * 3600.0;
  TIMINGIN.time0 = daysToSeconds(TIMINGIN.time0);

  const float wstar = SETTLINGIN.iniwstar;  // the settling velocity at the start, for the echo

  rio::listWrite(log, "total integration time (s)", TIMINGIN.ttotal);
  rio::listWrite(log, "time at the start (ys)", TIMINGIN.time0);
  rio::listWrite(log, "time between velocity field updates                   (s)", TIMINGIN.dtvu);
  rio::listWrite(log, "Advection time step, mixing time scale ", "(s)", TIMINGIN.dta,
                 SHUFFLINGIN.dtms);
  rio::listWrite(log, "vertical shuffling method ", SHUFFLINGIN.vmethod);
  if (FRICTIONIN.nfricp > 0) {
    rio::listWrite(log, "***Friction parameters ");
    rio::ListWriter w(log);
    writeFrictionParameters(w);
    w.end();
  } else {
    rio::listWrite(log, "***Name of Bottom friction file");
    rio::listWrite(out, "***Name of Bottom friction file");
    rio::writeRecord(out, FRICTIONIN.fricfile.view());
    rio::writeRecord(log, FRICTIONIN.fricfile.view());
    switch (FRICTIONIN.nfricp) {
      case 0:
        rio::listWrite(log, "    Runing  1BBL model (u*cw)");
        rio::listWrite(out, "     Runing  1BBL model (u*cw)");
        break;
      case -1:
        rio::listWrite(log, "     Runing  1BBL model (u*c)");
        rio::listWrite(out, "     Runing  1BBL model (u*c)");
        break;
      case -2:
        rio::listWrite(log, "     Runing  2BBL model");
        rio::listWrite(out, "     Runing  2BBL model");
        break;
      default:
        break;
    }
  }
  rio::listWrite(log, "Initial settling velocity ", wstar);
  rio::listWrite(log, "Large floc settling velocity ", SETTLINGIN.bigwstar);
  rio::listWrite(log, "Small floc settling velocity ", SETTLINGIN.litwstar);
  rio::listWrite(log, "Floc breakup ustar ", SETTLINGIN.breakupus);
  rio::listWrite(log, "kappa, href", FRICTIONIN.kappa, HEIGTHS.href);
  rio::listWrite(log, " Hmax ", HEIGTHS.hmax);
  rio::listWrite(log, "**End of Read Input Parameters");
  rio::listWrite(log);
  rio::listWrite(log);
  rio::listWrite(log, "ReadInputParameters:");
  rio::listWrite(log, "  dta,dtvu,ttotal,time0 ", TIMINGIN.dta, TIMINGIN.dtvu, TIMINGIN.ttotal,
                 TIMINGIN.time0);
  rio::listWrite(log, "  dtms ", SHUFFLINGIN.dtms);
  rio::listWrite(log, "  wstar,kappa,href,hmax ", wstar, FRICTIONIN.kappa, HEIGTHS.href,
                 HEIGTHS.hmax);
  rio::listWrite(log, "  iniwstar,bigwstar,litwstar,breakupus ", SETTLINGIN.iniwstar,
                 SETTLINGIN.bigwstar, SETTLINGIN.litwstar, SETTLINGIN.breakupus);
  {
    rio::ListWriter w(log);
    w << "  friction ";
    writeFrictionParameters(w);
    w.end();
  }
  rio::listWrite(log, "  vmethod,errorcode ", SHUFFLINGIN.vmethod, errorcode);
}
