#pragma once

#include "state/pdfvi.hpp"

// Fills a profile table for a single power law of Rouse number rnum.
void PDFCOMPUTE(PdfTable& table, float sfrac, float rnum);
// Fills a profile table for the two-layer profile (rouse1 below zw, rouse2 above).
void PDFCOMPUTE2(PdfTable& table, float sfrac, float rouse1, float rouse2, float zw);
// The integral of t^-p from 1 to x.
double HH(double p, double x);
// Cumulative fraction of a table at height zq, m.
float PDFATZ(float zq, const PdfTable& table);
