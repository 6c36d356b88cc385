// The concentration map: the grid read at set-up, the packets binned into
// its cells on every map step, and the map frames.
#include "output/contrmaout.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "output/layerconc.hpp"
#include "rio/units.hpp"
#include "runtime/stop.hpp"
#include "runtime/workers.hpp"
#include "state/limits.hpp"
#include "state/outputs.hpp"
#include "state/packets.hpp"
#include "state/pdfvi.hpp"
#include "state/timing.hpp"
#include "state/vornio.hpp"

namespace {

constexpr double kSecondsToDays = 1.0 / 86400.0;

// The stop of a grid that cannot work: the reason is already in the log.
[[noreturn]] void stopSetup() {
  rio::listWrite(VORNIO.outunit, "contrmaout: ***Stopping***");
  rio::listWrite(VORNIO.outunit, "Read echo file");
  stopOnError();
}

// Refuses grids that would divide by zero: fewer than 2 points on an axis,
// an axis of no extent, a sampling layer of no thickness.
void checkGrid(const ContrmapinRecord& in) {
  const int log = VORNIO.logunit;
  const bool bad = in.nx < 2 || in.ny < 2 || in.x1 == in.x0 || in.y1 == in.y0 ||
                   in.zlow == in.ztop;
  if (!bad) return;
  const rio::Problem problem(rio::Severity::error, "map.grid");
  if (in.nx < 2 || in.ny < 2) {
    rio::listWrite(log, "***contrmaout*** ");
    rio::listWrite(log, "Too few map grid points (2 needed): nx, ny ", in.nx, in.ny);
    stopSetup();
  }
  if (in.x1 == in.x0) {
    rio::listWrite(log, "***contrmaout*** ");
    rio::listWrite(log, "Map of no extent along x: x0, x1 ", in.x0, in.x1);
    stopSetup();
  }
  if (in.y1 == in.y0) {
    rio::listWrite(log, "***contrmaout*** ");
    rio::listWrite(log, "Map of no extent along y: y0, y1 ", in.y0, in.y1);
    stopSetup();
  }
  if (in.zlow == in.ztop) {
    rio::listWrite(log, "***contrmaout*** ");
    rio::listWrite(log, "Map layer of zero thickness: zlow, ztop ", in.zlow, in.ztop);
    stopSetup();
  }
}

// Adds the packets first..last-1 (0-based) to the count grid of their
// cells. The cell index is trunc(f) + 1 for f >= 0 and trunc(f) below, so
// a packet is inside exactly when 0 <= f < n on both axes; the test is made
// on f itself, so no index is ever formed from a value outside the grid.
void bin(std::int32_t first, std::int32_t last, float ox, float oy, float dx, float dy,
         std::int32_t nx, std::int32_t ny, float (*count)[MAPMAX]) {
  const float fnx = static_cast<float>(nx);
  const float fny = static_cast<float>(ny);
  const float* x = POSITIONS.x;
  const float* y = POSITIONS.y;
  for (std::int32_t k = first; k < last; ++k) {
    const float fx = (x[k] - ox) / dx;
    const float fy = (y[k] - oy) / dy;
    if (fx >= 0.0f && fx < fnx && fy >= 0.0f && fy < fny) {
      count[static_cast<std::int32_t>(fy)][static_cast<std::int32_t>(fx)] += 1.0f;
    }
  }
}

// The count grids of threads 2 and up (thread 1 counts into CONTRMAPWORK);
// whole numbers below 2^24, so adding them up is exact. Only the cells of
// the threads in use are ever touched.
float SHARECOUNTS[MAXTHREADS - 1][2][MAPMAX][MAPMAX];

// One thread's share of the binning: its part of each settling group.
struct BinPass {
  float ox, oy, dx, dy;
  std::int32_t nx, ny, kbreak, ktotal;

  void operator()(int part, int nparts) {
    ContrmapworkRecord& wk = CONTRMAPWORK;
    float (*countw)[MAPMAX] = part == 0 ? wk.countw : SHARECOUNTS[part - 1][0];
    float (*counti)[MAPMAX] = part == 0 ? wk.counti : SHARECOUNTS[part - 1][1];
    for (std::int32_t j = 0; j < ny; ++j) {
      std::fill(countw[j], countw[j] + nx, 0.0f);
      std::fill(counti[j], counti[j] + nx, 0.0f);
    }
    std::int32_t lo;
    std::int32_t hi;
    partRange(0, kbreak, part, nparts, lo, hi);
    bin(lo, hi, ox, oy, dx, dy, nx, ny, countw);
    partRange(kbreak, ktotal, part, nparts, lo, hi);
    bin(lo, hi, ox, oy, dx, dy, nx, ny, counti);
  }
};

}  // namespace

// Concentration map. Set-up (`first`): reads the grid and layer into
// CONTRMAPIN (nx, ny clipped to MAPMAX), builds the grid in CONTRMAPWORK and
// writes the header when frames are written. Other calls: bins the packets,
// fills CONTRMAPOUT.cmap and colmap and, with writemap, writes a frame at
// `time`. Called by OUTPUT.
void CONTRMAOUT(double time, bool first) {
  ContrmapinRecord& in = CONTRMAPIN;
  ContrmapworkRecord& wk = CONTRMAPWORK;
  if (first) {
    rio::nameNextRead(VORNIO.inunit, "grid", "nx x0 x1 ny y0 y1 zlow ztop", 0, "map");
    rio::listRead(VORNIO.inunit, in.nx, in.x0, in.x1, in.ny, in.y0, in.y1, in.zlow, in.ztop);
    in.nx = std::min<std::int32_t>(in.nx, MAPMAX);
    in.ny = std::min<std::int32_t>(in.ny, MAPMAX);
    rio::listWrite(VORNIO.logunit, "Contrmaout: concentration map output");
    checkGrid(in);
    wk.dx = (in.x1 - in.x0) / static_cast<float>(in.nx - 1);
    wk.dy = (in.y1 - in.y0) / static_cast<float>(in.ny - 1);
    for (std::int32_t i = 0; i < in.nx; ++i) wk.xg[i] = in.x0 + static_cast<float>(i) * wk.dx;
    for (std::int32_t j = 0; j < in.ny; ++j) wk.yg[j] = in.y0 + static_cast<float>(j) * wk.dy;
    if (in.writemap) {
      const int unit = in.unit;
      // Frames of a complete run; held in range however short the interval.
      const double frames = std::trunc(TIMINGIN.ttotal / in.dtout);
      const std::int32_t nframes =
          frames >= 2147483647.0 ? 2147483647
                                 : (frames > -2147483648.0 ? static_cast<std::int32_t>(frames) : 0);
      rio::listWrite(unit, nframes);
      rio::listWrite(unit, in.nx);
      for (std::int32_t i = 0; i < in.nx; ++i) rio::listWrite(unit, wk.xg[i] * 0.001f);
      rio::listWrite(unit, in.ny);
      for (std::int32_t j = 0; j < in.ny; ++j) rio::listWrite(unit, wk.yg[j] * 0.001f);
    }
    return;
  }

  // A grid that was never set up (the biology map without the map) has no
  // cells: nothing to bin or convert.
  const std::int32_t nx = std::clamp<std::int32_t>(in.nx, 0, MAPMAX);
  const std::int32_t ny = std::clamp<std::int32_t>(in.ny, 0, MAPMAX);
  if (nx > 0 && ny > 0) {
    const float ox = wk.xg[0] - 0.5f * wk.dx;
    const float oy = wk.yg[0] - 0.5f * wk.dy;
    const std::int32_t ktotal = std::clamp<std::int32_t>(PACKETS.ktotal, 0, KMAX);
    const std::int32_t kbreak = std::clamp<std::int32_t>(PACKETS.kbreak, 0, ktotal);
    BinPass pass{ox, oy, wk.dx, wk.dy, nx, ny, kbreak, ktotal};
    forEachPart(pass);
    for (int p = 1; p < workerCount(); ++p) {
      for (std::int32_t j = 0; j < ny; ++j) {
        for (std::int32_t i = 0; i < nx; ++i) {
          wk.countw[j][i] += SHARECOUNTS[p - 1][0][j][i];
          wk.counti[j][i] += SHARECOUNTS[p - 1][1][j][i];
        }
      }
    }

    // A grid running from larger to smaller coordinates has a negative
    // spacing; its cells still have the positive area |dx dy|.
    const float area = std::fabs(wk.dx * wk.dy);
    const float pmass = PACKETS.pmass;
    const double fracw = layerFraction(in.zlow, in.ztop, PDFVI.table[0]);
    const double fraci = layerFraction(in.zlow, in.ztop, PDFVI.table[1]);
    const float thick = in.ztop - in.zlow;
    for (std::int32_t j = 0; j < ny; ++j) {
      for (std::int32_t i = 0; i < nx; ++i) {
        const float lw = wk.countw[j][i] / area * pmass;
        const float li = wk.counti[j][i] / area * pmass;
        CONTRMAPOUT.cmap[j][i] = layerConcentration(fracw, lw, fraci, li, thick);
        wk.colmap[j][i] = lw + li;
      }
    }
  }

  if (in.writemap) {
    const int unit = in.unit;
    rio::listWrite(unit, time * kSecondsToDays);
    for (std::int32_t j = 0; j < ny; ++j) {
      for (std::int32_t i = 0; i < nx; ++i) {
        rio::listWrite(unit, CONTRMAPOUT.cmap[j][i]);
        rio::listWrite(unit, wk.colmap[j][i]);
      }
    }
  }
}
