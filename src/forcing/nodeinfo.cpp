// The vertical node grid: the log layer from the log-layer node file, the
// current-meter nodes above it from the interior node file, and the upper
// limit hmax of the sediment profile settled against the grid.
#include "forcing/nodeinfo.hpp"

#include <cstdint>

#include "forcing/forcingfile.hpp"
#include "forcing/loglayer.hpp"
#include "rio/nextpointer.hpp"
#include "rio/units.hpp"
#include "runtime/stop.hpp"
#include "state/heights.hpp"
#include "state/limits.hpp"
#include "state/velinfo.hpp"
#include "state/vornio.hpp"

namespace {

// Takes the next unit number and opens the node file `name` on it ("old"),
// positioned after its header.
std::int32_t openNodeFile(const Text<80>& name) {
  const std::int32_t unit = VORNIO.nextunit;
  VORNIO.nextunit = NEXTPOINTER(unit);
  rio::openUnit(unit, name.trimmed(), rio::FileStatus::old, "node file");
  SCANHEADER(unit, name.trimmed());
  return unit;
}

// Reads the name of a node file from the parameter input: the prompt on the
// console, then the prompt and the name on the log, the name on the console.
void askFileName(const char* prompt, const char* record, const char* field, Text<80>& name) {
  const std::int32_t out = VORNIO.outunit;
  const std::int32_t log = VORNIO.logunit;
  rio::listWrite(out, prompt);
  rio::nameNextRead(VORNIO.inunit, record, field);
  rio::readText(VORNIO.inunit, name);
  rio::listWrite(log, prompt);
  rio::writeRecord(out, name.view());
  rio::writeRecord(log, name.view());
}

// Checks that heightnodes(first..last) (1-based) increase strictly; if not,
// the log shows the file and the offending pair, and false is returned.
bool heightsIncrease(std::int32_t first, std::int32_t last, const Text<80>& file) {
  const float* h = VELINFOMID.heightnodes;
  for (std::int32_t j = first + 1; j <= last; ++j) {
    if (!(h[j - 1] > h[j - 2])) {
      const rio::Problem problem;
      const std::int32_t log = VORNIO.logunit;
      rio::listWrite(log, "Node heights must increase strictly upward; they do not in the file");
      rio::writeRecord(log, file.view());
      rio::listWrite(log, "node, height, height below ", j, h[j - 1], h[j - 2]);
      return false;
    }
  }
  return true;
}

const char* const kLinearShear = "nloglayer = 2.  Will assume linear shear to the bottom.";

}  // namespace

// Builds the node grid: reads the two node file names from the parameter
// input and the files themselves, fills VELINFOMID (heights and counts) and
// the file fields of VELINFOIN, and may replace HEIGTHS.hmax by the top
// node's height. errorcode: 0, NODEINFO_BAD_GRID or NODEINFO_HREF; hmax not
// above href stops the run. Called once by the driver during start-up.
void NODEINFO(std::int32_t& errorcode) {
  errorcode = 0;
  VelinfoinRecord& files = VELINFOIN;
  VelinfomidRecord& g = VELINFOMID;
  float* h = g.heightnodes;
  const std::int32_t out = VORNIO.outunit;
  const std::int32_t log = VORNIO.logunit;

  rio::listWrite(log);
  rio::listWrite(log, "***GetVertNodeInfo: ");

  // The log layer.
  askFileName("File with the node distribution in the loglayer.", "log_nodes_file",
              "lognodefile", files.lognodefile);
  files.lognodeunit = openNodeFile(files.lognodefile);
  rio::listRead(files.lognodeunit, g.nloglayer);
  rio::listWrite(log, "nloglayer ", g.nloglayer);
  if (g.nloglayer > MAXNODES) {
    const rio::Problem problem;
    rio::listWrite(log, "Too many vertical nodes in log layer.");
    rio::listWrite(log, "nloglayer, MAXNODES.", g.nloglayer, MAXNODES);
    rio::closeUnit(files.lognodeunit);
    errorcode = NODEINFO_BAD_GRID;
    return;
  }
  if (g.nloglayer < 2) {
    const rio::Problem problem;
    rio::listWrite(log, "Not enough vertical nodes in log layer.");
    rio::listWrite(log, "Require nloglayer >= 2. ", g.nloglayer);
    rio::closeUnit(files.lognodeunit);
    errorcode = NODEINFO_BAD_GRID;
    return;
  }
  const std::int32_t nlog = g.nloglayer;
  {
    rio::ListTarget t[MAXNODES];
    for (std::int32_t i = 0; i < nlog; ++i) t[i] = rio::target(h[i]);
    rio::listReadTargets(files.lognodeunit, t, static_cast<std::size_t>(nlog));
    rio::ListWriter w(log);
    for (std::int32_t i = 1; i <= nlog; ++i) w << i << h[i - 1];
    w.end();
  }
  rio::closeUnit(files.lognodeunit);
  if (!heightsIncrease(1, nlog, files.lognodefile)) {
    errorcode = NODEINFO_BAD_GRID;
    return;
  }

  const float hlog = h[nlog - 1];  // the lowest current meter
  rio::listWrite(log, "Height of log layer and the distance of the bottom (specified) velocity "
                      "node off the bottom");
  rio::listWrite(log, " is ", hlog, "  m.");
  // The log law needs the lowest current meter above the roughness length:
  // at or below it the drag coefficient is not finite, or of no meaning.
  if (!(hlog > LOGLAYER_ZETA0) || !(hlog * LOGLAYER_RECIP_ZETA0 > 1.0f)) {
    const rio::Problem problem;
    rio::listWrite(log, "The lowest current meter must lie above the roughness length zeta0 of "
                        "the log layer; it does not in the file");
    rio::writeRecord(log, files.lognodefile.view());
    rio::listWrite(log, "height of the lowest current meter, zeta0 ", hlog, LOGLAYER_ZETA0);
    errorcode = NODEINFO_BAD_GRID;
    return;
  }
  if (nlog == 2) rio::listWrite(log, kLinearShear);

  // The current-meter nodes.
  askFileName("File with the depths of the nodes where the interior velocities are specified.",
              "interior_nodes_file", "intnodefile", files.intnodefile);
  files.intnodeunit = openNodeFile(files.intnodefile);
  rio::listRead(files.intnodeunit, g.ninterior);
  rio::listWrite(log, "ninterior ", g.ninterior);
  if (g.ninterior < 1) {
    // At least the lowest current meter needs its velocity series.
    const rio::Problem problem;
    rio::listWrite(log, "Not enough current-meter nodes in the file");
    rio::writeRecord(log, files.intnodefile.view());
    rio::listWrite(log, "Require ninterior >= 1. ", g.ninterior);
    rio::closeUnit(files.intnodeunit);
    errorcode = NODEINFO_BAD_GRID;
    return;
  }
  // In 64 bits: ninterior may be any count a file holds.
  const std::int64_t nnv = std::int64_t{nlog} + g.ninterior - 1;
  g.nnv = nnv > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(nnv);
  if (nnv > MAXNODES) {
    const rio::Problem problem;
    rio::listWrite(log, "Too many vertical nodes.");
    rio::listWrite(log, " ninterior, nloglayer, nnv, MAXNODES.", g.ninterior, nlog, g.nnv,
                   MAXNODES);
    rio::closeUnit(files.intnodeunit);
    errorcode = NODEINFO_BAD_GRID;
    return;
  }
  // Only the differences of the coordinates count: the first one anchors
  // the others at the lowest current meter.
  float v1 = 0;
  for (std::int32_t i = 1; i <= g.ninterior; ++i) {
    float v = 0;
    rio::listRead(files.intnodeunit, v);
    if (i == 1) {
      v1 = v;
    } else {
      h[nlog + i - 2] = hlog + (v - v1);
    }
  }
  if (!heightsIncrease(nlog, g.nnv, files.intnodefile)) {
    rio::closeUnit(files.intnodeunit);
    errorcode = NODEINFO_BAD_GRID;
    return;
  }

  // The upper limit of the sediment profile.
  HeigthsRecord& hz = HEIGTHS;
  const float htop = h[g.nnv - 1];
  rio::listWrite(log, "hmax input ", hz.hmax);
  if (hz.hmax <= 0) {
    hz.hmax = htop;
  } else if (hz.href >= hz.hmax) {
    const rio::Problem problem(rio::Severity::error, "hmax");
    rio::listWrite(out, "Hmax < href.  This is silly ", hz.hmax, hz.href);
    rio::listWrite(log, "Hmax < href.  This is silly ", hz.hmax, hz.href);
    stopOnError();
  } else if (htop < hz.hmax) {
    const rio::Problem problem(rio::Severity::warning, "hmax");
    for (std::int32_t unit : {out, log}) {
      rio::listWrite(unit, "Hmax > upper current meter.");
      rio::listWrite(unit, "set hmax = ", htop);
    }
    hz.hmax = htop;
  }
  rio::listWrite(log, "hmax=", hz.hmax);
  rio::listWrite(log);
  rio::listWrite(log, "heights of the vertical nodes ");
  for (std::int32_t j = 1; j <= g.nnv; ++j) rio::listWrite(log, j, h[j - 1]);
  rio::closeUnit(files.intnodeunit);
  if (nlog == 2) rio::listWrite(log, kLinearShear);

  if (h[0] != hz.href) {
    const rio::Problem problem(rio::Severity::error, "kappa_href");
    rio::listWrite(log, "reference height for sediment profile is not equal to height of "
                        "bottom node in log layer.");
    rio::listWrite(log, "href, heightnodes(1)", hz.href, h[0]);
    rio::listWrite(log, "Not sure what to do so will quit");
    errorcode = NODEINFO_HREF;
  }
}
