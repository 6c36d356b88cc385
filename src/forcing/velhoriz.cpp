// The velocity profile, piecewise linear in height between the nodes, and
// the horizontal advection of the packets with it.
#include "forcing/velhoriz.hpp"

#include "forcing/movekernels.hpp"
#include "runtime/workers.hpp"

// Velocity (u, v) at height z from the node velocities uu, vv on the grid
// heightnodes(1..nnv); zero below the bottom node; a height above the top
// node stops the run. Used by MOVEHORIZ for every packet.
void VELHORIZ(float& u, float& v, float z, const float* uu, const float* vv,
              const float* heightnodes, std::int32_t nnv) {
  profileAt(u, v, z, uu, vv, heightnodes, nnv);
}

namespace {

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
    movePlain(x, y, z, dt, 0, ktotal, nnv, heightnodes, uu, vv);
    return;
  }
  MovePass pass{x, y, z, ktotal, dt, {}, {}};
  forEachPart(pass);
  for (int p = 0; p < workerCount(); ++p) {
    if (pass.stopped[p] < pass.end[p]) {
      movePlain(x, y, z, dt, pass.stopped[p], pass.end[p], nnv, heightnodes, uu, vv);
    }
  }
}
