#include "driver/cmdoptions.hpp"

#include <cstddef>
#include <string>
#include <utility>

#include "driver/buildinfo.hpp"
#include "rio/units.hpp"
#include "runtime/stop.hpp"
#include "runtime/workers.hpp"

namespace {

// Every option the program recognises.
constexpr CmdOptionName kOptions[] = {
    {"--help", CmdOption::help, false},
    {"--version", CmdOption::version, false},
};

const CmdOptionName* findOption(std::string_view name) {
  for (const CmdOptionName& o : kOptions) {
    if (o.name == name) return &o;
  }
  return nullptr;
}

// Writes a text on standard output as it stands (LF line ends: these texts
// are read on a terminal or by scripts, not as records) and stops the run.
[[noreturn]] void printAndStop(std::string_view text) {
  rio::writeText(rio::STDOUT_UNIT, text);
  stopRun();
}

}  // namespace

std::string_view helpText() {
  static const std::string text =
      std::string("vornv7 ") + buildinfo::version +
      " - sediment packets in the bottom boundary layer\n"
      "\n"
      "vornv7 follows packets of suspended sediment through the bottom boundary\n"
      "layer of a current measured at one site by current meters at several\n"
      "heights. It reads one parameter file of text records and the forcing\n"
      "files named there (node heights, velocity, bottom stress and discharge\n"
      "series), and writes a log file, the progress file vornprog.out and the\n"
      "output files the parameters ask for.\n"
      "\n"
      "Usage:\n"
      "  vornv7                      parameters from standard input, messages to\n"
      "                              standard output\n"
      "  vornv7 StdIn                the same (\"StdIn\" is case-sensitive)\n"
      "  vornv7 < run.par > screen   the same, redirected by the shell\n"
      "  vornv7 run.par              parameters from run.par\n"
      "  vornv7 StdIn screen.txt     parameters from standard input, messages to\n"
      "                              screen.txt\n"
      "  vornv7 run.par screen.txt   parameters from run.par, messages to screen.txt\n"
      "  vornv7 --help               this text\n"
      "  vornv7 --version            the version, compiler and flags of this build\n"
      "With any form that runs, --threads N runs the per-packet passes on N threads\n"
      "(1 to 64; by default the processors this process may use); the outputs are\n"
      "the same for every N.\n"
      "A file whose name begins with \"--\" is given as ./--name; any other\n"
      "argument that begins with \"--\" gives the usage message. When standard\n"
      "error is a terminal, a progress line there shows how far the run has come.\n"
      "\n"
      "Exit status:\n"
      "  0    a clean end (\" Clean exit \"); also after --help and --version\n"
      "  1    an input or output error (a missing or unreadable file, a malformed\n"
      "       record, a failed write, one file opened for two uses): the message\n"
      "       on standard error names the file and the record\n"
      "  2    any other error: a failed start-up, a run ended on the errors it\n"
      "       reports (\"***Exit on error***\"), a fatal stop inside a routine\n"
      "       (its message is on the console), the usage message\n"
      "  128+N  signal N (SIGINT, SIGTERM, SIGHUP) ended the run at the end of\n"
      "       its step, with every file whole\n"
      "\n"
      "Documents: README.md, docs/running.md (running your own case),\n"
      "docs/outputs.md (the files, reading them in Python) and\n"
      "examples/aldmouth-bank/run.par.annotated (the parameter file explained\n"
      "record by record), in the source folder\n"
      "  " + buildinfo::sourceDir + "\n"
      "and, after cmake --install, in\n"
      "  " + buildinfo::docDir + "\n";
  return text;
}

std::string_view versionText() {
  static const std::string text = std::string("vornv7 ") + buildinfo::version + "\n" +
                                  "compiler: " + buildinfo::compiler + "\n" +
                                  "flags: " + buildinfo::flags + "\n" +
                                  "kernels: " + kernelPathName(kernelPath()) +
                                  " (VORN_KERNELS: sse2" +
                                  (processorRuns(KernelPath::avx2) ? ", avx2" : "") +
                                  (processorRuns(KernelPath::avx512) ? ", avx512" : "") + ")\n";
  return text;
}

bool COMMANDOPTIONS(std::vector<Text<256>>& args) {
  std::vector<Text<256>> files;
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string_view a = args[k].trimmed();
    if (a.substr(0, 2) != "--") {
      files.push_back(args[k]);
      continue;
    }
    const std::size_t eq = a.find('=');
    const CmdOptionName* o = findOption(a.substr(0, eq));
    if (o == nullptr || (eq != std::string_view::npos && !o->takesValue)) return false;
    std::string_view value;
    if (o->takesValue) {
      if (eq != std::string_view::npos) {
        value = a.substr(eq + 1);
      } else if (k + 1 < args.size()) {
        value = args[++k].trimmed();
      } else {
        return false;
      }
    }
    switch (o->option) {
      case CmdOption::help:
        printAndStop(helpText());
      case CmdOption::version:
        printAndStop(versionText());
    }
    (void)value;  // for the options that take one
  }
  args = std::move(files);
  return true;
}
