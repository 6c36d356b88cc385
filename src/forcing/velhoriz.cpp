// The velocity profile, piecewise linear in height between the nodes, and
// the horizontal advection of the packets with it.
#include "forcing/velhoriz.hpp"

#include "config/units.hpp"
#include "driver/stop.hpp"
#include "driver/workers.hpp"
#include "forcing/movekernels.hpp"
#include "state/vornio.hpp"

namespace {

// A height above the top node: the vertical positioning should never
// place a packet there.
[[noreturn]] __attribute__((noinline, cold)) void aboveTheGrid(float z, float zmax) {
  rio::listWrite(VORNIO.outunit, "VelHoriz: Big Trouble.  z zmax", z, zmax);
  rio::listWrite(VORNIO.logunit, "VelHoriz: Big Trouble.  z zmax", z, zmax);
  stopOnError();
}

// The profile at z: zero below the bottom node, the linear interpolation
// between the two nodes around z otherwise.
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

}  // namespace

// Velocity (u, v) at height z from the node velocities uu, vv on the grid
// heightnodes(1..nnv); zero below the bottom node; a height above the top
// node stops the run. Used by MOVEHORIZ for every packet.
void VELHORIZ(float& u, float& v, float z, const float* uu, const float* vv,
              const float* heightnodes, std::int32_t nnv) {
  profileAt(u, v, z, uu, vv, heightnodes, nnv);
}

namespace {

// The one-packet move of packets first..last-1 (0-based), in order; stops
// the run at a packet above the top node.
void movePlain(float* x, float* y, const float* z, std::int32_t first, std::int32_t last, double dt,
               std::int32_t nnv, const float* heightnodes, const float* uu, const float* vv) {
  for (std::int32_t i = first; i < last; ++i) {
    float u;
    float v;
    profileAt(u, v, z[i], uu, vv, heightnodes, nnv);
    x[i] = x[i] + static_cast<float>(dt * u);
    y[i] = y[i] + static_cast<float>(dt * v);
  }
}

NodeSegments SEGMENTS;  // the grid of the current step, for the block kernels

// One thread's share; `stopped` is the first packet not moved (hi when
// all were).
struct MovePass {
  float* x;
  float* y;
  const float* z;
  std::int32_t ktotal;
  double dt;
  std::int32_t stopped[MAXTHREADS];
  std::int32_t end[MAXTHREADS];

  void operator()(int part, int nparts) {
    std::int32_t lo;
    std::int32_t hi;
    partRange(0, ktotal, part, nparts, lo, hi);
    end[part] = hi;
    stopped[part] = moveShare(SEGMENTS, x, y, z, dt, lo, hi);
  }
};

}  // namespace

// Moves packets 1..ktotal of the position arrays by dt seconds with the
// velocity at their heights (x, y change, z and ktotal do not). Called by
// the driver at every advection step with packets, after the vertical
// positioning, with the velocities at the middle of the step. Blocks of
// packets go through the block kernels on the worker threads; a packet
// above the top node stops the run with the message of the one-packet
// move, after the packets before it have moved (with several threads,
// packets of later shares may have moved too: the run ends there).
void MOVEHORIZ(float* x, float* y, const float* z, std::int32_t ktotal, double dt,
               std::int32_t nnv, const float* heightnodes, const float* uu, const float* vv) {
  if (ktotal <= 0) return;
  if (!prepareNodeSegments(nnv, heightnodes, uu, vv, SEGMENTS)) {
    movePlain(x, y, z, 0, ktotal, dt, nnv, heightnodes, uu, vv);
    return;
  }
  MovePass pass{x, y, z, ktotal, dt, {}, {}};
  forEachPart(pass);
  for (int p = 0; p < workerCount(); ++p) {
    if (pass.stopped[p] < pass.end[p]) {
      movePlain(x, y, z, pass.stopped[p], pass.end[p], dt, nnv, heightnodes, uu, vv);
    }
  }
}
