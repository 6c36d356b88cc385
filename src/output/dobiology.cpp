// Exposure of the biology to suspended sediment, accumulated over the run
// at the concentration points and on the map cells, and written once at
// its end.
#include "output/dobiology.hpp"

#include <algorithm>
#include <cstdint>

#include "output/recordlayouts.hpp"
#include "rio/units.hpp"
#include "state/limits.hpp"
#include "state/outputs.hpp"
#include "state/timing.hpp"
#include "state/vornio.hpp"

namespace {

// The ramp coefficients a = 1/(hi - lo), b = -lo/(hi - lo); left at 0 when
// the thresholds are equal (the weight is then a step and they are unused).
void rampCoefficients(float lo, float hi, float& a, float& b) {
  if (hi == lo) {
    a = b = 0.0f;
    return;
  }
  a = 1.0f / (hi - lo);
  b = -lo / (hi - lo);
}

// Exposure weight of concentration c: 0 up to lo, 1 from hi, the ramp
// a*c + b between.
inline float weight(float c, float lo, float hi, float a, float b) {
  if (c <= lo) return 0.0f;
  if (c >= hi) return 1.0f;
  return a * c + b;
}

// The first write cuts an existing file off: a file that receives no record
// (no point, no cell) must not keep what an earlier run left in it.
void cutFile(int unit) { rio::appendToRecord(unit, "", 0); }

}  // namespace

// Exposure at the concentration points. iflag < 0: reads clow, chigh into
// BIOLOGYIN, clears BIOLOGYOUT.exposure, sets the ramp; 0: adds the weight
// of each CONTROUTH.conc; > 0: writes one record per point and closes the
// file. Called by OUTPUT on its set-up, the biology steps and the end.
void DOBIOLOGY(std::int32_t iflag) {
  BiologyinRecord& in = BIOLOGYIN;
  const std::int32_t ctotal = std::clamp<std::int32_t>(CONTRIN.ctotal, 0, CMAX);
  if (iflag < 0) {
    rio::nameNextRead(VORNIO.inunit, "thresholds", "clow chigh", 0, "biology");
    rio::listRead(VORNIO.inunit, in.clow, in.chigh);
    std::fill(BIOLOGYOUT.exposure, BIOLOGYOUT.exposure + ctotal, 0.0f);
    rampCoefficients(in.clow, in.chigh, BIOLOGYMID.a, BIOLOGYMID.b);
    return;
  }
  if (iflag == 0) {
    for (std::int32_t i = 0; i < ctotal; ++i) {
      BIOLOGYOUT.exposure[i] +=
          weight(CONTROUTH.conc[i], in.clow, in.chigh, BIOLOGYMID.a, BIOLOGYMID.b);
    }
    return;
  }

  const double n = TIMINGIN.ttotal / in.dtbio;                 // biology steps of the run
  const float p = static_cast<float>(86400.0 / in.dtbio);      // biology steps per day
  static const rio::Layout kLayout(kBiologyLayout);
  cutFile(in.unit);
  rio::UnitOut out(in.unit);
  for (std::int32_t i = 0; i < ctotal; ++i) {
    const float e = BIOLOGYOUT.exposure[i];
    rio::LayoutWriter w(kLayout, out);
    w.put(i + 1);
    w.put(CONTRIN.xpt[i]);
    w.put(CONTRIN.ypt[i]);
    w.put((CONTRIN.zlow[i] + CONTRIN.ztop[i]) * 0.5f);
    w.put(static_cast<double>(e * 100.0f) / n);
    w.put(e / p);
    w.end();
  }
  rio::closeUnit(in.unit);
}

// Exposure on the map cells, as DOBIOLOGY with cmaplow, cmaphigh, the
// cells of CONTRMAPOUT.cmap and BIOLOGYOUT.biomap; the end-of-run call
// writes one row of equivalent days per grid row and closes the file.
void DOBIOLOGYMAP(std::int32_t iflag) {
  BiologyinRecord& in = BIOLOGYIN;
  const std::int32_t nx = std::clamp<std::int32_t>(CONTRMAPIN.nx, 0, MAPMAX);
  const std::int32_t ny = std::clamp<std::int32_t>(CONTRMAPIN.ny, 0, MAPMAX);
  if (iflag < 0) {
    rio::nameNextRead(VORNIO.inunit, "thresholds", "cmaplow cmaphigh", 0, "biology_map");
    rio::listRead(VORNIO.inunit, in.cmaplow, in.cmaphigh);
    for (std::int32_t j = 0; j < ny; ++j) std::fill(BIOLOGYOUT.biomap[j], BIOLOGYOUT.biomap[j] + nx, 0.0f);
    rampCoefficients(in.cmaplow, in.cmaphigh, BIOLOGYMID.amap, BIOLOGYMID.bmap);
    return;
  }
  if (iflag == 0) {
    const float lo = in.cmaplow, hi = in.cmaphigh;
    const float a = BIOLOGYMID.amap, b = BIOLOGYMID.bmap;
    for (std::int32_t j = 0; j < ny; ++j) {
      for (std::int32_t i = 0; i < nx; ++i) {
        BIOLOGYOUT.biomap[j][i] += weight(CONTRMAPOUT.cmap[j][i], lo, hi, a, b);
      }
    }
    return;
  }

  const float p = static_cast<float>(86400.0 / in.dtbiomap);  // biology steps per day
  static const rio::Layout kLayout(kBiologyMapLayout);
  cutFile(in.mapunit);
  rio::UnitOut out(in.mapunit);
  for (std::int32_t j = 0; j < ny; ++j) {
    rio::LayoutWriter w(kLayout, out);
    for (std::int32_t i = 0; i < nx; ++i) w.put(BIOLOGYOUT.biomap[j][i] / p);
    w.end();
  }
  rio::closeUnit(in.mapunit);
}
