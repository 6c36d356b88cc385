// The run as a whole, without the model: the release replayed over the
// run's steps, the discharge series, the outputs, and values that are legal
// but suspicious.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "driver/replay.hpp"
#include "forcing/forcingfile.hpp"
#include "output/controut.hpp"
#include "output/outfileopen.hpp"
#include "output/output.hpp"
#include "packets/crtpckts.hpp"
#include "rio/units.hpp"
#include "state/friction.hpp"
#include "state/heights.hpp"
#include "state/limits.hpp"
#include "state/outputs.hpp"
#include "state/packets.hpp"
#include "state/release.hpp"
#include "state/settling.hpp"
#include "state/pdfvi.hpp"
#include "state/shuffling.hpp"
#include "state/timing.hpp"
#include "state/vornio.hpp"
#include "vertical/pdfcompute.hpp"
#include "vertical/sedfcns.hpp"
#include "vorncheck/context.hpp"

namespace vorncheck {
namespace {

// Fewer packets than this make the concentrations noise: a sampling
// cylinder that holds a tenth of the cloud then counts fewer than 100
// packets, a counting error (1/sqrt(n)) above 10 % on every value.
constexpr long long kFewPackets = 1000;

std::string hours(double s) { return num(s / 3600.0, 6) + " h"; }
std::string percent(double x) { return num(x, 2) + " %"; }

bool on(double dtout) { return dtout > kOutputOff; }

struct DischargeRow {
  long long line;
  double t;
  std::int32_t n;
};

// The discharge rows, read as CRTPCKTSDIS reads them; the year of its
// header goes to the context's years.
bool readDischarge(Context& c, Walk& w, std::vector<DischargeRow>& rows) {
  const std::string file(RELEASEIN.pckfile.trimmed());
  const int unit = freeUnit();
  if (unit == 0) return false;
  const bool ok = w.stage([&] {
    rio::openUnit(unit, file, rio::FileStatus::old, "discharge file");
    SCANHEADER(unit, file);
    float pmass = 0;
    Text<120> description;
    std::int32_t year = 0, ncol = 0;
    rio::listRead(unit, pmass);
    rio::readText(unit, description);
    rio::listRead(unit, year);
    c.years.push_back({file, rio::recordsRead(unit), year});
    rio::listRead(unit, ncol);
    DischargeRow r{};
    while (readDischargeRow(unit, file, r.t, r.n)) {
      r.line = rio::recordsRead(unit);
      rows.push_back(r);
    }
  });
  rio::closeUnit(unit);
  return ok;
}

void dischargeSeries(Context& c, bool& overStore) {
  Walk& w = c.walk;
  std::vector<DischargeRow> rows;
  if (!readDischarge(c, w, rows)) return;
  const std::string file(RELEASEIN.pckfile.trimmed());
  const double start = TIMINGIN.time0;
  const double firstMiddle = start + 0.5 * TIMINGMID.dtact;
  const double lastMiddle = start + c.nvu * TIMINGIN.dtvu - 0.5 * TIMINGMID.dtact;
  long long total = 0;
  long long before = 0, beforePackets = 0, after = 0, afterPackets = 0;
  const DischargeRow* firstBefore = nullptr;
  const DischargeRow* firstAfter = nullptr;
  double latest = -1e300;  // the latest day of the rows so far
  const DischargeRow* latestRow = nullptr;
  for (std::size_t j = 0; j < rows.size(); ++j) {
    const DischargeRow& r = rows[j];
    if (latestRow != nullptr && r.t < latest) {
      // The program applies the rows in file order: a row of an earlier day
      // than one before it is released with that one. One message for each.
      w.add(Level::error, file, r.line,
            "the dump of day " + day(r.t) + " comes after the one of day " + day(latest) +
                " (line " + std::to_string(latestRow->line) +
                "): the program applies the rows in file order and would release it with that "
                "later dump, not on its own day; put the rows in time order");
    }
    const bool misplaced = latestRow != nullptr && r.t < latest;
    if (!misplaced) {
      latest = r.t;
      latestRow = &r;
    }
    if (r.t > lastMiddle && !misplaced) {
      if (!firstAfter) firstAfter = &r;
      ++after;
      afterPackets += r.n;
      continue;
    }
    if (r.t < start - TIMINGIN.dtvu && !misplaced) {
      if (!firstBefore) firstBefore = &r;
      ++before;
      beforePackets += r.n;
    }
    const long long was = total;
    total += r.n;
    if (was <= KMAX && total > KMAX) {
      overStore = true;
      w.add(Level::error, file, r.line,
            "the discharge series adds up to " + std::to_string(total) + " packets by day " +
                day(r.t) + ", more than the packet store holds (KMAX = " + std::to_string(KMAX) +
                "): the run stops with \"Too many packets\"");
    }
  }
  if (rows.empty()) return;  // the program's own set-up reports it
  if (firstBefore) {
    w.add(Level::warning, file, firstBefore->line,
          std::to_string(before) + " record(s) with " + std::to_string(beforePackets) +
              " packets lie more than one velocity update before the run's start (day " +
              day(start) + "): they are all released at the first step, day " + day(firstMiddle));
  }
  if (firstAfter) {
    w.add(Level::warning, file, firstAfter->line,
          std::to_string(after) + " record(s) with " + std::to_string(afterPackets) +
              " packets lie after the middle of the run's last step (day " + day(lastMiddle) +
              "): they are never released");
  }
}

}  // namespace

void checkRelease(Context& c) {
  Walk& w = c.walk;
  if (!c.timingOk || !c.releaseOk || c.nvu < 1) return;
  bool overStore = false;
  if (RELEASEIN.btype == 0) dischargeSeries(c, overStore);

  // The release replayed over the run's steps, and the output schedule.
  const std::size_t before = c.check.findings.size();
  long long skipped = 0;
  long long events = 0;
  double firstPackets = -1;
  const double interval[6] = {SEDIN.dtout, VELIN.dtout, STATSIN.dtout,
                              PACKIN.dtout, CONTRIN.dtout, CONTRMAPIN.dtout};
  std::int32_t last = 0;
  c.replayed = w.stage([&] {
    REPLAYSTEPS(c.nvu, [&] {
      const std::int32_t k = PACKETS.ktotal;
      if (k > last) ++events;
      last = k;
      if (k > KMAX) return false;
      if (k <= 0) {
        ++skipped;
        return true;
      }
      if (firstPackets < 0) firstPackets = TIMINGMID.time;
      const float e = static_cast<float>(TIMINGMID.timef - TIMINGIN.time0);
      for (int kind = 0; kind < 6; ++kind) {
        if (OUTPUTDUE(e, interval[kind])) ++c.due[kind];
      }
      return true;
    });
  });
  c.finalPackets = PACKETS.ktotal;
  if (overStore) {
    // The series check named the record; the replay's stop says the same.
    auto& f = c.check.findings;
    f.erase(std::remove_if(f.begin() + static_cast<std::ptrdiff_t>(before), f.end(),
                           [](const Finding& x) {
                             return x.message.find("Too many packets") != std::string::npos;
                           }),
            f.end());
  }
  if (!c.replayed) return;

  if (PACKETS.ktotal <= 0) {
    w.addAt(Level::warning, "release",
            "no packet is released during the run: every step is skipped and the outputs "
            "stay empty");
  } else if (skipped > 0 && skipped >= TIMINGMID.nadv) {
    // Fewer skipped steps than an update holds are the first dump's time
    // within the first update: the start cannot come closer to it.
    w.addAt(Level::warning, "release",
            "the first packets are released on day " + day(firstPackets) + ": the " +
                std::to_string(skipped) +
                " advection steps before are skipped (\"ktotal <= 0 after CrtPckts.\")");
  }

  if (RELEASEIN.btype != 0) {
    const ReleaseinRecord& r = RELEASEIN;
    const Record* rec = w.record("release");
    if (rec && rec->values.size() > 2 && rec->values[2].number &&
        rec->values[2].x * 3600.0 < TIMINGMID.dtact && r.reldur > 0) {
      w.addAt(Level::warning, "release",
              "the add interval addint (" + num(rec->values[2].x) +
                  " h) is shorter than the advection step; the program raises it to " +
                  hours(TIMINGMID.dtact));
    }
    const long long npack = r.npack;
    const long long got = PACKETS.ktotal;
    if (got < npack && npack > 0) {
      const std::int64_t nev = STEADYEVENTS();
      const long long addnum = DISCHARGE.addnum;
      std::string m = "the steady release adds " + std::to_string(addnum) + " packets per event";
      if (nev > 1) {
        m += " (npack / (nrel + 1) = " + std::to_string(npack) + " / " + std::to_string(nev) +
             ", truncated), one event every " + hours(r.addint);
      }
      m += "; by the end of the run " + std::to_string(events) + " event(s) have put " +
           std::to_string(got) + " of the " + std::to_string(npack) + " packets in: " +
           percent(100.0 * static_cast<double>(npack - got) / static_cast<double>(npack)) +
           " of the mass (relmass) never enters the run";
      if (addnum * nev < npack) {
        m += " (the last " + std::to_string(npack - addnum * nev) +
             " packets would need an event after the release duration)";
      }
      w.addAt(Level::warning, "release", m);
    }
  }
}

void checkOutputs(Context& c) {
  Walk& w = c.walk;
  if (!c.outputsRead) return;
  struct Kind {
    const char* key;
    double dtout;
    std::int32_t unit;
    bool writes;
  };
  const Kind kinds[] = {
      {"sediment", SEDIN.dtout, SEDIN.unit, on(SEDIN.dtout)},
      {"velocity", VELIN.dtout, VELIN.unit, on(VELIN.dtout)},
      {"statistics", STATSIN.dtout, STATSIN.unit, on(STATSIN.dtout)},
      {"packets", PACKIN.dtout, PACKIN.unit, on(PACKIN.dtout)},
      {"concentration", CONTRIN.dtout, CONTRIN.unit, CONTRIN.writeconc},
      {"map", CONTRMAPIN.dtout, CONTRMAPIN.unit, CONTRMAPIN.writemap},
      {"biology", BIOLOGYIN.dtbio, BIOLOGYIN.unit, on(BIOLOGYIN.dtbio)},
      {"biology_map", BIOLOGYIN.dtbiomap, BIOLOGYIN.mapunit, on(BIOLOGYIN.dtbiomap)},
  };
  const double dtact = TIMINGMID.dtact;
  const double span = c.nvu * TIMINGIN.dtvu;
  for (int k = 0; k < 8; ++k) {
    const Kind& o = kinds[k];
    if (o.writes && o.unit != 0) {
      const std::string f = rio::unitFileName(o.unit);
      auto& files = c.check.summary.files;
      if (!f.empty() && std::find(files.begin(), files.end(), f) == files.end()) files.push_back(f);
    }
    if (!on(o.dtout)) continue;
    const std::string rec = std::string(o.key) + ".interval";
    const double r = o.dtout / dtact;
    if (std::fabs(r - std::round(r)) > 1e-6 * std::max(1.0, r)) {
      w.addAt(Level::warning, rec,
              "the interval " + hours(o.dtout) + " is not a whole number of advection steps (" +
                  hours(dtact) + "): the records fall on the steps after each multiple, at "
                  "uneven times");
    }
    if (k < 6 && o.writes && c.replayed && c.due[k] == 0) {
      w.addAt(Level::warning, rec,
              "the output writes no record: its interval (" + hours(o.dtout) +
                  ") is longer than the steps of the run that have packets (the run lasts " +
                  hours(span) + ")");
    }
  }

  // Sampling layers that give no or no sensible concentration.
  const float hmax = HEIGTHS.hmax;
  const auto layer = [&](const std::string& rec, float zlow, float ztop) {
    if (zlow > ztop) {
      w.addAt(Level::error, rec,
              "the sampling layer is upside down (zlow " + num(zlow) + " m above ztop " +
                  num(ztop) + " m): its concentrations come out negative");
    } else if (zlow >= hmax) {
      w.addAt(Level::warning, rec,
              "the sampling layer (" + num(zlow) + " to " + num(ztop) +
                  " m) lies at or above the top of the sediment profile (hmax " + num(hmax) +
                  " m): its concentration is always 0");
    }
  };
  if (on(STATSIN.dtout)) layer("statistics.cylinder", STATSIN.zlow, STATSIN.ztop);
  if (std::fabs(CONTRIN.dtout) > kOutputOff) {
    for (std::int32_t i = 0; i < std::min<std::int32_t>(CONTRIN.ctotal, CMAX); ++i) {
      layer("concentration.point." + std::to_string(i + 1), CONTRIN.zlow[i], CONTRIN.ztop[i]);
    }
  }
  if (std::fabs(CONTRMAPIN.dtout) > kOutputOff) {
    layer("map.grid", CONTRMAPIN.zlow, CONTRMAPIN.ztop);
    if (const Record* g = w.record("map.grid")) {
      for (std::size_t f : {std::size_t{0}, std::size_t{3}}) {
        if (f < g->values.size() && g->values[f].number && g->values[f].x > MAPMAX) {
          w.addAt(Level::warning, "map.grid",
                  g->fields[f] + " = " + g->values[f].json + " is more than MAPMAX (" +
                      std::to_string(MAPMAX) + "): the program takes " + std::to_string(MAPMAX) +
                      " grid points without a word");
        }
      }
    }
  }
  // Biology without its concentrations.
  if (on(BIOLOGYIN.dtbio) && CONTRIN.ctotal <= 0) {
    w.stage([&] {
      float result[CMAX];
      CNCENTR1(CONTRIN.xpt, CONTRIN.ypt, CONTRIN.radius, CONTRIN.zlow, CONTRIN.ztop, result,
               CONTRIN.ctotal);
    });
  }
  if (on(BIOLOGYIN.dtbiomap) && CONTRMAPIN.nx <= 0) {
    w.addAt(Level::warning, "biology_map.interval",
            "the biology map is asked for without the concentration map: it has no cells and "
            "its file stays empty");
  }
}

namespace {

// Calls f(name, w) for each settling velocity the run uses (the initial
// one, and those of the large and small flocs when the flocs break up)
// that the read of its record set: a value left unset is not a zero.
template <class F>
void forSettlingInUse(Walk& w, F f) {
  const Record* settling = w.record("settling");
  if (!settling) return;
  const SettlinginRecord& s = SETTLINGIN;
  const std::pair<const char*, float> classes[] = {
      {"iniwstar", s.iniwstar}, {"bigwstar", s.bigwstar}, {"litwstar", s.litwstar}};
  for (int k = 0; k < (s.breakupus > 0 ? 3 : 1); ++k) {
    if (static_cast<std::size_t>(k) < settling->values.size() && settling->values[k].number) {
      f(std::string(classes[k].first), classes[k].second);
    }
  }
}

}  // namespace

void checkSuspicious(Context& c) {
  Walk& w = c.walk;
  const SettlinginRecord& s = SETTLINGIN;
  const float kappa = FRICTIONIN.kappa;
  if (w.record("settling")) {
    forSettlingInUse(w, [&](const std::string& name, float wk) {
      if (wk == 0.0f) {
        w.addAt(Level::warning, "settling",
                "the settling velocity " + name +
                    " is 0: its Rouse number is 0 at any friction and its sediment is spread "
                    "evenly up to hmax");
      }
    });
    if (c.ustarMax > 0 && kappa > 0 && s.iniwstar > 0) {
      const float prandtl = FRICTIONIN.nfricp == -2 ? 0.74f : 1.0f;
      const float rouse =
          ROUSENUM(s.iniwstar, kappa, static_cast<float>(c.ustarMax), prandtl);
      if (rouse > 5.0f) {
        w.addAt(Level::warning, "settling",
                "the Rouse number of the initial settling velocity (iniwstar " +
                    num(s.iniwstar) + " m/s) is " + num(rouse, 3) +
                    " even at the largest friction velocity of the run (" + num(c.ustarMax, 4) +
                    " m/s on day " + day(c.ustarMaxDay) +
                    "): above 5 the sediment hardly rises off the bed");
      }
    }
  }
  if (c.finalPackets > 0 && c.finalPackets < kFewPackets) {
    w.addAt(Level::warning, "release",
            "only " + std::to_string(c.finalPackets) +
                " packets enter the run: a sampling cylinder that holds a tenth of them counts " +
                "fewer than 100, and every concentration carries a counting noise above 10 %");
  }
}

namespace {

// The profile table of settling velocity `w` at the friction `f`, built as
// the driver builds it for the friction model.
PdfTable profileAt(float w, const Friction& f) {
  const float kappa = FRICTIONIN.kappa;
  const std::int32_t nfricp = FRICTIONIN.nfricp;
  const float sfrac = SUSPENDEDFRACTION(f.ustar, THRESHOLD());
  PdfTable t;
  if (nfricp == -2) {
    PDFCOMPUTE2(t, sfrac, ROUSENUM(w, kappa, f.ustar, 0.74f), ROUSENUM(w, kappa, f.ustarc, 0.74f),
                f.zw);
  } else {
    PDFCOMPUTE(t, sfrac, ROUSENUM(w, kappa, nfricp >= 0 ? f.ustar : f.ustarc, 1.0f));
  }
  return t;
}

// Whether the run may write `path`: an existing file it may write, or a
// new one in a folder it may write in. `why` gets the reason when not.
bool writable(const std::string& path, std::string& why) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      why = "it is a folder";
      return false;
    }
    if (::access(path.c_str(), W_OK) != 0) {
      why = "the file exists and may not be written (read-only)";
      return false;
    }
    return true;
  }
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    why = (folder == "." ? std::string("the current folder") : "its folder " + folder) +
          " may not be written";
    return false;
  }
  return true;
}

bool sameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  struct stat sa {}, sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

}  // namespace

void checkRunFailures(Context& c) {
  Walk& w = c.walk;
  // One year for every file: each counts its days from 1 January of its own.
  for (const Context::Year& y : c.years) {
    if (y.year != c.years.front().year) {
      w.add(Level::error, y.file, y.line,
            "the year " + std::to_string(y.year) + " differs from " +
                std::to_string(c.years.front().year) + " of " + c.years.front().file +
                ": the days of each file count from 1 January of its own year, so the two "
                "files' day numbers do not name the same times (the program reads every file's "
                "days as those of the velocity files)");
    }
  }
  // The water at the release point, drifting with the mean current of the
  // meters over the run: a map it leaves misses part of the plume.
  const ContrmapinRecord& m = CONTRMAPIN;
  if (c.outputsRead && on(m.dtout) && m.nx > 1 && m.ny > 1 && !c.velocity.empty()) {
    const ContrmapworkRecord& g = CONTRMAPWORK;
    const double x0 = g.xg[0], x1 = g.xg[m.nx - 1], y0 = g.yg[0], y1 = g.yg[m.ny - 1];
    double x = 0, y = 0;
    bool ok = true;
    for (const Series& s : c.velocity) ok &= s.started && s.start + c.nvu < s.rows.size();
    for (std::int32_t i = 0; ok && i < c.nvu; ++i) {
      double u = 0, v = 0;
      for (const Series& s : c.velocity) {
        u += s.rows[s.start + static_cast<std::size_t>(i)].a;
        v += s.rows[s.start + static_cast<std::size_t>(i)].b;
      }
      x += u / static_cast<double>(c.velocity.size()) * TIMINGIN.dtvu;
      y += v / static_cast<double>(c.velocity.size()) * TIMINGIN.dtvu;
      if (x < x0 || x > x1 || y < y0 || y > y1) {
        w.addAt(Level::warning, "map.grid",
                "the water at the release point leaves the map on day " +
                    day(TIMINGIN.time0 + (i + 1) * TIMINGIN.dtvu) + " (x " + num(x, 5) + " m, y " +
                    num(y, 5) + " m), drifting with the mean current of the meters: the map "
                    "misses the plume from then on");
        break;
      }
    }
  }
  const std::int32_t vmethod = SHUFFLINGIN.vmethod;
  if (w.record("vmethod") && (vmethod < 1 || vmethod > 4)) {
    w.addAt(Level::error, "vmethod",
            "the vertical shuffling method is " + std::to_string(vmethod) +
                "; the program knows 1 (none), 2 (random exchanges), 3 (a sweep of exchanges) "
                "and 4 (random redraws): the run would stop at its first step with packets "
                "(\"Unknown method\")");
  }
  // Exchanges per step: packets live times the fraction shuffled, which the
  // program holds in 32 bits; a step that needs more never ends.
  if (c.timingOk && vmethod >= 2 && vmethod <= 4 && c.finalPackets > 0) {
    const double kmix = static_cast<double>(c.finalPackets) * SHUFFLINGMID.fracmix;
    if (!(kmix < 2147483647.0)) {
      w.addAt(Level::error, "time_steps",
              "the mixing time scale dtms (" + hours(SHUFFLINGIN.dtms) +
                  ") is so short against the advection step (" + hours(TIMINGMID.dtact) +
                  ") that a step with " + std::to_string(c.finalPackets) + " packets needs " +
                  num(kmix, 4) + " exchanges, more than the 2147483647 the program counts: "
                  "the run would never end");
    }
  }
  // Settling velocities in use: a negative one, and one whose profile table
  // is not a number at some friction of the run.
  forSettlingInUse(w, [&](const std::string& name, float wk) {
    if (wk < 0.0f) {
      w.addAt(Level::warning, "settling",
              "the settling velocity " + name + " is negative (" + num(wk) +
                  " m/s): its sediment rises, and its profile grows with height");
    }
    for (const Friction& f : c.friction) {
      const PdfTable t = profileAt(wk, f);
      if (!std::isnan(t.cum[NPDF - 1])) continue;
      w.addAt(Level::error, "settling",
              "the settling velocity " + name + " (" + num(wk) +
                  " m/s) gives a profile table that is not a number at the friction of day " +
                  day(f.t) + " (u* " + num(f.ustar, 4) +
                  " m/s): the packets of its class would stop the run at its first step "
                  "(\"Fatal Error in AbR_VertPos2\")");
      break;
    }
  });
  // Biology thresholds the wrong way round.
  const BiologyinRecord& b = BIOLOGYIN;
  const auto thresholds = [&](const char* rec, double dt, float lo, float hi, const char* names) {
    if (on(dt) && w.record(rec) && lo > hi) {
      w.addAt(Level::warning, rec,
              std::string("the thresholds ") + names + " are reversed (" + num(lo) + " above " +
                  num(hi) + " g/m3): the exposure weight is then a step at the first, and the "
                  "second plays no part");
    }
  };
  thresholds("biology.thresholds", b.dtbio, b.clow, b.chigh, "clow, chigh");
  thresholds("biology_map.thresholds", b.dtbiomap, b.cmaplow, b.cmaphigh, "cmaplow, cmaphigh");

  // The files the run writes: each must be writable, and none may be the
  // progress file (the console is opened by the program's own start-up).
  if (!c.paramsRead) return;
  std::vector<std::pair<std::string, std::string>> files = {
      {std::string(VORNIO.logname.trimmed()), "log_file"}};
  if (c.outputsRead) {
    const std::pair<const char*, std::int32_t> outputs[] = {
        {"sediment", SEDIN.unit},       {"velocity", VELIN.unit},   {"statistics", STATSIN.unit},
        {"packets", PACKIN.unit},       {"concentration", CONTRIN.unit},
        {"map", CONTRMAPIN.unit},       {"biology", b.unit},        {"biology_map", b.mapunit}};
    for (const auto& [key, unit] : outputs) {
      const std::string f = unit != 0 ? rio::unitFileName(unit) : std::string();
      if (!f.empty()) files.emplace_back(f, std::string(key) + ".file");
    }
  }
  for (const auto& [file, rec] : files) {
    if (file.empty()) continue;
    if (sameFile(file, "vornprog.out")) {
      w.addAt(Level::error, rec,
              "the run writes its progress to vornprog.out, which this record names too: the "
              "run would stop at its first progress mark, writing both to one file");
    }
    std::string why;
    if (!writable(file, why)) {
      w.addAt(Level::error, rec, "the run cannot write " + file + ": " + why);
    }
  }
  std::string why;
  if (!writable("vornprog.out", why)) {
    w.add(Level::error, w.parfile(), 0, "the run cannot write its progress file vornprog.out: " + why);
  }
}

}  // namespace vorncheck
