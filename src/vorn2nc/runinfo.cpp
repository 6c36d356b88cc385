// What the converter knows of a run: the program's own start-up on the
// parameter file (dry), the output schedule replayed with the program's
// release and due test, and how the run ended.
#include <cstdio>
#include <deque>
#include <string>
#include <unistd.h>

#include "driver/drystartup.hpp"
#include "driver/replay.hpp"
#include "output/outfileopen.hpp"
#include "output/output.hpp"
#include "rio/units.hpp"
#include "runtime/stop.hpp"
#include "state/limits.hpp"
#include "state/outputs.hpp"
#include "state/packets.hpp"
#include "state/release.hpp"
#include "state/timing.hpp"
#include "state/velinfo.hpp"
#include "state/vornio.hpp"
#include "vorn2nc/convert.hpp"
#include "vorn2nc/textfile.hpp"

namespace vorn2nc {

void fail(const std::string& message) { throw ConvertError{"vorn2nc: " + message}; }

namespace {

bool on(double dtout) { return dtout > kOutputOff; }

// The file opened on an output's unit during start-up; empty when none was.
std::string fileOf(std::int32_t unit) { return unit != 0 ? rio::unitFileName(unit) : ""; }

// The records each output writes: the driver's steps and their times, the
// release deciding which steps have packets (a step without any writes
// nothing), and OUTPUT's own due test. Sediment and velocity records carry
// the middle of their step, the others its end. Ends where the run itself
// would stop (too many packets, a discharge series it cannot read).
void replaySchedule(Run& run) {
  const double interval[kTimedKinds] = {SEDIN.dtout, VELIN.dtout, STATSIN.dtout,
                                        PACKIN.dtout, CONTRIN.dtout, CONTRMAPIN.dtout};
  const TimingmidRecord& t = TIMINGMID;
  try {
    REPLAYSTEPS(run.nvu, [&] {
      if (PACKETS.ktotal > KMAX) return false;
      if (PACKETS.ktotal <= 0) return true;
      const float e = static_cast<float>(t.timef - TIMINGIN.time0);
      for (int k = 0; k < kTimedKinds; ++k) {
        if (run.file[k].empty() || !OUTPUTDUE(e, interval[k])) continue;
        const bool middle = k == kSediment || k == kVelocity;
        run.due[k].push_back({middle ? t.time : t.timef, PACKETS.ktotal});
      }
      return true;
    });
  } catch (const StopRun&) {
  } catch (const IoFailure&) {
  }
}

// Whether the log shows the end of a complete run.
RunEnd endOfRun(const std::string& log) {
  if (log.empty() || ::access(log.c_str(), R_OK) != 0) return RunEnd::unknown;
  TextFile f(log, "log");
  std::string_view rec;
  while (f.next(rec)) {
    if (rec == "  Clean exit ") return RunEnd::clean;
  }
  return RunEnd::early;
}

}  // namespace

Run readRun(const std::string& parfile) {
  Run run;
  run.parfile = parfile;
  // The program's own messages, the last of them kept for a failed start-up.
  std::deque<std::string> said;
  const DryStartup d = beginDryStartup(parfile, [&](int, std::string_view rec) {
    said.emplace_back(rec);
    if (said.size() > 12) said.pop_front();
  });
  if (d.end != StartupEnd::ready) {
    endDryStartup();
    if (d.end == StartupEnd::ioError) {
      const std::string m = d.message.rfind("vornv7: ", 0) == 0 ? d.message.substr(8) : d.message;
      fail("reading the run's parameters from " + parfile + ": " + m);
    }
    std::string text;
    for (const std::string& s : said) text += "\n  " + s;
    fail("the parameter file " + parfile + " does not set up a run; the program says:" + text);
  }
  run.nvu = d.nvu;
  run.file[kSediment] = on(SEDIN.dtout) ? fileOf(SEDIN.unit) : "";
  run.file[kVelocity] = on(VELIN.dtout) ? fileOf(VELIN.unit) : "";
  run.file[kStatistics] = on(STATSIN.dtout) ? fileOf(STATSIN.unit) : "";
  run.file[kPackets] = on(PACKIN.dtout) ? fileOf(PACKIN.unit) : "";
  run.file[kConcentration] = CONTRIN.writeconc ? fileOf(CONTRIN.unit) : "";
  run.file[kMap] = CONTRMAPIN.writemap ? fileOf(CONTRMAPIN.unit) : "";
  run.file[kBiology] = on(BIOLOGYIN.dtbio) ? fileOf(BIOLOGYIN.unit) : "";
  run.file[kBiologyMap] = on(BIOLOGYIN.dtbiomap) ? fileOf(BIOLOGYIN.mapunit) : "";
  run.logfile = std::string(VORNIO.logname.trimmed());
  replaySchedule(run);
  endDryStartup();
  run.end = endOfRun(run.logfile);

  // Day 1.0 is 1 January 00:00 of the velocity series' year.
  char origin[40];
  const int year = VELSERIESMID.year;
  std::snprintf(origin, sizeof origin, "%04d-12-31 00:00:00", year > 1 ? year - 1 : 0);
  run.origin = origin;
  return run;
}

void progress(const std::string& line) {
  if (!::isatty(2)) return;
  const std::string s = "\r\033[Kvorn2nc: " + line;
  ssize_t k = ::write(2, s.data(), s.size());
  (void)k;
}

void progressDone() {
  if (!::isatty(2)) return;
  const char s[] = "\r\033[K";
  ssize_t k = ::write(2, s, sizeof s - 1);
  (void)k;
}

}  // namespace vorn2nc
