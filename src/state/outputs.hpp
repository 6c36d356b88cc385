#pragma once
#include <cstdint>

#include "state/limits.hpp"

// Output intervals (s), files and sampling parameters (m). An interval of
// magnitude at most 0.015 s means the output is off.
struct SedinRecord {
  double dtout = 0;        // output interval, s
  std::int32_t unit = 0;   // unit of the file
};
extern SedinRecord SEDIN;

struct VelinRecord {
  double dtout = 0;
  std::int32_t unit = 0;
};
extern VelinRecord VELIN;

struct StatsinRecord {
  double dtout = 0;
  float zlow = 0;    // lower bound of the sampling layer of the cylinder following the cloud, m
  float ztop = 0;    // upper bound, m
  float radius = 0;  // radius of the cylinder, m
  std::int32_t unit = 0;
};
extern StatsinRecord STATSIN;

struct PackinRecord {
  double dtout = 0;
  std::int32_t unit = 0;
};
extern PackinRecord PACKIN;

struct ContrinRecord {
  double dtout = 0;          // interval of the concentration evaluation, s
  float xpt[CMAX] = {};      // point positions, first axis, m
  float ypt[CMAX] = {};      // second axis, m
  float radius[CMAX] = {};   // radius of the sampling cylinder, m
  float zlow[CMAX] = {};     // lower bound of the sampling layer, m
  float ztop[CMAX] = {};     // upper bound, m
  std::int32_t ctotal = 0;   // points in use
  std::int32_t unit = 0;
  bool writeconc = false;    // the time series is written (not only evaluated)
};
extern ContrinRecord CONTRIN;

struct ContrmapinRecord {
  double dtout = 0;
  float x0 = 0, x1 = 0;      // first and last grid coordinate in x, m
  float y0 = 0, y1 = 0;      // in y, m
  float zlow = 0, ztop = 0;  // sampling layer, m
  std::int32_t nx = 0, ny = 0;  // grid points in x and y
  std::int32_t unit = 0;
  bool writemap = false;     // map frames are written
};
extern ContrmapinRecord CONTRMAPIN;

struct BiologyinRecord {
  float clow = 0, chigh = 0;        // exposure thresholds at points, g/m3
  float cmaplow = 0, cmaphigh = 0;  // exposure thresholds on the map, g/m3
  double dtbio = 0;                 // interval of exposure accumulation at points, s
  double dtbiomap = 0;              // on the map, s
  std::int32_t unit = 0;            // unit of the point biology file
  std::int32_t mapunit = 0;         // unit of the biology map file
};
extern BiologyinRecord BIOLOGYIN;

struct ControuthRecord {
  float conc[CMAX] = {};  // concentration at each point from the latest evaluation, g/m3
};
extern ControuthRecord CONTROUTH;

// Map cells: [j][i] is cell (i, j), the x index varying fastest.
struct ContrmapoutRecord {
  float cmap[MAPMAX][MAPMAX];  // layer concentration of each cell, g/m3
};
extern ContrmapoutRecord CONTRMAPOUT;

struct BiologyoutRecord {
  float biomap[MAPMAX][MAPMAX];  // accumulated exposure weight per map cell
  float exposure[CMAX];          // accumulated exposure weight per point
};
extern BiologyoutRecord BIOLOGYOUT;

// Working state of the concentration map, kept between its calls: the grid
// and the packet counts of the latest evaluation. [j][i] is cell (i, j).
struct ContrmapworkRecord {
  float dx = 0, dy = 0;           // grid spacings, m
  float xg[MAPMAX] = {};          // grid coordinates (cell centres) in x, m
  float yg[MAPMAX] = {};          // in y, m
  float countw[MAPMAX][MAPMAX];   // packets settling with wstar in each cell
  float counti[MAPMAX][MAPMAX];   // packets settling with iniwstar in each cell
  float colmap[MAPMAX][MAPMAX];   // column load of each cell, g/m2
};
extern ContrmapworkRecord CONTRMAPWORK;

// Ramp coefficients of the exposure weight, w = a*c + b between the two
// thresholds, set up once by the biology writers.
struct BiologymidRecord {
  float a = 0, b = 0;        // at the points
  float amap = 0, bmap = 0;  // on the map
};
extern BiologymidRecord BIOLOGYMID;
