#include "vertical/pdfcompute.hpp"

#include <cmath>

#include "state/heights.hpp"

namespace {

// The 49 spacings of the levels, equal in ln z between href and hmax.
constexpr double kOneOver49 = 1.0 / 49.0;

// The unrounded height of level i (1..50) in extended precision:
// href exp((i - 1) delta), delta = (ln hmax - ln href) / 49.
long double levelHeight(int i, long double href, long double delta) {
  return href * std::exp(static_cast<long double>(i - 1) * delta);
}

long double levelSpacing(float href, float hmax) {
  return (std::log(static_cast<long double>(hmax)) - std::log(static_cast<long double>(href))) *
         static_cast<long double>(kOneOver49);
}

}  // namespace

// A single power-law profile of Rouse number rnum over href..hmax
// (HEIGTHS): the levels and the cumulative fraction at each, with the
// fraction 1 - sfrac lumped at the lowest level. Called by the driver for
// both settling classes at every step of the single-layer friction models.
void PDFCOMPUTE(PdfTable& table, float sfrac, float rnum) {
  const float href = HEIGTHS.href;
  const float hmax = HEIGTHS.hmax;
  const long double lhref = href;
  const long double delta = levelSpacing(href, hmax);
  const float unsuspended = 1.0f - sfrac;

  table.zlev[0] = href;
  table.cum[0] = unsuspended;
  if (rnum == 1.0f) {
    // The integral of 1/z: a logarithm, taken only for exactly 1.
    const long double top = std::log(static_cast<long double>(hmax) / lhref);
    for (int i = 2; i <= NPDF; ++i) {
      const long double z = levelHeight(i, lhref, delta);
      table.zlev[i - 1] = static_cast<float>(z);
      const long double f = std::log(z / lhref) / top;
      table.cum[i - 1] = static_cast<float>(unsuspended + sfrac * f);
    }
  } else {
    const double e = 1.0 - static_cast<double>(rnum);
    const double top = std::pow(static_cast<double>(static_cast<long double>(hmax) / lhref), e) - 1.0;
    for (int i = 2; i <= NPDF; ++i) {
      const long double z = levelHeight(i, lhref, delta);
      table.zlev[i - 1] = static_cast<float>(z);
      const double f = (std::pow(static_cast<double>(z / lhref), e) - 1.0) / top;
      table.cum[i - 1] = static_cast<float>(unsuspended + sfrac * f);
    }
  }
}

// The integral of t^-p from 1 to x: ln x when p lies within 1e-6 of 1,
// else (x^(1-p) - 1) / (1 - p). The layer integrals of PDFCOMPUTE2.
double HH(double p, double x) {
  if (std::fabs(p - 1.0) <= 1.0E-6) return std::log(x);
  const double e = 1.0 - p;
  return (std::pow(x, e) - 1.0) / e;
}

// The two-layer profile: Rouse number rouse1 from href up to the layer
// height zw, and above it rouse2, the concentration continuous at zw. A
// layer height below href counts as href (one layer of rouse2), one at or
// above hmax as hmax (one layer of rouse1), so the table always ends at 1.
// Called by the driver for both classes in the two-layer friction model.
void PDFCOMPUTE2(PdfTable& table, float sfrac, float rouse1, float rouse2, float zw) {
  const float href = HEIGTHS.href;
  const float hmax = HEIGTHS.hmax;
  const long double lhref = href;
  const long double delta = levelSpacing(href, hmax);
  const float unsuspended = 1.0f - sfrac;

  float zcf = zw > href ? zw : href;
  if (zcf > hmax) zcf = hmax;
  const double zc = zcf;
  const double dhref = href;
  const double a = HH(rouse1, zc / dhref);
  const double b = HH(rouse2, static_cast<double>(hmax) / zc);
  const double c = std::pow(zc / dhref, 1.0 - static_cast<double>(rouse1));
  const double total = a + c * b;

  table.zlev[0] = href;
  table.cum[0] = unsuspended;
  for (int i = 2; i <= NPDF; ++i) {
    const long double zl = levelHeight(i, lhref, delta);
    table.zlev[i - 1] = static_cast<float>(zl);
    const double z = static_cast<double>(zl);
    const double below = z <= zc ? HH(rouse1, z / dhref) : a + c * HH(rouse2, z / zc);
    table.cum[i - 1] = static_cast<float>(unsuspended + sfrac * (below / total));
  }
}

// The cumulative fraction at height zq, linear between levels; below the
// first level cum(1), and above the last the last segment extended. Read
// by the concentration outputs, which difference two heights.
float PDFATZ(float zq, const PdfTable& table) {
  const float* zlev = table.zlev;
  const float* cum = table.cum;
  if (zq <= zlev[0]) return cum[0];
  int i = 1;
  while (i < NPDF - 1 && zlev[i] < zq) ++i;
  const float t = (zq - zlev[i - 1]) / (zlev[i] - zlev[i - 1]);
  return (1.0f - t) * cum[i - 1] + t * cum[i];
}
