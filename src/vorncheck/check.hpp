#pragma once
// vorncheck: a parameter file and every file it names, read by the
// program's own start-up code (dry: no file is written), with every problem
// reported at once, and the run's forcing, release and outputs checked
// against each other without running the model.
#include <string>

#include "vorncheck/findings.hpp"

namespace vorncheck {

// Walks the parameter file `parfile` (its name as given; the names in it
// are taken from the current folder, as the program takes them) and checks
// the run it describes. `console`, when given, is the console file the run
// is given on its command line (vornv7 RUN.PAR CONSOLE): a file the run
// writes may not be it. Leaves the program's state reset and no unit open.
Check CHECKPARAMETERS(const std::string& parfile, const std::string& console = {});

// The site file of the run (`site`, or site.toml beside the parameter file
// when there is one), checked with the rest: its problems become findings
// and the summary says where it puts the run.
void checkSiteFile(Check& c, const std::string& site);

// The findings as lines FILE:LINE: error|warning|note: message, then the
// summary; the same as JSON; the record walk as JSON.
std::string textReport(const Check& c);
std::string jsonReport(const Check& c);
std::string recordsJson(const Check& c);

}  // namespace vorncheck
