#include "vertical/pdfcompute.hpp"

// The profile builders arrive with the vertical scheme.
void PDFCOMPUTE(PdfTable&, float, float) {}
void PDFCOMPUTE2(PdfTable&, float, float, float, float) {}
double HH(double, double) { return 0.0; }

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
