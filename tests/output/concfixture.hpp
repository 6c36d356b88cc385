#pragma once
// Shared set-up of the concentration, map and biology writer tests: the
// forcing fixture's console, log and parameter input, an output file opened
// on a unit as OUTPUT opens it, and profile tables filled by hand.
#include <string>
#include <vector>

#include "forcing/forcingtest.hpp"
#include "rio/units.hpp"
#include "state/limits.hpp"
#include "state/pdfvi.hpp"
#include "testutil.hpp"

namespace conctest {

// Table 1 (broken flocs): cum = z / 2.5 up to 2.5 m, then 1.
// Table 2: cum = z / 5. Levels 0.1, 0.2, ..., 5.0 m.
inline void fillTables() {
  for (int i = 0; i < NPDF; ++i) {
    const float z = 0.1f * static_cast<float>(i + 1);
    PDFVI.table[0].zlev[i] = z;
    PDFVI.table[1].zlev[i] = z;
    PDFVI.table[0].cum[i] = z < 2.5f ? z / 2.5f : 1.0f;
    PDFVI.table[1].cum[i] = z / 5.0f;
  }
}

class Fixture : public forcingtest::Fixture {
 protected:
  // Opens `name` on unit 30 as OUTPUT would and returns the unit.
  int openOut(const std::string& name) {
    rio::openUnit(30, name, rio::FileStatus::unknown);
    return 30;
  }
  std::vector<std::string> fileRecords(const std::string& name) {
    rio::flushUnit(30);
    return forcingtest::records(testutil::readFile(name));
  }
};

}  // namespace conctest
