#pragma once
// The search of a profile table by rank, made fast without changing one
// bit of its result. ABRVERTPOS2 and PLACEANDMOVE place packets through it.
#include <cstdint>

#include "state/limits.hpp"
#include "state/pdfvi.hpp"

constexpr int NBUCKET = 8192;  // buckets of the rank index, each 1/8192 of the ranks

// One profile table prepared for placing packets: a bucket index on the
// rank and, per segment between levels i-1 and i (i = 1..49, 0-based), the
// interpolation in double with its error bound. Rebuilt from the table at
// every pass; all derived from the table alone.
struct RankIndex {
  struct alignas(32) Segment {
    double z0;     // zlev(i-1), m
    double c0;     // cum(i-1)
    double slope;  // (zlev(i) - zlev(i-1)) / (cum(i) - cum(i-1)) in double, m
    double bound;  // bound on the distance of the double height from the extended one, m
  };
  // segment[i] ends at level i (segment 0 is not used); segment[50 + i] is
  // its copy with the bound negated, for the flagged buckets.
  Segment segment[2 * NPDF];
  float cum[NPDF];        // the table's cumulative fractions, copied
  float zlev[NPDF];       // its level heights, m, copied
  float zbed;            // height of the unsuspended fraction, half zlev(1), m
  float bottom;          // cum(1): ranks at or below it are not suspended
  float top;             // cum(50): no rank may lie above it
  bool plain;            // the top is not a number: every rank takes the plain search
  // start[b]: the first level from 1 up whose cum is at least b/8192 (1 for
  // b = 0), as the byte offset of its segment, or of the segment's copy
  // when a rank of the bucket may lie above that level's cum (the scan must
  // go on: the bucket is flagged).
  std::uint16_t start[NBUCKET + 1];
};

// Fills `x` from table `t`. Called by ABRVERTPOS2 and PLACEANDMOVE for each
// table in use.
void prepareRankIndex(const PdfTable& t, RankIndex& x);

// Heights (POSITIONS.z) of packets first+1..last (0-based [first, last))
// from their ranks (RANKS) through one prepared table, exactly as the
// straightforward search and extended-precision interpolation would give.
// Returns the first packet number (1-based) whose rank lies above the
// table's top, after placing the packets before it, or 0. Run by the
// threads of ABRVERTPOS2 and PLACEANDMOVE on their shares.
std::int32_t placeByRank(const RankIndex& x, std::int32_t first, std::int32_t last);

// The height of rank r on the segment from level i-1 to level i (0-based
// i = 1..49) of the table: the linear interpolation of height against
// cumulative fraction in extended precision, stored as single precision.
float levelHeightExtended(const float* zlev, const float* cum, int i, float r);
