#pragma once
#include <cstdint>

#include "rio/text.hpp"

// Packet release parameters.
struct ReleaseinRecord {
  Text<120> pckfile;         // discharge series file, when btype = 0
  float relmass = 0;         // mass released, g, shared equally by the npack packets
  float addint = 0;          // interval between release events, s (read in hours)
  float reldur = 0;          // duration of the release, s (read in hours)
  std::int32_t npack = 0;    // number of packets to release
  std::int32_t btype = 0;    // 0: release from the discharge file; otherwise steady release
  std::int32_t pckunit = 0;  // unit reserved for the discharge file
};
extern ReleaseinRecord RELEASEIN;

// The one-record look-ahead of the discharge series.
struct DischargeRecord {
  double distime = 0;        // time of the pending record, s
  std::int32_t addnum = 0;   // packets of the pending record (steady release: packets per event)
  bool dismore = false;      // the file may hold further records
};
extern DischargeRecord DISCHARGE;
