// vorncheck RUN.PAR: every problem of a parameter set, in one pass, before
// a run starts. Exit status 0 without findings, 1 with errors, 2 with
// warnings only.
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "vorncheck/check.hpp"

namespace {

const char kUsage[] =
    "usage: vorncheck [--json | --records] [--site FILE] RUN.PAR [CONSOLE]\n"
    "Reads the parameter file RUN.PAR and every file it names, as vornv7 would read them\n"
    "from the current folder, without running the model and without writing any file, and\n"
    "reports every problem at once, one per line: FILE:LINE: error|warning|note: message,\n"
    "then a summary (the run's span, its packets, the files it writes). CONSOLE is the\n"
    "console file the run will be given (vornv7 RUN.PAR CONSOLE), when it is given one.\n"
    "  --json     the findings and the summary as JSON\n"
    "  --records  the records of the parameter file as the program reads them, as JSON\n"
    "  --site FILE  the run's site file (default site.toml beside RUN.PAR, when there is one)\n"
    "Exit status: 0 no finding, 1 errors, 2 warnings only, 3 a usage error.\n";

void put(const std::string& s) {
  std::size_t done = 0;
  while (done < s.size()) {
    const ssize_t n = ::write(1, s.data() + done, s.size() - done);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

int main(int argc, char** argv) {
  enum class Mode { text, json, records } mode = Mode::text;
  std::string parfile, console, site;
  for (int k = 1; k < argc; ++k) {
    const std::string a = argv[k];
    if (a == "--site" && k + 1 < argc) {
      site = argv[++k];
    } else if (a == "--json") {
      mode = Mode::json;
    } else if (a == "--records") {
      mode = Mode::records;
    } else if (a == "--help" || a == "-h") {
      put(kUsage);
      return 0;
    } else if (a.rfind("--", 0) == 0 || !console.empty()) {
      std::fputs(kUsage, stderr);
      return 3;
    } else {
      (parfile.empty() ? parfile : console) = a;
    }
  }
  if (parfile.empty()) {
    std::fputs(kUsage, stderr);
    return 3;
  }
  vorncheck::Check c = vorncheck::CHECKPARAMETERS(parfile, console);
  vorncheck::checkSiteFile(c, site);
  switch (mode) {
    case Mode::text: put(vorncheck::textReport(c)); break;
    case Mode::json: put(vorncheck::jsonReport(c)); break;
    case Mode::records: put(vorncheck::recordsJson(c)); break;
  }
  return c.exitStatus();
}
