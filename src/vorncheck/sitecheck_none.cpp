// Without the site library (PROJ, GDAL, toml++): a site file beside the
// parameter file is named as not checked.
#include <filesystem>
#include <string>

#include "vorncheck/check.hpp"

namespace vorncheck {

void checkSiteFile(Check& c, const std::string& given) {
  const std::string file =
      !given.empty() ? given
                     : (std::filesystem::path(c.parfile).parent_path() / "site.toml").string();
  if (!std::filesystem::exists(file)) return;
  c.findings.push_back({file, 0, Level::note,
                        "the site file is not checked: this vorncheck was built without PROJ, "
                        "GDAL and toml++"});
}

}  // namespace vorncheck
