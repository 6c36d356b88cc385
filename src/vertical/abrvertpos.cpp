#include "vertical/abrvertpos.hpp"

#include <cmath>
#include <cstdint>

#include "config/units.hpp"
#include "driver/stop.hpp"
#include "driver/workers.hpp"
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
  stopRun();
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
  stopRun();
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

}  // namespace

// Every live packet's height from its rank: packets 1..kbreak through
// table 1 of PDFVI, kbreak+1..ktotal through table 2 (PACKETS, RANKS ->
// POSITIONS.z). The unsuspended fraction sits at half the reference height;
// the others are interpolated linearly between levels. Called by the
// driver every step after the tables are rebuilt; stops the run on a rank
// above the top of its table, naming the first such packet.
void ABRVERTPOS2() {
  std::int32_t ktotal = PACKETS.ktotal;
  if (ktotal > KMAX) ktotal = KMAX;
  std::int32_t kbreak = PACKETS.kbreak;
  if (kbreak > ktotal) kbreak = ktotal;
  if (kbreak < 0) kbreak = 0;
  if (ktotal <= 0) return;

  const PdfTable& t1 = PDFVI.table[0];
  const PdfTable& t2 = PDFVI.table[1];
  if (kbreak > 0) prepareRankIndex(t1, INDEX[0]);
  if (kbreak < ktotal) prepareRankIndex(t2, INDEX[1]);

  Pass pass{kbreak, ktotal, {}};
  forEachPart(pass);
  std::int32_t k = 0;
  for (int p = 0; p < workerCount(); ++p) {
    if (pass.failed[p] != 0 && (k == 0 || pass.failed[p] < k)) k = pass.failed[p];
  }
  if (k == 0) return;
  if (k <= kbreak) rankAboveTable1(k, RANKS.ranks[k - 1], t1.cum[NPDF - 1]);
  rankAboveTable2(k, RANKS.ranks[k - 1], t2.cum[NPDF - 1]);
}
