// The velocity series of the current meters: one file per current-meter
// node, opened at start-up and advanced one row per velocity update, and
// the log layer derived below the lowest current meter.
#include "forcing/velinfo.hpp"

#include <cmath>
#include <cstdint>

#include "forcing/forcingfile.hpp"
#include "forcing/loglayer.hpp"
#include "rio/nextpointer.hpp"
#include "rio/units.hpp"
#include "runtime/stop.hpp"
#include "state/limits.hpp"
#include "state/timeunits.hpp"
#include "state/timing.hpp"
#include "state/velinfo.hpp"
#include "state/vornio.hpp"

namespace {

// The velocities are used as read.
constexpr float kVelocityScale = 1.0f;

// How far the first-record times may lie from their mean, s: the
// single-precision value of 0.015 h, times 3600.
constexpr double kTimeTolerance = static_cast<double>(0.015f) * 3600.0;

// A grid that NODEINFO did not accept reaches here only through a fault of
// the caller: no node index derived from it may be used.
void requireAcceptedGrid() {
  const VelinfomidRecord& g = VELINFOMID;
  const bool ok = g.nloglayer >= 2 && g.ninterior >= 1 && g.nnv <= MAXNODES &&
                  g.nnv == g.nloglayer + g.ninterior - 1;
  if (ok) return;
  const rio::Problem problem;
  for (std::int32_t unit : {VORNIO.outunit, VORNIO.logunit}) {
    rio::listWrite(unit, "GetVelInfo: no valid node grid. nloglayer, ninterior, nnv ",
                   g.nloglayer, g.ninterior, g.nnv);
  }
  stopOnError();
}

// Start-up: the files named on the parameter input are opened, each is
// moved to its record nearest time0, and time0 is replaced by the mean of
// their times. uu, vv receive the current-meter velocities of those records.
void openSeries(float* uu, float* vv) {
  const VelinfomidRecord& g = VELINFOMID;
  VelseriesmidRecord& s = VELSERIESMID;
  TiminginRecord& timing = TIMINGIN;
  const std::int32_t out = VORNIO.outunit;
  const std::int32_t log = VORNIO.logunit;
  const std::int32_t nlog = g.nloglayer;
  const float* h = g.heightnodes;

  for (std::int32_t unit : {log, out}) {
    rio::listWrite(unit, "VelInfo4.  Initialize");
    rio::listWrite(unit, "Number of timeseries files required", g.ninterior);
    rio::listWrite(unit, "Velocities scaled by ", kVelocityScale);
  }
  if (g.ninterior > MAXVELFILES) {
    const rio::Problem problem;
    for (std::int32_t unit : {out, log}) {
      rio::listWrite(unit, "Number of interior nodes greater than maximum number of files");
      rio::listWrite(unit, "Increase MAXVELFILES and recompile ");
      rio::listWrite(unit, "MAXVELFILES, ninterior ", MAXVELFILES, g.ninterior);
    }
    stopOnError();
  }

  rio::listWrite(out, "Start from bottom up");
  for (std::int32_t k = 1; k <= g.ninterior; ++k) {
    rio::listWrite(out, "File name for height", h[nlog + k - 2]);
    rio::nameNextRead(VORNIO.inunit, "velocity_file", "velfile", k);
    rio::readText(VORNIO.inunit, s.velfile[k - 1]);
  }
  rio::listWrite(log, "File names");
  for (std::int32_t k = 1; k <= g.ninterior; ++k) {
    rio::listWrite(log, h[nlog + k - 2]);
    rio::writeRecord(log, s.velfile[k - 1].view());
  }

  const double tstart = timing.time0 - 0.5 * timing.dtvu;
  double sum = 0;
  for (std::int32_t k = 1; k <= g.ninterior; ++k) {
    const std::int32_t m = nlog + k - 1;
    const Text<120>& name = s.velfile[k - 1];
    const std::int32_t unit = VORNIO.nextunit;
    VORNIO.nextunit = NEXTPOINTER(unit);
    VELINFOIN.velunit[k - 1] = unit;
    rio::openUnit(unit, name.trimmed(), rio::FileStatus::old, "velocity file");
    SCANHEADER(unit, name.trimmed());

    std::int32_t year = 0;
    std::int32_t ncol = 0;
    READSERIESPREAMBLE(unit, year, ncol);
    if (k == 1) s.year = year;
    checkVelocityColumns(ncol);

    // The first record at or after half an update interval before time0.
    double& t = s.t[m - 1];
    t = -1.0e36;
    while (t < tstart) readVelocityRow(unit, t, uu[m - 1], vv[m - 1]);
    sum += t;
  }

  const double tavg = sum / g.ninterior;
  for (std::int32_t m = nlog; m <= g.nnv; ++m) {
    if (std::fabs(tavg - s.t[m - 1]) > kTimeTolerance) {
      const rio::Problem problem;
      rio::listWrite(log, "Time stamp of Velocity files varies!!!!");
      rio::listWrite(out, "Time stamp of Velocity files varies!!!!");
      stopOnError();
    }
  }
  rio::listWrite(log, "Start Time changed to: ", tavg, "  (nearest velocity point)");
  rio::listWrite(log, "  Originally: ", timing.time0);
  timing.time0 = tavg;
  rio::listWrite(log, "Velocity Update time step that vorn is using", timing.dtvu);

  s.tnext = 0;
  s.zetab = h[nlog - 1];
  const float q = LOGLAYER_KAPPA / std::log(s.zetab * LOGLAYER_RECIP_ZETA0);
  s.cd = q * q;
  for (std::int32_t unit : {out, log}) {
    rio::listWrite(unit, "Log layer parameters ");
    rio::listWrite(unit, "kappa, zeta0,zetab,Cd", LOGLAYER_KAPPA, LOGLAYER_ZETA0, s.zetab, s.cd);
  }
}

}  // namespace

void checkVelocityColumns(std::int32_t ncol) {
  if (ncol >= 3) return;
  const rio::Problem problem;
  rio::listWrite(VORNIO.outunit, "GetVelInfo: Not enough columns. ncol < 3", ncol);
  rio::listWrite(VORNIO.logunit, "Not enough columns. ncol < 3", ncol);
  stopOnError();
}

void readVelocityRow(std::int32_t unit, double& t, float& u, float& v) {
  rio::listRead(unit, t, u, v);
  t = daysToSeconds(t);
}

// Node velocities of the next record into uu, vv (nodes 1..nnv): flag 0
// opens the series (time0 in TIMINGIN is moved onto their records), flag i
// reads the row of velocity update i from every file. Below the lowest
// current meter the log law (or, with two log-layer nodes, a linear shear)
// gives the velocities. Every failure stops the run; errorcode ends at 0.
// Called by the driver at start-up and at every velocity update, only over
// a grid NODEINFO accepted.
void VELINFO(float* uu, float* vv, std::int32_t flag, std::int32_t& errorcode) {
  requireAcceptedGrid();
  const VelinfomidRecord& g = VELINFOMID;
  VelseriesmidRecord& s = VELSERIESMID;
  const std::int32_t log = VORNIO.logunit;
  const std::int32_t nlog = g.nloglayer;
  const float* h = g.heightnodes;

  for (std::int32_t k = 0; k < g.nnv; ++k) {
    uu[k] = 0;
    vv[k] = 0;
  }
  if (flag == 0) openSeries(uu, vv);

  for (std::int32_t k = 1; k <= g.ninterior; ++k) {
    const std::int32_t m = nlog + k - 1;
    if (flag >= 1) readVelocityRow(VELINFOIN.velunit[k - 1], s.tnext, uu[m - 1], vv[m - 1]);
    if (flag == 0) {
      rio::listWrite(log, "First velocity record to use ");
      rio::listWrite(log, "k,t(k),uu(k),vv(k)", m, s.t[m - 1], uu[m - 1], vv[m - 1]);
    } else if (flag == 1) {
      rio::listWrite(log, "Second velocity record to use ");
      rio::listWrite(log, "k,t(k),uu(k),vv(k)", m, s.tnext, uu[m - 1], vv[m - 1]);
    }
  }

  // The log layer: u(z) = u(zetab) ln(z/zeta0) / ln(zetab/zeta0), zero at
  // and below zeta0; with two nodes the bottom node is at rest.
  if (nlog != 2) {
    const float f = std::sqrt(s.cd) * 2.5f;
    for (std::int32_t j = 1; j <= nlog - 1; ++j) {
      float x = h[j - 1] * LOGLAYER_RECIP_ZETA0;
      if (x < 1.0f) x = 1.0f;
      const float lf = std::log(x) * f;
      uu[j - 1] = lf * uu[nlog - 1];
      vv[j - 1] = lf * vv[nlog - 1];
    }
  } else {
    uu[0] = 0;
    vv[0] = 0;
  }

  // The trace line; a node above the top of the grid shows zeros.
  static const rio::Layout kTrace("A,1X,F12.4,1X,6(1X,E10.4)");
  const bool above = nlog + 1 <= g.nnv;
  rio::layoutWrite(log, kTrace, std::string_view("TUV"), s.tnext, uu[0], vv[0], uu[nlog - 1],
                   vv[nlog - 1], above ? uu[nlog] : 0.0f, above ? vv[nlog] : 0.0f);
  errorcode = 0;
}
