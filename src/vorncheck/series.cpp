// The series read whole, the way the run reads them: the velocity files of
// the current meters and the bottom stress file, against the run's start,
// end and update interval, and against each other.
#include <algorithm>
#include <cmath>
#include <string>

#include "forcing/calcustar.hpp"
#include "forcing/forcingfile.hpp"
#include "forcing/stressinfo.hpp"
#include "forcing/velinfo.hpp"
#include "rio/units.hpp"
#include "state/friction.hpp"
#include "state/timing.hpp"
#include "state/velinfo.hpp"
#include "vorncheck/context.hpp"

namespace vorncheck {
namespace {

// How far apart two record times may lie and still count as one time, s:
// the tolerance of the program's own time-stamp checks.
constexpr double kTolerance = static_cast<double>(0.015f) * 3600.0;

std::string hours(double s) { return num(s / 3600.0, 6) + " h"; }

// A current speed above this is taken for an instrument's fill value, m/s.
constexpr double kFillSpeed = 5.0;

// Reads a series file whole: the header, the preamble with its column check,
// and every row up to the end of the file. `velocity` chooses the reader.
Series readSeries(Walk& w, const std::string& file, bool velocity, std::int32_t nfricp) {
  Series s;
  s.file = file;
  if (w.filesReported.count(file)) return s;
  const int unit = freeUnit();
  if (unit == 0) return s;
  s.read = w.stage([&] {
    rio::openUnit(unit, file, rio::FileStatus::old, velocity ? "velocity file" : "stress file");
    SCANHEADER(unit, file);
    std::int32_t year = 0;
    std::int32_t ncol = 0;
    READSERIESPREAMBLE(unit, year, ncol);
    s.year = year;
    s.yearLine = rio::recordsRead(unit) - 1;
    if (velocity) {
      checkVelocityColumns(ncol);
    } else {
      checkStressColumns(ncol, nfricp);
    }
    for (;;) {
      Row r;
      try {
        if (velocity) {
          readVelocityRow(unit, r.t, r.a, r.b);
        } else {
          float t = 0;
          float us[3] = {0, 0, 0};
          readStressRow(unit, ncol, t, us);
          r.t = t;
          r.a = us[0];
          r.b = us[1];
          r.c = us[2];
        }
      } catch (const IoFailure&) {
        if (w.lastResult == rio::ReadResult::eof) break;  // the end of the rows
        throw;
      }
      r.line = rio::recordsRead(unit);
      s.rows.push_back(r);
    }
  });
  rio::closeUnit(unit);
  if (!s.read) w.filesReported.insert(file);
  return s;
}

// The row the run starts on: the first at or after half an update before
// `time0` (the rule of both readers).
void findStart(Series& s, double time0, double dtvu) {
  const double tstart = time0 - 0.5 * dtvu;
  for (std::size_t j = 0; j < s.rows.size(); ++j) {
    if (s.rows[j].t >= tstart) {
      s.start = j;
      s.started = true;
      return;
    }
  }
}

// One series against the run: its start, its end, the order and spacing of
// the rows the run reads.
void coverage(Context& c, const Series& s, double time0, std::int32_t nvu, double dtvu,
              bool velocityFile) {
  Walk& w = c.walk;
  if (!s.read || w.filesReported.count(s.file)) return;
  if (s.rows.empty()) {
    w.add(Level::error, s.file, 0, "the series has no data record");
    return;
  }
  const Row& last = s.rows.back();
  if (!s.started) {
    w.add(Level::error, s.file, last.line,
          "the series ends on day " + day(last.t) + ", before the run starts on day " +
              day(time0) + ": the run would stop with an end of file at start-up");
    return;
  }
  const std::size_t needed = s.start + static_cast<std::size_t>(nvu > 0 ? nvu : 0);
  if (needed >= s.rows.size()) {
    const std::size_t have = s.rows.size() - 1 - s.start;  // updates the rows cover
    w.add(Level::error, s.file, last.line,
          "the run outlasts the series: its last record is day " + day(last.t) +
              ", the run reads one record per velocity update up to day " +
              day(time0 + nvu * dtvu) + " and would stop with an end of file at update " +
              std::to_string(have + 1) + " of " + std::to_string(nvu) + " (day " +
              day(time0 + static_cast<double>(have + 1) * dtvu) + ")");
  }
  const std::size_t end = std::min(needed, s.rows.size() - 1);
  // Every row the run reads on its clock: row n after the start is read as
  // the record of start + n dtvu. A dtvu that is not the rows' spacing
  // drifts a little at each row: the sum over the run is caught here, row by
  // row it would pass.
  for (std::size_t j = s.start + 1; j <= end; ++j) {
    const double due = s.rows[s.start].t + static_cast<double>(j - s.start) * dtvu;
    if (!(std::fabs(s.rows[j].t - due) <= kTolerance)) {
      const double spacing = (s.rows[end].t - s.rows[s.start].t) / static_cast<double>(end - s.start);
      w.add(Level::error, s.file, s.rows[j].line,
            "the record of day " + day(s.rows[j].t) + " is read at velocity update " +
                std::to_string(j - s.start) + " as the record of day " + day(due) +
                " (the start plus " + std::to_string(j - s.start) + " x dtvu): the run's clock is " +
                hours(s.rows[j].t - due) + " off the series here, as dtvu (" + hours(dtvu) +
                ") is not the rows' spacing (" + hours(spacing) + " on average)");
      break;
    }
  }
  // A speed no current meter measures on a shelf: a fill value, most likely.
  for (std::size_t j = s.start; j <= end && velocityFile; ++j) {
    const double speed = std::hypot(static_cast<double>(s.rows[j].a), static_cast<double>(s.rows[j].b));
    if (speed > kFillSpeed) {
      w.add(Level::warning, s.file, s.rows[j].line,
            "a speed of " + num(speed, 4) + " m/s on day " + day(s.rows[j].t) + ", above " +
                num(kFillSpeed) + " m/s: a fill value of the instrument, most likely, that the run "
                "would take as a current");
      break;
    }
  }
  for (std::size_t j = s.start + 1; j <= end; ++j) {
    const double gap = s.rows[j].t - s.rows[j - 1].t;
    if (gap <= 0) {
      w.add(Level::error, s.file, s.rows[j].line,
            "the record of day " + day(s.rows[j].t) + " is not later than the one before it (line " +
                std::to_string(s.rows[j - 1].line) + ", day " + day(s.rows[j - 1].t) + ")");
      return;
    }
    if (std::fabs(gap - dtvu) > kTolerance) {
      w.add(Level::warning, s.file, s.rows[j].line,
            "the records at lines " + std::to_string(s.rows[j - 1].line) + " and " +
                std::to_string(s.rows[j].line) + " are " + hours(gap) +
                " apart; the run takes consecutive records " + hours(dtvu) +
                " apart (dtvu), so from here on its forcing is out of time");
      return;
    }
  }
}

// A series against the reference series (the lowest current meter): the
// records read at the same velocity update must have one time.
void inStep(Context& c, const Series& s, const Series& ref, std::int32_t nvu, bool skipFirst) {
  Walk& w = c.walk;
  if (!s.read || !ref.read || !s.started || !ref.started) return;
  if (w.filesReported.count(s.file) || w.filesReported.count(ref.file)) return;
  for (std::int32_t i = skipFirst ? 1 : 0; i <= nvu; ++i) {
    const std::size_t a = s.start + i;
    const std::size_t b = ref.start + i;
    if (a >= s.rows.size() || b >= ref.rows.size()) return;
    if (std::fabs(s.rows[a].t - ref.rows[b].t) > kTolerance) {
      w.add(Level::error, s.file, s.rows[a].line,
            "out of step with " + ref.file + ": the record read at velocity update " +
                std::to_string(i) + " is day " + day(s.rows[a].t) + ", that of " + ref.file +
                " (line " + std::to_string(ref.rows[b].line) + ") day " + day(ref.rows[b].t));
      return;
    }
  }
}

bool reported(const Check& c, const std::string& text) {
  for (const Finding& f : c.findings) {
    if (f.message.find(text) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

void checkSeries(Context& c) {
  Walk& w = c.walk;
  const double dtvu = TIMINGIN.dtvu;
  if (!(dtvu > 0) || !c.timingOk) return;
  const std::int32_t nfricp = FRICTIONIN.nfricp;

  if (c.namesRead) {
    for (std::int32_t k = 0; k < VELINFOMID.ninterior; ++k) {
      c.velocity.push_back(readSeries(w, std::string(VELSERIESMID.velfile[k].trimmed()), true, nfricp));
      findStart(c.velocity.back(), c.time0Asked, dtvu);
    }
  }
  // The start as the run takes it: moved onto the velocity records.
  double time0 = c.velocityOk ? TIMINGIN.time0 : c.time0Asked;
  if (!c.velocityOk && !c.velocity.empty() && c.velocity[0].started) {
    time0 = c.velocity[0].rows[c.velocity[0].start].t;
  }
  if (!c.velocity.empty() && c.velocity[0].started &&
      std::fabs(time0 - c.time0Asked) > 0.5 * dtvu + kTolerance) {
    // Moved by more than an update, the start is most likely counted from
    // another year or day than the records.
    const Series& s = c.velocity[0];
    const bool far = std::fabs(time0 - c.time0Asked) > dtvu + kTolerance;
    w.addAt(far ? Level::error : Level::warning, "run_time",
            "the run starts on day " + day(time0) + ", not on day " + day(c.time0Asked) +
                " as asked: the velocity records begin on day " + day(s.rows[0].t) + " (" +
                s.file + " line " + std::to_string(s.rows[0].line) +
                ") and the program moves the start onto the nearest velocity record" +
                (far ? std::string(", more than one velocity update (") + hours(dtvu) +
                           ") away: is time0 counted from the year of the velocity files (" +
                           std::to_string(s.year) + "), day 1.0 being 1 January 00:00 UTC?"
                     : std::string()));
  }
  for (const Series& s : c.velocity) {
    coverage(c, s, time0, c.nvu, dtvu, true);
    if (s.read) c.years.push_back({s.file, s.yearLine, s.year});
  }
  const bool firstChecked = reported(c.check, "Time stamp of Velocity files varies");
  for (std::size_t k = 1; k < c.velocity.size(); ++k) {
    inStep(c, c.velocity[k], c.velocity[0], c.nvu, firstChecked);
  }

  if (nfricp <= 0 && w.record("friction")) {
    c.stress = readSeries(w, std::string(FRICTIONIN.fricfile.trimmed()), false, nfricp);
    // The stress reader finds its start in single precision.
    Series& s = c.stress;
    const double tstart = time0 - 0.5 * dtvu;
    for (std::size_t j = 0; j < s.rows.size(); ++j) {
      if (static_cast<double>(static_cast<float>(s.rows[j].t)) >= tstart) {
        s.start = j;
        s.started = true;
        break;
      }
    }
    coverage(c, s, time0, c.nvu, dtvu, false);
    if (s.read) c.years.push_back({s.file, s.yearLine, s.year});
    if (!c.velocity.empty()) {
      inStep(c, s, c.velocity[0], c.nvu,
             reported(c.check, "Time stamp of Stress varies from velocity"));
    }
  }

  // The largest friction velocity over the records the run reads.
  const auto consider = [&](double us, double t) {
    if (us > c.ustarMax) {
      c.ustarMax = us;
      c.ustarMaxDay = t;
    }
  };
  if (nfricp > 0 && !c.velocity.empty() && c.velocity[0].started) {
    const Series& s = c.velocity[0];
    for (std::size_t j = s.start; j < s.rows.size() && j <= s.start + c.nvu; ++j) {
      std::int32_t errorcode = 0;
      const float us = CALCUSTAR(s.rows[j].a, s.rows[j].b, FRICTIONIN.fricp, nfricp, errorcode);
      consider(us, s.rows[j].t);
      c.friction.push_back({s.rows[j].t, us, 0.0f, 0.0f});
    }
  } else if (nfricp <= 0 && c.stress.started) {
    const Series& s = c.stress;
    for (std::size_t j = s.start; j < s.rows.size() && j <= s.start + c.nvu; ++j) {
      // The friction velocity of the Rouse numbers: u*c with -1, both with -2.
      if (nfricp != -1) consider(s.rows[j].a, s.rows[j].t);
      if (nfricp != 0) consider(s.rows[j].b, s.rows[j].t);
      c.friction.push_back({s.rows[j].t, s.rows[j].a, s.rows[j].b, s.rows[j].c});
    }
  }
}

}  // namespace vorncheck
