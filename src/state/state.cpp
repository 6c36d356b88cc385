// The one instance of every state record. All start zeroed (the large
// arrays live in zero-initialised static storage).
#include <algorithm>
#include <iterator>

#include "state/bblran.hpp"
#include "state/friction.hpp"
#include "state/heights.hpp"
#include "state/outputs.hpp"
#include "state/packets.hpp"
#include "state/pdfvi.hpp"
#include "state/release.hpp"
#include "state/rouse.hpp"
#include "state/settling.hpp"
#include "state/shuffling.hpp"
#include "state/timing.hpp"
#include "state/velinfo.hpp"
#include "state/vornio.hpp"
#include "state/vornprog.hpp"

VornioRecord VORNIO;
VornprogRecord VORNPROG;
BblranRecord BBLRAN;
TiminginRecord TIMINGIN;
TimingmidRecord TIMINGMID;
ShufflinginRecord SHUFFLINGIN;
ShufflingmidRecord SHUFFLINGMID;
FrictioninRecord FRICTIONIN;
FrictionmidRecord FRICTIONMID;
StressmidRecord STRESSMID;
SettlinginRecord SETTLINGIN;
SettlingmidRecord SETTLINGMID;
ReleaseinRecord RELEASEIN;
DischargeRecord DISCHARGE;
HeigthsRecord HEIGTHS;
VelinfoinRecord VELINFOIN;
VelinfomidRecord VELINFOMID;
VelocitymidRecord VELOCITYMID;
VelseriesmidRecord VELSERIESMID;
RouseRecord ROUSE;
PacketsRecord PACKETS;
PositionsRecord POSITIONS;
RanksRecord RANKS;
PdfviRecord PDFVI;
SedinRecord SEDIN;
VelinRecord VELIN;
StatsinRecord STATSIN;
PackinRecord PACKIN;
ContrinRecord CONTRIN;
ContrmapinRecord CONTRMAPIN;
BiologyinRecord BIOLOGYIN;
ControuthRecord CONTROUTH;
ContrmapoutRecord CONTRMAPOUT;
BiologyoutRecord BIOLOGYOUT;
ContrmapworkRecord CONTRMAPWORK;
BiologymidRecord BIOLOGYMID;

#include "state/reset.hpp"

// Every record back to its start values (the random package has its own
// reset). A run does this once, implicitly, at program start; tests that
// run the program in-process call it between runs.
void resetAllState() {
  VORNIO = VornioRecord{};
  VORNPROG = VornprogRecord{};
  BBLRAN = BblranRecord{};
  TIMINGIN = TiminginRecord{};
  TIMINGMID = TimingmidRecord{};
  SHUFFLINGIN = ShufflinginRecord{};
  SHUFFLINGMID = ShufflingmidRecord{};
  FRICTIONIN = FrictioninRecord{};
  FRICTIONMID = FrictionmidRecord{};
  STRESSMID = StressmidRecord{};
  SETTLINGIN = SettlinginRecord{};
  SETTLINGMID = SettlingmidRecord{};
  RELEASEIN = ReleaseinRecord{};
  DISCHARGE = DischargeRecord{};
  HEIGTHS = HeigthsRecord{};
  VELINFOIN = VelinfoinRecord{};
  VELINFOMID = VelinfomidRecord{};
  VELOCITYMID = VelocitymidRecord{};
  VELSERIESMID = VelseriesmidRecord{};
  ROUSE = RouseRecord{};
  PACKETS = PacketsRecord{};
  std::fill(std::begin(POSITIONS.x), std::end(POSITIONS.x), 0.0f);
  std::fill(std::begin(POSITIONS.y), std::end(POSITIONS.y), 0.0f);
  std::fill(std::begin(POSITIONS.z), std::end(POSITIONS.z), 0.0f);
  std::fill(std::begin(RANKS.ranks), std::end(RANKS.ranks), 0.0f);
  PDFVI = PdfviRecord{};
  SEDIN = SedinRecord{};
  VELIN = VelinRecord{};
  STATSIN = StatsinRecord{};
  PACKIN = PackinRecord{};
  CONTRIN = ContrinRecord{};
  CONTRMAPIN = ContrmapinRecord{};
  BIOLOGYIN = BiologyinRecord{};
  CONTROUTH = ControuthRecord{};
  for (auto& row : CONTRMAPOUT.cmap) std::fill(std::begin(row), std::end(row), 0.0f);
  for (auto& row : BIOLOGYOUT.biomap) std::fill(std::begin(row), std::end(row), 0.0f);
  std::fill(std::begin(BIOLOGYOUT.exposure), std::end(BIOLOGYOUT.exposure), 0.0f);
  CONTRMAPWORK.dx = CONTRMAPWORK.dy = 0.0f;
  std::fill(std::begin(CONTRMAPWORK.xg), std::end(CONTRMAPWORK.xg), 0.0f);
  std::fill(std::begin(CONTRMAPWORK.yg), std::end(CONTRMAPWORK.yg), 0.0f);
  for (auto& row : CONTRMAPWORK.countw) std::fill(std::begin(row), std::end(row), 0.0f);
  for (auto& row : CONTRMAPWORK.counti) std::fill(std::begin(row), std::end(row), 0.0f);
  for (auto& row : CONTRMAPWORK.colmap) std::fill(std::begin(row), std::end(row), 0.0f);
  BIOLOGYMID = BiologymidRecord{};
}
