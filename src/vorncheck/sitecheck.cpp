// The run's site file, checked with the parameter file by the site
// library's own reader: its problems as findings, where it puts the run in
// the summary.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "site/site.hpp"
#include "vorncheck/check.hpp"

namespace vorncheck {

void checkSiteFile(Check& c, const std::string& given) {
  const std::string file = site::siteFileFor(given, c.parfile);
  if (file.empty()) return;
  site::Site s;
  std::vector<site::Problem> problems;
  if (!std::filesystem::exists(file)) {
    c.findings.push_back({file, 0, Level::error, "the site file does not exist"});
    return;
  }
  if (!site::readSite(file, s, problems)) {
    for (const site::Problem& p : problems) c.findings.push_back({p.file, p.line, Level::error, p.message});
    return;
  }
  char where[256];
  if (s.lonlatOrigin) {
    std::snprintf(where, sizeof where, "origin lon %.6f, lat %.6f", s.lon, s.lat);
  } else {
    std::snprintf(where, sizeof where, "origin x %.3f, y %.3f in %s", s.x0, s.y0, s.crs.c_str());
  }
  char turn[64];
  std::snprintf(turn, sizeof turn, "y axis %g degrees clockwise from north", s.rotation);
  c.summary.site = file + " (" + (s.name.empty() ? std::string() : s.name + ", ") + where + ", " +
                   turn + ", " + std::to_string(s.layers.size()) + " layer(s))";
}

}  // namespace vorncheck
