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
#include <string>
#include <vector>

#include "runtime/stop.hpp"
#include "vorn2nc/convert.hpp"
#include "vorn2nc/groups.hpp"
#include "vorn2nc/ncfile.hpp"

namespace fs = std::filesystem;
using namespace vorn2nc;

namespace {

// The file being written, removed on an error or a signal.
char partial[4096];

void removePartial() {
  if (partial[0]) ::unlink(partial);
  partial[0] = '\0';
}

extern "C" void onSignal(int sig) {
  if (partial[0]) ::unlink(partial);
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

void say(int fd, const std::string& s) {
  ssize_t k = ::write(fd, s.data(), s.size());
  (void)k;
}

int usage(int status) {
  say(status == 0 ? 1 : 2,
      "usage: vorn2nc RUNDIR [--par FILE] [-o OUT.nc]\n"
      "  Converts the output files of the vornv7 run made in RUNDIR into one CF-NetCDF file.\n"
      "  --par FILE   the run's parameter file (default RUNDIR/run.par)\n"
      "  -o OUT.nc    the file to write (default RUNDIR/ and the parameter file's name with .nc)\n");
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

// Writes every group of the run into the open file.
void convert(int ncid, const Run& run, const std::string& hist) {
  writeRunAttributes(ncid, run, hist);
  using Writer = void (*)(int, const Run&);
  const Writer writers[kKinds] = {writeSediment,      writeVelocityProfiles, writeStatistics,
                                  writePackets,       writeConcentration,    writeMap,
                                  writeBiologyPoints, writeBiologyMap};
  for (int k = 0; k < kKinds; ++k) {
    if (!run.file[k].empty()) writers[k](ncid, run);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string rundir, par, out;
  for (int k = 1; k < argc; ++k) {
    const std::string a = argv[k];
    if (a == "-h" || a == "--help") return usage(0);
    if ((a == "-o" || a == "--par") && k + 1 < argc) {
      (a == "-o" ? out : par) = argv[++k];
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
    // The run's file names are relative to its folder, as they were for the run.
    if (::chdir(runPath.c_str()) != 0) fail("cannot enter the run folder " + rundir);
    std::string parName = parPath.lexically_relative(runPath).string();
    if (parName.empty() || parName.size() > 256) parName = parPath.string();
    if (parName.size() > 256) fail("the parameter file's name is longer than 256 characters");

    const Run run = readRun(parName);
    if (run.end == RunEnd::unknown) {
      warn("the log file " + run.logfile + " is missing: files that end early are taken as they are");
    }

    const std::string temp = (outPath.parent_path() / ("." + outPath.filename().string() + ".XXXXXX")).string();
    if (temp.size() >= sizeof partial) fail("the output file's name is too long");
    std::strcpy(partial, temp.c_str());
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, onSignal);
    const int fd = ::mkstemp(partial);
    if (fd < 0) {
      partial[0] = '\0';
      fail("cannot create a file next to " + target + ": " + std::strerror(errno));
    }
    // The file gets the permissions a new file of the user gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd, 0666 & ~mask) != 0) {
      ::close(fd);
      fail("cannot write next to " + target + ": " + std::strerror(errno));
    }
    ::close(fd);
    int ncid = -1;
    nc::check(nc_create(partial, NC_NETCDF4 | NC_CLOBBER, &ncid), target.c_str());
    try {
      convert(ncid, run, history(argc, argv));
    } catch (...) {
      nc_abort(ncid);
      throw;
    }
    nc::check(nc_close(ncid), target.c_str());
    if (std::rename(partial, target.c_str()) != 0) {
      fail("cannot write " + target + ": " + std::strerror(errno));
    }
    partial[0] = '\0';
    std::string groups;
    for (int k = 0; k < kKinds; ++k) groups += run.file[k].empty() ? "" : " " + run.file[k];
    say(1, "vorn2nc: wrote " + target + " from" + (groups.empty() ? " no output file" : groups) + "\n");
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
