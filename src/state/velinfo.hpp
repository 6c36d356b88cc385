#pragma once
#include <cstdint>

#include "rio/text.hpp"
#include "state/limits.hpp"

// Node and velocity files. Arrays are indexed from 0 for node or file 1.
struct VelinfoinRecord {
  Text<80> lognodefile;                 // log-layer node file
  Text<80> intnodefile;                 // interior node file
  std::int32_t velunit[MAXVELFILES] = {};  // units of the velocity series files, bottom up
  std::int32_t lognodeunit = 0;         // unit of the log-layer node file while it is read
  std::int32_t intnodeunit = 0;         // unit of the interior node file while it is read
};
extern VelinfoinRecord VELINFOIN;

// The vertical node grid.
struct VelinfomidRecord {
  float heightnodes[MAXNODES] = {};  // node heights above the bed, m, from the bottom node up
  std::int32_t nnv = 0;              // number of nodes, nloglayer + ninterior - 1
  std::int32_t nloglayer = 0;        // log-layer nodes; node nloglayer is the lowest current meter
  std::int32_t ninterior = 0;        // current-meter nodes (velocity series files)
};
extern VelinfomidRecord VELINFOMID;

// Velocities at the nodes, m/s.
struct VelocitymidRecord {
  float ucur[MAXNODES] = {};   // at the middle of the current advection step
  float vcur[MAXNODES] = {};
  float uprev[MAXNODES] = {};  // record at the start of the velocity-update interval
  float vprev[MAXNODES] = {};
  float unext[MAXNODES] = {};  // record at its end
  float vnext[MAXNODES] = {};
};
extern VelocitymidRecord VELOCITYMID;

// The velocity series between the calls of VELINFO. Filled at start-up;
// tnext is advanced by every update.
struct VelseriesmidRecord {
  Text<120> velfile[MAXVELFILES];  // series file of each current-meter node, bottom up
  double t[MAXNODES] = {};         // time of the first record used at each current-meter node, s
  double tnext = 0;                // time of the latest record read by an update, s; 0 before the first
  float zetab = 0;                 // height of the lowest current meter, m
  float cd = 0;                    // drag coefficient of the log layer at zetab
  std::int32_t year = 0;           // the year in the header of the lowest meter's series
};
extern VelseriesmidRecord VELSERIESMID;
