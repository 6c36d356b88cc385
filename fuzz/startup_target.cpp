// Fuzz target: the start-up of a run from a parameter file and the files
// it names (node files, velocity and stress series, discharge series).
//
// Input: the parameter file, then any number of files, each introduced by
// a line "@@@ NAME" (NAME of letters, digits, '.', '_' and '-', at most 40
// characters). Inputs whose parameter file holds a '/' are skipped: every
// name the run opens comes from it, and none may lie outside the scratch
// folder. The run is started as
// "vornv7 run.par screen.txt" with a signal noted, so that it ends where
// start-up ends.
//
// Properties: the run ends through a stop or an input or output error,
// never through any other exception; start-up never ends cleanly (the
// noted signal ends it); every file the run wrote ends in a whole record.
#include <csignal>
#include <set>
#include <string>
#include <vector>

#include "driver/inputstyleroutines.hpp"
#include "driver/vornv7.hpp"
#include "random/ranf1.hpp"
#include "rio/units.hpp"
#include "runtime/signals.hpp"
#include "runtime/stop.hpp"
#include "scratch.hpp"
#include "state/reset.hpp"
#include "targets.hpp"

namespace {

constexpr std::size_t kMaxName = 40;

bool goodName(std::string_view name) {
  if (name.empty() || name.size() > kMaxName || name == "." || name == "..") return false;
  for (char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

struct File {
  std::string name;
  std::string_view bytes;
};

// Splits the input into run.par and the named files; false when a name is
// not acceptable.
bool split(std::string_view all, std::vector<File>& files) {
  constexpr std::string_view kMark = "\n@@@ ";
  std::string name = "run.par";
  std::size_t start = 0;
  for (;;) {
    const std::size_t mark = all.find(kMark, start);
    files.push_back({name, all.substr(start, mark == std::string_view::npos ? all.npos : mark - start)});
    if (mark == std::string_view::npos) return true;
    const std::size_t nameAt = mark + kMark.size();
    const std::size_t end = all.find('\n', nameAt);
    name = std::string(all.substr(nameAt, end == std::string_view::npos ? all.npos : end - nameAt));
    if (!goodName(name)) return false;
    if (end == std::string_view::npos) {
      files.push_back({name, {}});
      return true;
    }
    start = end + 1;
  }
}

// Whatever happens, the units are closed and the noted signal forgotten.
struct RunGuard {
  ~RunGuard() {
    rio::abandonAllUnits();
    noteSignal(0);
    const char* argv[] = {"vornv7"};
    setCommandLine(1, argv);
  }
};

}  // namespace

int fuzzStartup(const std::uint8_t* data, std::size_t size) {
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  std::vector<File> files;
  if (!split(all, files)) return 0;
  if (files.front().bytes.find('/') != std::string_view::npos) return 0;

  fuzzscratch::Inside scratch;
  std::set<std::string> given;
  for (const File& f : files) {
    fuzzscratch::writeBytes(f.name, f.bytes.data(), f.bytes.size());
    given.insert(f.name);
  }

  {
    RunGuard guard;
    resetAllState();
    resetRandomPackage();
    const char* argv[] = {"vornv7", "run.par", "screen.txt"};
    setCommandLine(3, argv);
    noteSignal(SIGTERM);
    try {
      MAIN();
      throw FuzzFinding("the run returned instead of ending through a stop");
    } catch (const StopRun& stop) {
      if (stop.kind == StopKind::clean) throw FuzzFinding("start-up ended as a clean run");
    } catch (const IoFailure&) {
    }
    try {
      rio::closeAllUnits();
    } catch (const IoFailure&) {
    }
  }

  if (DIR* d = ::opendir(".")) {
    std::vector<std::string> written;
    while (dirent* e = ::readdir(d)) {
      const std::string name = e->d_name;
      if (name != "." && name != ".." && !given.count(name)) written.push_back(name);
    }
    ::closedir(d);
    for (const std::string& name : written) {
      const std::string bytes = fuzzscratch::readBytes(name);
      if (!bytes.empty() && (bytes.size() < 2 || bytes.compare(bytes.size() - 2, 2, "\r\n") != 0)) {
        throw FuzzFinding(name + " ends inside a record");
      }
    }
  }
  return 0;
}
