#include "vertical/abrvertpos.hpp"

#include <cstdint>

#include "config/units.hpp"
#include "driver/stop.hpp"
#include "state/packets.hpp"
#include "state/pdfvi.hpp"
#include "state/vornio.hpp"

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

// Heights of packets first..last (1-based) from one table; returns the
// first packet whose rank lies above the table's top, or 0. A top that is
// not a number counts as below every rank, so the search below always
// ends at a level whose cum is at least the rank.
std::int32_t placeRange(const PdfTable& t, std::int32_t first, std::int32_t last) {
  const float* zlev = t.zlev;
  const float* cum = t.cum;
  const float zbed = 0.5f * zlev[0];
  const float bottom = cum[0];
  const float top = cum[NPDF - 1];
  const float* ranks = RANKS.ranks;
  float* z = POSITIONS.z;
  for (std::int32_t k = first; k <= last; ++k) {
    const float r = ranks[k - 1];
    if (r <= bottom) {
      z[k - 1] = zbed;
      continue;
    }
    if (!(r <= top)) return k;
    int i = 1;
    while (!(cum[i] >= r)) ++i;  // stops at the last level at the latest
    const long double z0 = zlev[i - 1];
    const long double dz = static_cast<long double>(zlev[i]) - z0;
    const long double c0 = cum[i - 1];
    const long double dc = static_cast<long double>(cum[i]) - c0;
    z[k - 1] = static_cast<float>(z0 + dz * (static_cast<long double>(r) - c0) / dc);
  }
  return 0;
}

}  // namespace

// Every live packet's height from its rank: packets 1..kbreak through
// table 1 of PDFVI, kbreak+1..ktotal through table 2 (PACKETS, RANKS ->
// POSITIONS.z). The unsuspended fraction sits at half the reference height;
// the others are interpolated linearly between levels. Called by the
// driver every step after the tables are rebuilt; stops the run on a rank
// above the top of its table.
void ABRVERTPOS2() {
  std::int32_t ktotal = PACKETS.ktotal;
  if (ktotal > KMAX) ktotal = KMAX;
  std::int32_t kbreak = PACKETS.kbreak;
  if (kbreak > ktotal) kbreak = ktotal;
  if (kbreak < 0) kbreak = 0;

  const PdfTable& t1 = PDFVI.table[0];
  const PdfTable& t2 = PDFVI.table[1];
  if (const std::int32_t k = placeRange(t1, 1, kbreak); k != 0)
    rankAboveTable1(k, RANKS.ranks[k - 1], t1.cum[NPDF - 1]);
  if (const std::int32_t k = placeRange(t2, kbreak + 1, ktotal); k != 0)
    rankAboveTable2(k, RANKS.ranks[k - 1], t2.cum[NPDF - 1]);
}
