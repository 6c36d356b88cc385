// Program vorn2nc: converts the text outputs of a vornv7 run into one
// CF-NetCDF file.
//   vorn2nc RUNDIR [--par FILE] [-o OUT.nc]
// Exit status 0 when the file is written, 1 when a file of the run is
// missing or malformed (nothing is left behind then), 2 on a usage error.
#include <netcdf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "rio/units.hpp"
#include "runtime/stop.hpp"
#include "vorn2nc/convert.hpp"
#ifdef VORN2NC_SITE
#include "site/site.hpp"
#include "vorn2nc/georef.hpp"
#endif
#include "vorn2nc/groups.hpp"
#include "vorn2nc/ncfile.hpp"

namespace fs = std::filesystem;
using namespace vorn2nc;

namespace {

// The file being written, in a private folder of its own next to the
// target, both removed on an error or a signal.
char partialDir[4096];
char partial[4096 + 16];

void removePartial() {
  if (partial[0]) ::unlink(partial);
  if (partialDir[0]) ::rmdir(partialDir);
  partial[0] = partialDir[0] = '\0';
}

extern "C" void onSignal(int sig) {
  if (partial[0]) ::unlink(partial);
  if (partialDir[0]) ::rmdir(partialDir);
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

// The target must be none of the files the conversion reads: the
// parameter file and the forcing files (read so far), the log and the
// output files. Known by identity, so a link or another path to one of
// them is refused too.
void refuseInput(const std::string& target, const Run& run) {
  std::string use;
  if (rio::isFileRead(target, &use)) fail("refusing to write " + target + ": it is the run's " + use);
  struct stat out {};
  if (::stat(target.c_str(), &out) != 0) return;
  std::vector<std::pair<std::string, std::string>> reads = {{run.logfile, "log file"}};
  for (int k = 0; k < kKinds; ++k) reads.emplace_back(run.file[k], "output file");
  for (const auto& [name, what] : reads) {
    struct stat in {};
    if (!name.empty() && ::stat(name.c_str(), &in) == 0 && in.st_dev == out.st_dev &&
        in.st_ino == out.st_ino) {
      fail("refusing to write " + target + ": it is the run's " + what + " \"" + name + "\"");
    }
  }
}

void say(int fd, const std::string& s) {
  ssize_t k = ::write(fd, s.data(), s.size());
  (void)k;
}

int usage(int status) {
  say(status == 0 ? 1 : 2,
      "usage: vorn2nc RUNDIR [--par FILE] [-o OUT.nc] [--site FILE] [--packet-lonlat]\n"
      "  Converts the output files of the vornv7 run made in RUNDIR into one CF-NetCDF file.\n"
      "  --par FILE       the run's parameter file (default RUNDIR/run.par)\n"
      "  -o OUT.nc        the file to write (default RUNDIR/ and the parameter file's name with .nc)\n"
      "  --site FILE      the run's site file (default site.toml beside the parameter file, when\n"
      "                   there is one): grid mappings, longitude and latitude\n"
      "  --packet-lonlat  with a site, every packet's longitude and latitude too\n");
  return status;
}

std::string history(int argc, char** argv) {
  char when[32];
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &utc);
  std::string h = std::string(when) + ":";
  for (int k = 0; k < argc; ++k) h += std::string(" ") + argv[k];
  return h;
}

// Writes every group of the run into the open file; returns the names of
// the files converted, each after a blank.
std::string convert(int ncid, const Run& run, const std::string& hist) {
  writeRunAttributes(ncid, run, hist);
  using Writer = void (*)(int, const Run&);
  const Writer writers[kKinds] = {writeSediment,      writeVelocityProfiles, writeStatistics,
                                  writePackets,       writeConcentration,    writeMap,
                                  writeBiologyPoints, writeBiologyMap};
  std::string converted;
  for (int k = 0; k < kKinds; ++k) {
    if (run.file[k].empty()) continue;
    // The biology files are written at the end of a run: one that ended
    // early leaves them empty, and the run is taken without them.
    struct stat st {};
    if (k >= kBiology && run.end != RunEnd::clean && ::stat(run.file[k].c_str(), &st) == 0 &&
        st.st_size == 0) {
      warn(run.file[k] + " is empty: the biology results are written at the end of a run, and "
           "this run ended early; the group " + (k == kBiology ? "biology_points" : "biology_map") +
           " is left out");
      continue;
    }
    writers[k](ncid, run);
    converted += " " + run.file[k];
  }
  return converted;
}

}  // namespace

int main(int argc, char** argv) {
  std::string rundir, par, out, siteArg;
  bool packetLonLat = false;
  for (int k = 1; k < argc; ++k) {
    const std::string a = argv[k];
    if (a == "-h" || a == "--help") return usage(0);
    if ((a == "-o" || a == "--par" || a == "--site") && k + 1 < argc) {
      (a == "-o" ? out : a == "--par" ? par : siteArg) = argv[++k];
    } else if (a == "--packet-lonlat") {
      packetLonLat = true;
    } else if (!a.empty() && a[0] != '-' && rundir.empty()) {
      rundir = a;
    } else {
      return usage(2);
    }
  }
  if (rundir.empty()) return usage(2);

  std::string target;
  try {
    std::error_code ec;
    const fs::path runPath = fs::absolute(rundir).lexically_normal();
    if (!fs::is_directory(runPath, ec)) fail("the run folder " + rundir + " does not exist");
    const fs::path parPath = par.empty() ? runPath / "run.par" : fs::absolute(par).lexically_normal();
    const fs::path outPath = out.empty() ? runPath / (parPath.stem().string() + ".nc")
                                         : fs::absolute(out).lexically_normal();
    target = outPath.string();
#ifdef VORN2NC_SITE
    const std::string siteFile =
        siteArg.empty() ? site::siteFileFor({}, parPath.string())
                        : fs::absolute(siteArg).lexically_normal().string();
#else
    const std::string siteFile;
#endif
    // The run's file names are relative to its folder, as they were for the run.
    if (::chdir(runPath.c_str()) != 0) fail("cannot enter the run folder " + rundir);
    std::string parName = parPath.lexically_relative(runPath).string();
    if (parName.empty() || parName.size() > 256) parName = parPath.string();
    if (parName.size() > 256) fail("the parameter file's name is longer than 256 characters");

    const Run run = readRun(parName);
    if (run.end == RunEnd::unknown) {
      warn("the log file " + run.logfile + " is missing: files that end early are taken as they are");
    }

    refuseInput(target, run);
#ifdef VORN2NC_SITE
    site::Site where;
    std::unique_ptr<site::Frame> frame;
    if (!siteFile.empty()) {
      std::vector<site::Problem> problems;
      if (!site::readSite(siteFile, where, problems)) {
        std::string m = "the site file has problems:";
        for (const site::Problem& p : problems) m += "\n  " + p.text();
        fail(m);
      }
      frame = std::make_unique<site::Frame>(where);
      struct stat st {}, sst {};
      if (::stat(target.c_str(), &st) == 0 && ::stat(siteFile.c_str(), &sst) == 0 &&
          st.st_dev == sst.st_dev && st.st_ino == sst.st_ino) {
        fail("refusing to write " + target + ": it is the site file " + siteFile);
      }
    }
#else
    if (!siteArg.empty()) {
      fail("this vorn2nc was built without PROJ, GDAL and toml++: it cannot read a site file");
    }
#endif

    // The file is written in a folder of its own (mode 0700) next to the
    // target, which nobody else can plant a link in, and renamed when
    // complete.
    const std::string dir = (outPath.parent_path() / ".vorn2nc-XXXXXX").string();
    if (dir.size() >= sizeof partialDir) fail("the output file's name is too long");
    std::strcpy(partialDir, dir.c_str());
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, onSignal);
    if (::mkdtemp(partialDir) == nullptr) {
      partialDir[0] = '\0';
      fail("cannot create a folder next to " + target + ": " + std::strerror(errno));
    }
    std::snprintf(partial, sizeof partial, "%s/part.nc", partialDir);
    int ncid = -1;
    nc::check(nc_create(partial, NC_NETCDF4 | NC_NOCLOBBER, &ncid), target.c_str());
    std::string groups;
    try {
      groups = convert(ncid, run, history(argc, argv));
#ifdef VORN2NC_SITE
      if (frame) {
        if (writeAssessment(ncid, where, *frame)) groups += " (assessed)";
        georeference(ncid, where, *frame, packetLonLat);
      }
#endif
    } catch (...) {
      nc_abort(ncid);
      throw;
    }
    nc::check(nc_close(ncid), target.c_str());
    if (std::rename(partial, target.c_str()) != 0) {
      fail("cannot write " + target + ": " + std::strerror(errno));
    }
    partial[0] = '\0';
    removePartial();
    say(1, "vorn2nc: wrote " + target + " from" + (groups.empty() ? " no output file" : groups) +
               (siteFile.empty() ? "" : ", placed on Earth by " + siteFile) + "\n");
    return 0;
  } catch (const ConvertError& e) {
    progressDone();
    removePartial();
    say(2, e.message + "\n");
  } catch (const IoFailure& e) {
    progressDone();
    removePartial();
    say(2, "vorn2nc: " + (e.message.rfind("vornv7: ", 0) == 0 ? e.message.substr(8) : e.message) + "\n");
  } catch (const StopRun&) {
    progressDone();
    removePartial();
    say(2, "vorn2nc: the program stopped while reading the run\n");
  } catch (const std::exception& e) {
    progressDone();
    removePartial();
    say(2, std::string("vorn2nc: ") + e.what() + "\n");
  }
  return 1;
}
