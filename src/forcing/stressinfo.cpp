// The bottom stress series: friction velocities (and the height of the
// layer boundary of the two-layer model) one row per velocity update, and
// their interpolation in time within an update interval.
#include "forcing/stressinfo.hpp"

#include <cmath>
#include <cstdint>
#include <string>

#include "forcing/forcingfile.hpp"
#include "rio/nextpointer.hpp"
#include "rio/units.hpp"
#include "runtime/stop.hpp"
#include "state/friction.hpp"
#include "state/timeunits.hpp"
#include "state/vornio.hpp"

namespace {

// How far the start record may lie from the start time, s: the same as
// for the velocity series.
constexpr double kTimeTolerance = static_cast<double>(0.015f) * 3600.0;

// Friction values a row supplies: ncol - 1, at most the three a record
// holds (further columns are skipped).
std::int32_t valuesPerRow(std::int32_t ncol) {
  if (ncol < 1) return 0;
  return ncol - 1 > 3 ? 3 : ncol - 1;
}

void readRow(float& t, float* us) { readStressRow(FRICTIONIN.fricunit, STRESSMID.ncol, t, us); }

// One free-format write of a text, the record time and the friction values.
void writeRecordLine(const char* text, const float* us) {
  rio::ListWriter w(VORNIO.logunit);
  w << text << STRESSMID.t1;
  for (std::int32_t k = 0; k < valuesPerRow(STRESSMID.ncol); ++k) w << us[k];
  w.end();
}

// Start-up: opens the file, checks its columns against the friction model
// and reads up to the record at time0, which must lie within the tolerance.
void openSeries(float* us, double time0, double dtvu, std::int32_t nfricp) {
  const std::int32_t out = VORNIO.outunit;
  const std::int32_t log = VORNIO.logunit;
  FrictioninRecord& fin = FRICTIONIN;
  StressmidRecord& s = STRESSMID;

  rio::listWrite(log, "StressInfo1.  Initialize");
  rio::listWrite(out, "StressInfo1.  Initialize");
  fin.fricunit = VORNIO.nextunit;
  VORNIO.nextunit = NEXTPOINTER(fin.fricunit);
  if (!rio::tryOpenUnit(fin.fricunit, fin.fricfile.trimmed(), rio::FileStatus::old,
                       "bottom friction file")) {
    const rio::Problem problem(rio::Severity::error, "friction");
    rio::listWrite(out, std::string("Error opening the file") + std::string(fin.fricfile.view()));
    stopOnError();
  }
  SCANHEADER(fin.fricunit, fin.fricfile.trimmed());
  std::int32_t year = 0;
  READSERIESPREAMBLE(fin.fricunit, year, s.ncol);
  checkStressColumns(s.ncol, nfricp);

  const double tstart = time0 - 0.5 * dtvu;
  rio::listWrite(log, time0, dtvu, tstart);
  float t = -1.0e36f;
  while (t < tstart) readRow(t, us);
  if (std::fabs(t - time0) > kTimeTolerance) {
    const rio::Problem problem;
    rio::listWrite(log, "Time stamp of Stress varies from velocity!!!!");
    rio::listWrite(out, "Time stamp of Stress varies from velocity!!!!");
    stopOnError();
  }
  s.t1 = t;
  rio::listWrite(log, "Velocity Update time step that vorn is using", dtvu);
  rio::listWrite(log, "First stress record to use ");
  writeRecordLine("t,us", us);
}

}  // namespace

void checkStressColumns(std::int32_t ncol, std::int32_t nfricp) {
  const std::int32_t out = VORNIO.outunit;
  const std::int32_t log = VORNIO.logunit;
  if (nfricp == 0 && ncol < 2) {
    const rio::Problem problem;
    rio::listWrite(out, "StressInfo1: Not enough columns, ncol = ", ncol);
    rio::listWrite(log, "Not enough columns, ncol = ", ncol);
    stopOnError();
  }
  if ((nfricp == -1 && ncol < 3) || (nfricp == -2 && ncol < 4)) {
    const rio::Problem problem;
    rio::listWrite(out, "StressInfo1: Not enough columns, ncol= ", ncol);
    rio::listWrite(log, "Not enough columns, ncol= ", ncol);
    stopOnError();
  }
}

void readStressRow(std::int32_t unit, std::int32_t ncol, float& t, float* us) {
  const std::int32_t n = valuesPerRow(ncol);
  rio::ListTarget targets[4] = {rio::target(t)};
  for (std::int32_t k = 0; k < n; ++k) targets[k + 1] = rio::target(us[k]);
  rio::listReadTargets(unit, targets, static_cast<std::size_t>(n + 1));
  t = daysToSeconds(t);
}

// Friction values of the next stress record into us(1..3) (zeros beyond
// ncol - 1): flag 0 opens the series named in FRICTIONIN and finds the
// record at time0 (already moved onto the velocity records); flag i reads
// the row of velocity update i. Every failure stops the run; errorcode ends
// at 0. Called by the driver when nfricp <= 0: at start-up after VELINFO,
// and at every velocity update before it.
void STRESSINFO(float* us, double time0, double dtvu, std::int32_t flag, std::int32_t& errorcode,
                std::int32_t nfricp) {
  us[0] = 0;
  us[1] = 0;
  us[2] = 0;
  if (flag == 0) {
    openSeries(us, time0, dtvu, nfricp);
  } else {
    readRow(STRESSMID.t1, us);
    if (flag == 1) {
      rio::listWrite(VORNIO.logunit, "Second stress record to use ");
      writeRecordLine("t,us", us);
    }
  }
  writeRecordLine("TUs", us);
  errorcode = 0;
}

// A friction value at time t into an interval of dt seconds between the
// values a (at its start) and b (at its end); no clamping. Called by the
// driver for each element of the friction triple at every step with packets.
float INTERPSCALAR(float a, float b, double t, double dt) {
  const float w = static_cast<float>(t / dt);
  return (1.0f - w) * a + w * b;
}
