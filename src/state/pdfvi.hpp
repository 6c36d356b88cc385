#pragma once

#include "state/limits.hpp"

// One cumulative vertical profile table.
struct PdfTable {
  float zlev[NPDF] = {};  // level heights, m, zlev(1) = href, zlev(50) = hmax
  float cum[NPDF] = {};   // fraction of the class at or below each level
};

// Table 1: packets 1..kbreak (settling with wstar); table 2: the others
// (settling with iniwstar).
struct PdfviRecord {
  PdfTable table[2];
};
extern PdfviRecord PDFVI;
