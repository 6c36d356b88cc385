// The velocity profile, piecewise linear in height between the nodes, and
// the horizontal advection of the packets with it.
#include "forcing/velhoriz.hpp"

#include "config/units.hpp"
#include "driver/stop.hpp"
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

// Moves packets 1..ktotal of the position arrays by dt seconds with the
// velocity at their heights (x, y change, z and ktotal do not). Called by
// the driver at every advection step with packets, after the vertical
// positioning, with the velocities at the middle of the step.
void MOVEHORIZ(float* x, float* y, const float* z, std::int32_t ktotal, double dt,
               std::int32_t nnv, const float* heightnodes, const float* uu, const float* vv) {
  for (std::int32_t i = 0; i < ktotal; ++i) {
    float u;
    float v;
    profileAt(u, v, z[i], uu, vv, heightnodes, nnv);
    x[i] = x[i] + static_cast<float>(dt * u);
    y[i] = y[i] + static_cast<float>(dt * v);
  }
}
