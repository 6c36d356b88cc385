#pragma once
// The horizontal move of packets: the one-packet profile and move, and
// the same operations in the same order on four or eight packets at a
// time. VELHORIZ and MOVEHORIZ use them; they call nothing above them.
#include <cstdint>

#include "state/limits.hpp"

// A height above the top node: the vertical positioning should never
// place a packet there. Stops the run with the profile's message.
[[noreturn]] __attribute__((cold)) void aboveTheGrid(float z, float zmax);

// The profile at z on the grid h(1..nnv) with node velocities uu, vv:
// zero below the bottom node, the linear interpolation between the two
// nodes around z otherwise; a height above the top node stops the run.
inline void profileAt(float& u, float& v, float z, const float* uu, const float* vv,
                      const float* h, std::int32_t nnv) {
  if (z < h[0]) {
    u = 0;
    v = 0;
    return;
  }
  if (z > h[nnv - 1]) aboveTheGrid(z, h[nnv - 1]);
  if (nnv < 2) {  // z is the one node's height
    u = uu[0];
    v = vv[0];
    return;
  }
  // The lowest node from node 2 up at or above z (0-based j).
  std::int32_t j = 1;
  while (j < nnv - 1 && h[j] < z) ++j;
  const float w = (z - h[j - 1]) / (h[j] - h[j - 1]);
  const float w1 = 1.0f - w;
  u = w * uu[j] + w1 * uu[j - 1];
  v = w * vv[j] + w1 * vv[j - 1];
}

// The one-packet move of packets first..last-1 (0-based), in order, on any
// grid: x + (dt u rounded to single precision), y likewise; stops the run
// at a packet above the top node.
void movePlain(float* x, float* y, const float* z, double dt, std::int32_t first,
               std::int32_t last, std::int32_t nnv, const float* heightnodes, const float* uu,
               const float* vv);

constexpr int MAXFASTNODES = 25;  // largest node count the block kernels take

// The node grid prepared for the block kernels: per segment s (between
// nodes s and s+1, 0-based) its lower height, its thickness and the
// velocities at both ends, as the one-packet profile reads them.
struct NodeSegments {
  const float* heightnodes;           // the grid and node velocities, m and m/s, as given
  const float* uu;
  const float* vv;
  std::int32_t nnv;                   // number of nodes
  float bottom;                       // height of the bottom node, m
  float top;                          // height of the top node, m
  std::int32_t nfours;                // groups of four interior nodes, the last filled up
  // Heights of nodes 2..nnv-1 (m), each repeated over eight lanes, then
  // infinite heights up to a whole group of four (below no packet).
  alignas(32) float interior[MAXFASTNODES + 3][8];
  // Per segment, 8 floats: lower height, thickness (m); u and v at the
  // lower and upper node (m/s), as ulo, uhi, vlo, vhi; two unused.
  alignas(32) float seg[MAXFASTNODES][8];
  // The same values by kind, 32 segments a kind (0 past the last): hlo,
  // dh, ulo, uhi, vlo, vhi, for the lookups in registers (eight segments
  // a register with AVX2, sixteen with AVX-512).
  alignas(64) float kind[6][32];
};

// Fills `s` from the grid and node velocities; false when the block
// kernels cannot take the grid (fewer than 2 or more than MAXFASTNODES
// nodes, or heights that do not increase strictly), and the one-packet
// loop must be used. Called by MOVEHORIZ once per step.
bool prepareNodeSegments(std::int32_t nnv, const float* heightnodes, const float* uu,
                         const float* vv, NodeSegments& s);

// Moves packets first..last-1 (0-based) by dt seconds, whole blocks of
// eight (or four) packets, until a block holds a packet above the top
// node or fewer packets than a block are left. Returns the first packet
// not moved: the start of that block, or of the rest. Run by the threads
// of MOVEHORIZ on their shares.
std::int32_t moveBlocks(const NodeSegments& s, float* x, float* y, const float* z, double dt,
                        std::int32_t first, std::int32_t last);

// Moves packets first..last-1: whole blocks, then the packets left over one
// by one (the one-packet profile for each). Returns last, or the start of the first block
// (or of the rest) that holds a packet above the top node, from which on
// nothing was moved: the caller stops the run there with the one-packet
// move. Run by the threads of MOVEHORIZ and PLACEANDMOVE on their shares.
std::int32_t moveShare(const NodeSegments& s, float* x, float* y, const float* z, double dt,
                       std::int32_t first, std::int32_t last);

// The one-packet move (movePlain on the prepared grid) of packets
// first..last-1; stops the run at a packet above the top node.
void moveOneByOne(const NodeSegments& s, float* x, float* y, const float* z, double dt,
                  std::int32_t first, std::int32_t last);
