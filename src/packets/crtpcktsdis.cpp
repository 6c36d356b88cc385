#include "packets/crtpckts.hpp"

#include <cstdint>
#include <string>

#include "forcing/forcingfile.hpp"
#include "packets/packetstore.hpp"
#include "rio/units.hpp"
#include "runtime/stop.hpp"
#include "state/release.hpp"
#include "state/timeunits.hpp"
#include "state/vornio.hpp"

namespace {

// Reads the next record of the series into the look-ahead. Returns false at
// the end of the file.
bool readDischargeRecord() {
  return readDischargeRow(RELEASEIN.pckunit, RELEASEIN.pckfile.trimmed(), DISCHARGE.distime,
                          DISCHARGE.addnum);
}

}  // namespace

bool readDischargeRow(std::int32_t unit, std::string_view name, double& distime,
                      std::int32_t& addnum) {
  double days = 0;
  std::int32_t count = 0;
  const rio::ListTarget t[] = {rio::target(days), rio::target(count)};
  std::string why;
  const rio::ReadResult r = rio::listReadStatus(unit, t, 2, &why);
  if (r == rio::ReadResult::eof) return false;
  const std::string where =
      std::string(name) + ", record " + std::to_string(rio::recordsRead(unit));
  if (r == rio::ReadResult::error) {
    ioFailure("vornv7: read error in the discharge file " + where +
              (why.empty() ? "" : ": " + why));
  }
  if (count < 0) {
    ioFailure("vornv7: negative number of packets in the discharge file " + where);
  }
  distime = daysToSeconds(days);
  addnum = count;
  return true;
}

void CRTPCKTSDIS(float* x, float* y, float* z, float* ranks, std::int32_t& ktotal, double time,
                 double, float& mtotal, float& pmass, std::int32_t iflag,
                 std::int32_t& errorcode) {
  errorcode = 0;
  const std::int32_t unit = RELEASEIN.pckunit;
  if (iflag < 0) {
    rio::listWrite(VORNIO.outunit, "Reading packet info timeseries from file:", RELEASEIN.pckfile);
    rio::openUnit(unit, RELEASEIN.pckfile.trimmed(), rio::FileStatus::old, "discharge file");
    SCANHEADER(unit, RELEASEIN.pckfile.trimmed());
    rio::listRead(unit, pmass);
    rio::listWrite(VORNIO.outunit, "packet mass (g)", pmass);
    Text<120> description;
    rio::readText(unit, description);
    rio::writeRecord(VORNIO.outunit, description.view());
    std::int32_t year = 0;
    rio::listRead(unit, year);
    rio::listWrite(VORNIO.outunit, "The Year of Discharge is", year);
    std::int32_t ncol = 0;
    rio::listRead(unit, ncol);
    if (ncol < 2) {
      const rio::Problem problem;
      rio::listWrite(VORNIO.outunit, "CrtPcktsDis: Not enough columns. ncol < 2");
      stopOnError();
    }
    if (!readDischargeRecord()) {
      ioFailure("vornv7: no data record in the discharge file " +
                std::string(RELEASEIN.pckfile.trimmed()));
    }
    ktotal = 0;
    mtotal = 0.0f;
    DISCHARGE.dismore = true;
    rio::listWrite(VORNIO.logunit, "CreatePackets.  initialize");
    rio::listWrite(VORNIO.logunit, "File name for discharge time series:");
    rio::writeRecord(VORNIO.logunit, RELEASEIN.pckfile.view());
    rio::listWrite(VORNIO.logunit, "packet mass (g):", pmass);
    rio::listWrite(VORNIO.logunit, "The Year of Discharge is:", year);
    initPacketStore(x, y, z, ranks);
    return;
  }

  if (time >= DISCHARGE.distime) {
    // Every record due by the middle of this step, in file order. The count
    // is kept in 64 bits so that no series can wrap it.
    std::int64_t n = ktotal;
    while (DISCHARGE.dismore) {
      n += DISCHARGE.addnum;
      mtotal = static_cast<float>(n) * pmass;
      const std::int32_t shown = n > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(n);
      rio::listWrite(VORNIO.logunit, "runtime,distime,ktotal,mtotal", time, DISCHARGE.distime,
                     shown, mtotal);
      if (!readDischargeRecord()) {
        // The end of the series: the driver's own check after the call
        // catches a count beyond the store.
        DISCHARGE.dismore = false;
        ktotal = shown;
        return;
      }
      if (time < DISCHARGE.distime) break;
    }
    checkPacketCapacity(n, time);
    ktotal = static_cast<std::int32_t>(n);
  }
  checkPacketCapacity(ktotal, time);
}
