// The counts of a check's findings and the exit status they give.
#include "vorncheck/findings.hpp"

#include <algorithm>

namespace vorncheck {

long long Check::count(Level level) const {
  return std::count_if(findings.begin(), findings.end(),
                       [&](const Finding& f) { return f.level == level; });
}

int Check::exitStatus() const {
  if (count(Level::error) > 0) return 1;
  return count(Level::warning) > 0 ? 2 : 0;
}

}  // namespace vorncheck
