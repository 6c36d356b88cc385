// The concentration time series at the fixed sampling points: set-up of the
// points, the per-step evaluation through the profile tables, its records.
#include "output/controut.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "output/layerconc.hpp"
#include "rio/numfmt.hpp"
#include "rio/units.hpp"
#include "runtime/stop.hpp"
#include "runtime/workers.hpp"
#include "state/limits.hpp"
#include "state/outputs.hpp"
#include "state/packets.hpp"
#include "state/pdfvi.hpp"
#include "state/vornio.hpp"

namespace {

constexpr double kSecondsToDays = 1.0 / 86400.0;

// The two console lines of every stop at set-up.
[[noreturn]] void stopSetup() {
  rio::listWrite(VORNIO.outunit, "controut: ***Stopping***");
  rio::listWrite(VORNIO.outunit, "Read echo file");
  stopOnError();
}

// Packets to count in one pass over a block; a whole block has a fixed
// length, so the compiler can unroll and vectorise the count.
constexpr std::int32_t kBlock = 2048;

// Number of the n packets at x, y within r2 of (xp, yp): the same squared
// distance in single precision as everywhere else in the program.
inline std::int32_t countWithin(const float* x, const float* y, std::int32_t n, float xp,
                                float yp, float r2) {
  std::int32_t c = 0;
  for (std::int32_t k = 0; k < n; ++k) {
    const float ddx = xp - x[k];
    const float ddy = yp - y[k];
    c += (ddx * ddx + ddy * ddy <= r2) ? 1 : 0;
  }
  return c;
}

inline std::int32_t countBlock(const float* x, const float* y, float xp, float yp, float r2) {
  std::int32_t c = 0;
  for (std::int32_t k = 0; k < kBlock; ++k) {
    const float ddx = xp - x[k];
    const float ddy = yp - y[k];
    c += (ddx * ddx + ddy * ddy <= r2) ? 1 : 0;
  }
  return c;
}

// Adds to count[i] the packets first..last-1 (0-based) within each point's
// radius. The packets are taken block by block and every point is counted
// over a block while it is in cache.
void countRange(std::int32_t first, std::int32_t last, const float* xpt, const float* ypt,
                const float* r2, std::int32_t ctotal, std::int32_t* count) {
  const float* x = POSITIONS.x;
  const float* y = POSITIONS.y;
  std::int32_t k = first;
  for (; k + kBlock <= last; k += kBlock) {
    for (std::int32_t i = 0; i < ctotal; ++i) count[i] += countBlock(x + k, y + k, xpt[i], ypt[i], r2[i]);
  }
  if (k < last) {
    for (std::int32_t i = 0; i < ctotal; ++i) count[i] += countWithin(x + k, y + k, last - k, xpt[i], ypt[i], r2[i]);
  }
}

// One thread's share of the counts: its part of each settling group.
struct CountPass {
  const float* xpt;
  const float* ypt;
  const float* r2;
  std::int32_t ctotal;
  std::int32_t kbreak;
  std::int32_t ktotal;
  std::int32_t nw[MAXTHREADS][CMAX];
  std::int32_t ni[MAXTHREADS][CMAX];

  void operator()(int part, int nparts) {
    std::fill(nw[part], nw[part] + ctotal, 0);
    std::fill(ni[part], ni[part] + ctotal, 0);
    std::int32_t lo;
    std::int32_t hi;
    partRange(0, kbreak, part, nparts, lo, hi);
    countRange(lo, hi, xpt, ypt, r2, ctotal, nw[part]);
    partRange(kbreak, ktotal, part, nparts, lo, hi);
    countRange(lo, hi, xpt, ypt, r2, ctotal, ni[part]);
  }
};

CountPass COUNTS;  // the counts of the latest evaluation, per thread

}  // namespace

// Concentration at points. Set-up (`first`): reads ctotal and the points
// into CONTRIN, refuses bad counts and layers of no thickness, and writes
// the header when the series is written. Other calls: CNCENTR1 into
// CONTROUTH.conc and, with writeconc, one record at `time`. Called by OUTPUT.
void CONTROUT(double time, bool first) {
  ContrinRecord& in = CONTRIN;
  if (first) {
    const int inunit = VORNIO.inunit;
    rio::nameNextRead(inunit, "points", "ctotal", 0, "concentration");
    rio::listRead(inunit, in.ctotal);
    if (in.ctotal > CMAX) {
      const rio::Problem problem(rio::Severity::error, "concentration.points");
      rio::listWrite(VORNIO.logunit, "***controut*** ");
      rio::listWrite(VORNIO.logunit, "Too many concentration points");
      rio::listWrite(VORNIO.logunit, "Increase CMAX and recompile. ");
      rio::listWrite(VORNIO.logunit, "ctotal, CMAX ", in.ctotal, static_cast<std::int32_t>(CMAX));
      stopSetup();
    }
    if (in.ctotal < 1) {
      const rio::Problem problem(rio::Severity::error, "concentration.points");
      rio::listWrite(VORNIO.logunit, "***controut*** ");
      rio::listWrite(VORNIO.logunit, "You requested concentration time series ");
      rio::listWrite(VORNIO.logunit, "but set ctotal less than 1 ", in.ctotal);
      stopSetup();
    }
    for (std::int32_t i = 0; i < in.ctotal; ++i) {
      rio::nameNextRead(inunit, "point", "xpt ypt radius zlow ztop", i + 1, "concentration");
      rio::listRead(inunit, in.xpt[i], in.ypt[i], in.radius[i], in.zlow[i], in.ztop[i]);
    }
    // A layer of no thickness or a cylinder of no area would divide by
    // zero on every evaluation.
    for (std::int32_t i = 0; i < in.ctotal; ++i) {
      if (in.radius[i] == 0.0f) {
        const rio::Problem problem;
        rio::listWrite(VORNIO.logunit, "***controut*** ");
        rio::listWrite(VORNIO.logunit, "Sampling radius of zero at point ", i + 1);
        stopSetup();
      }
      if (in.zlow[i] == in.ztop[i]) {
        const rio::Problem problem;
        rio::listWrite(VORNIO.logunit, "***controut*** ");
        rio::listWrite(VORNIO.logunit, "Sampling layer of zero thickness at point ", i + 1);
        rio::listWrite(VORNIO.logunit, "zlow, ztop ", in.zlow[i], in.ztop[i]);
        stopSetup();
      }
    }
    if (in.writeconc) {
      const int unit = in.unit;
      rio::listWrite(unit, "Concentration");
      rio::listWrite(unit, "x y z number_of_positions:", in.ctotal);
      for (std::int32_t i = 0; i < in.ctotal; ++i) {
        const float zmid = (in.zlow[i] + in.ztop[i]) * 0.5f;
        rio::listWrite(unit, in.xpt[i], in.ypt[i], zmid);
      }
      rio::listWrite(unit);
    }
    return;
  }

  float result[CMAX];
  CNCENTR1(in.xpt, in.ypt, in.radius, in.zlow, in.ztop, result, in.ctotal);
  const std::int32_t n = std::min<std::int32_t>(in.ctotal, CMAX);  // CNCENTR1 stopped below 1
  std::copy(result, result + n, CONTROUTH.conc);
  if (in.writeconc) {
    // The record 1X,E14.6,99E12.4, built in place: with 50 points it is
    // longer than the layout writer's inline buffer, and this runs every
    // concentration step.
    char rec[1 + 14 + 12 * CMAX];
    rec[0] = ' ';
    rio::editE(rec + 1, 14, 6, time * kSecondsToDays);
    for (std::int32_t i = 0; i < n; ++i) rio::editE(rec + 15 + 12 * i, 12, 4, CONTROUTH.conc[i]);
    rio::writeRecord(in.unit, std::string_view(rec, static_cast<std::size_t>(15 + 12 * n)));
  }
}

// Concentration (g/m3) at points 1..ctotal: the column load of the packets
// within each radius (PACKETS, POSITIONS), per settling group, spread over
// the point's layer with the PDFVI tables. Stops when ctotal < 1; all zero
// without packets. Called by CONTROUT.
void CNCENTR1(const float* xpt, const float* ypt, const float* radius, const float* zlow,
              const float* ztop, float* result, std::int32_t ctotal) {
  if (ctotal <= 0) {
    const rio::Problem problem;
    rio::listWrite(VORNIO.logunit, "Cncentr1: ctotal = ", ctotal);
    rio::listWrite(VORNIO.logunit, "Trying to calculate concentration at ctotal = ", ctotal,
                   " points.");
    rio::listWrite(VORNIO.logunit, "Not a good idea. I quit");
    rio::listWrite(VORNIO.outunit, "Stopping in subroutine Cncentr1.  Read echo file");
    stopOnError();
  }
  ctotal = std::min<std::int32_t>(ctotal, CMAX);
  const std::int32_t ktotal = std::clamp<std::int32_t>(PACKETS.ktotal, 0, KMAX);
  if (PACKETS.ktotal <= 0) {
    rio::listWrite(VORNIO.logunit, "Called Cncentr1 with total packets = ", PACKETS.ktotal);
    std::fill(result, result + ctotal, 0.0f);
    return;
  }
  const std::int32_t kbreak = std::clamp<std::int32_t>(PACKETS.kbreak, 0, ktotal);

  float r2[CMAX];
  for (std::int32_t i = 0; i < ctotal; ++i) r2[i] = radius[i] * radius[i];
  // Whole numbers: the sum over the threads' shares is the count.
  CountPass& c = COUNTS;
  c.xpt = xpt;
  c.ypt = ypt;
  c.r2 = r2;
  c.ctotal = ctotal;
  c.kbreak = kbreak;
  c.ktotal = ktotal;
  forEachPart(c);
  std::int32_t nw[CMAX] = {};
  std::int32_t ni[CMAX] = {};
  for (int p = 0; p < workerCount(); ++p) {
    for (std::int32_t i = 0; i < ctotal; ++i) {
      nw[i] += c.nw[p][i];
      ni[i] += c.ni[p][i];
    }
  }

  const float pmass = PACKETS.pmass;
  for (std::int32_t i = 0; i < ctotal; ++i) {
    const float area = 3.14159f * r2[i];
    const float lw = static_cast<float>(nw[i]) * pmass / area;
    const float li = static_cast<float>(ni[i]) * pmass / area;
    const double fracw = layerFraction(zlow[i], ztop[i], PDFVI.table[0]);
    const double fraci = layerFraction(zlow[i], ztop[i], PDFVI.table[1]);
    result[i] = layerConcentration(fracw, lw, fraci, li, ztop[i] - zlow[i]);
  }
}
