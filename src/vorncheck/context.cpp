// The helpers the checks share.
#include "vorncheck/context.hpp"

#include <cstdio>

#include "rio/units.hpp"

namespace vorncheck {

std::string num(double x, int digits) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*g", digits, x);
  return buf;
}

std::string day(double seconds) { return num(seconds / 86400.0, 8); }

int freeUnit() {
  for (int u = rio::MAXUNIT; u > 6; --u) {
    if (!rio::unitIsOpen(u)) return u;
  }
  return 0;
}

}  // namespace vorncheck
