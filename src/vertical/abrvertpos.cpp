#include "vertical/abrvertpos.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "forcing/movekernels.hpp"
#include "forcing/velhoriz.hpp"
#include "rio/units.hpp"
#include "runtime/stop.hpp"
#include "runtime/workers.hpp"
#include "state/packets.hpp"
#include "state/pdfvi.hpp"
#include "state/vornio.hpp"
#include "vertical/rankindex.hpp"

namespace {

// A packet ranked above the top of table 1 (packets 1..kbreak).
[[noreturn]] void rankAboveTable1(std::int32_t k, float rank, float maxranks) {
  rio::listWrite(VORNIO.outunit, "**Fatal Error in AbR_VertPos2: **");
  rio::listWrite(VORNIO.outunit, "See log file");
  const std::int32_t log = VORNIO.logunit;
  rio::listWrite(log);
  rio::listWrite(log, "**Fatal Error in AbR_VertPos**");
  rio::listWrite(log, "Packet has a ranks larger than largest r         ranks in table");
  rio::listWrite(log, "k,ranks(k), maxranks ", k, rank, maxranks);
  stopOnError();
}

// A packet ranked above the top of table 2 (packets kbreak+1..ktotal).
[[noreturn]] void rankAboveTable2(std::int32_t k, float rank, float maxranks) {
  rio::listWrite(VORNIO.outunit, "**Fatal Error in AbR_VertPos2: Ini**");
  rio::listWrite(VORNIO.outunit, "See log file");
  const std::int32_t log = VORNIO.logunit;
  rio::listWrite(log);
  rio::listWrite(log, "**Fatal Error in AbR_VertPos2: Ini**");
  rio::listWrite(log, "Packet has a ranks larger than largest           ranks in table");
  rio::listWrite(log, "k,ranks(k), maxranks ", k, rank, maxranks);
  stopOnError();
}

// The two tables prepared for the search, rebuilt at every call.
RankIndex INDEX[2];

// What one thread does: its share of each table's packets. Each part
// records the first packet (1-based) whose rank lies above its table's
// top, or 0; the lowest of them is the packet the search in packet order
// would have stopped at.
struct Pass {
  std::int32_t kbreak;
  std::int32_t ktotal;
  std::int32_t failed[MAXTHREADS];

  void operator()(int part, int nparts) {
    std::int32_t lo;
    std::int32_t hi;
    std::int32_t k = 0;
    partRange(0, kbreak, part, nparts, lo, hi);
    if (lo < hi) k = placeByRank(INDEX[0], lo, hi);
    if (k == 0) {
      partRange(kbreak, ktotal, part, nparts, lo, hi);
      if (lo < hi) k = placeByRank(INDEX[1], lo, hi);
    }
    failed[part] = k;
  }
};

// The first packet a pass found ranked above its table's top, or 0.
std::int32_t firstFailed(const std::int32_t* failed) {
  std::int32_t k = 0;
  for (int p = 0; p < workerCount(); ++p) {
    if (failed[p] != 0 && (k == 0 || failed[p] < k)) k = failed[p];
  }
  return k;
}

// Stops the run for packet k, ranked above the top of its table.
[[noreturn]] void rankAboveTop(std::int32_t k, std::int32_t kbreak) {
  if (k <= kbreak) rankAboveTable1(k, RANKS.ranks[k - 1], PDFVI.table[0].cum[NPDF - 1]);
  rankAboveTable2(k, RANKS.ranks[k - 1], PDFVI.table[1].cum[NPDF - 1]);
}

// The clamped packet counts, and the tables of the classes present prepared.
bool prepareTables(std::int32_t& ktotal, std::int32_t& kbreak) {
  ktotal = PACKETS.ktotal;
  if (ktotal > KMAX) ktotal = KMAX;
  kbreak = PACKETS.kbreak;
  if (kbreak > ktotal) kbreak = ktotal;
  if (kbreak < 0) kbreak = 0;
  if (ktotal <= 0) return false;
  if (kbreak > 0) prepareRankIndex(PDFVI.table[0], INDEX[0]);
  if (kbreak < ktotal) prepareRankIndex(PDFVI.table[1], INDEX[1]);
  return true;
}

NodeSegments GRID;  // the node grid of the current step, for PLACEANDMOVE

// Packets placed, then moved, this many at a time, so that the heights
// just written are still in the first-level cache when they are read.
constexpr std::int32_t kChunk = 512;

// One thread's share of PLACEANDMOVE: its part of each class, chunk by
// chunk. After a chunk holding a packet above the top node the share is
// only placed (a rank above its table's top, anywhere, comes first);
// `trouble` is where moving stopped, ktotal when it did not.
struct PlaceAndMovePass {
  std::int32_t kbreak;
  std::int32_t ktotal;
  double dt;
  std::int32_t failed[MAXTHREADS];
  std::int32_t trouble[MAXTHREADS];

  void operator()(int part, int nparts) {
    failed[part] = 0;
    trouble[part] = ktotal;
    const std::int32_t split[3] = {0, kbreak, ktotal};
    for (int t = 0; t < 2; ++t) {
      std::int32_t lo;
      std::int32_t hi;
      partRange(split[t], split[t + 1], part, nparts, lo, hi);
      for (std::int32_t c = lo; c < hi; c += kChunk) {
        const std::int32_t e = hi - c > kChunk ? c + kChunk : hi;
        failed[part] = placeByRank(INDEX[t], c, e);
        if (failed[part] != 0) return;
        if (trouble[part] == ktotal) {
          const std::int32_t m = moveShare(GRID, POSITIONS.x, POSITIONS.y, POSITIONS.z, dt, c, e);
          if (m < e) trouble[part] = m;
        }
      }
    }
  }
};

}  // namespace

// Every live packet's height from its rank: packets 1..kbreak through
// table 1 of PDFVI, kbreak+1..ktotal through table 2 (PACKETS, RANKS ->
// POSITIONS.z). The unsuspended fraction sits at half the reference height;
// the others are interpolated linearly between levels. Called by the
// driver every step after the tables are rebuilt; stops the run on a rank
// above the top of its table, naming the first such packet.
void ABRVERTPOS2() {
  std::int32_t ktotal;
  std::int32_t kbreak;
  if (!prepareTables(ktotal, kbreak)) return;
  Pass pass{kbreak, ktotal, {}};
  forEachPart(pass);
  if (const std::int32_t k = firstFailed(pass.failed); k != 0) rankAboveTop(k, kbreak);
}

// ABRVERTPOS2 and then MOVEHORIZ(x, y, z of POSITIONS, ktotal, dt, nnv,
// heightnodes, uu, vv) in one pass over the packets, each chunk placed and
// then moved while its heights are at hand. The stops are those of the two
// routines in turn: the first packet ranked above its table's top, else
// the first packet above the top node, after the packets before it have
// moved (with a rank stop, or with several threads, other packets may have
// moved as well: the run ends there). Without the AVX2 kernels, or on a
// grid the block kernels do not take, the two routines are called one
// after the other. Called by the driver at every step with packets.
void PLACEANDMOVE(double dt, std::int32_t nnv, const float* heightnodes, const float* uu,
                  const float* vv) {
  if (!wideKernels() || !prepareNodeSegments(nnv, heightnodes, uu, vv, GRID)) {
    ABRVERTPOS2();
    MOVEHORIZ(POSITIONS.x, POSITIONS.y, POSITIONS.z, PACKETS.ktotal, dt, nnv, heightnodes, uu, vv);
    return;
  }
  std::int32_t ktotal;
  std::int32_t kbreak;
  if (!prepareTables(ktotal, kbreak)) return;
  PlaceAndMovePass pass{kbreak, ktotal, dt, {}, {}};
  forEachPart(pass);
  if (const std::int32_t k = firstFailed(pass.failed); k != 0) rankAboveTop(k, kbreak);
  std::int32_t t = ktotal;
  for (int p = 0; p < workerCount(); ++p) t = std::min(t, pass.trouble[p]);
  // Every packet before t has moved and none from t on, up to the first
  // packet above the top node, which stops the run.
  if (t < ktotal) moveOneByOne(GRID, POSITIONS.x, POSITIONS.y, POSITIONS.z, dt, t, ktotal);
}
