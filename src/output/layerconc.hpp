#pragma once
// The step shared by the concentration at points and on the map: column
// loads of the two settling groups spread over a sampling layer with the
// current profile tables.
#include "state/pdfvi.hpp"
#include "vertical/pdfcompute.hpp"

// Fraction of a table's population between zlow and ztop, the difference
// of the two cumulative values formed in double.
inline double layerFraction(float zlow, float ztop, const PdfTable& table) {
  return static_cast<double>(PDFATZ(ztop, table)) - static_cast<double>(PDFATZ(zlow, table));
}

// Concentration (g/m3) in a layer of thickness `thick` (m) of the column
// loads lw (broken flocs, table 1) and li (table 2), g/m2, given the two
// layer fractions; evaluated in double and stored as single precision.
inline float layerConcentration(double fracw, float lw, double fraci, float li, float thick) {
  return static_cast<float>(fracw * lw / thick + fraci * li / thick);
}
