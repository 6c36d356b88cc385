#pragma once
// Forcing files of a small measuring site, for tests that run the program:
// a log layer of three nodes (0.05, 0.2, 1.0 m), one current meter at
// 1.0 m and its velocity series, rows every 3 hours at whole hours from day
// 0 to day 3 (u = 0.2, v = 0.1 m/s).
#include <cstdio>
#include <functional>
#include <string>
#include <utility>

#include "testutil.hpp"

namespace sitefiles {

// The output records of a run that writes no output file.
inline std::string noOutputs() { return "0\n0\n0\n0\n0\n0\n0\n0\n"; }

// Writes the files into the current folder and returns the parameter
// records that name them (after the 13 run parameter records), followed by
// the eight output intervals, all 0 (no output).
inline std::string writeSmallSite() {
  testutil::writeFile("lognodes.dat", "log layer\nXXXX\n3\n0.05 0.2 1.0\n");
  testutil::writeFile("intnodes.dat", "current meters\nXXXX\n1\n0.0\n");
  std::string vel = "XXXX\ncurrent meter at 1 m\nsynthetic\n1998\n3\n";
  for (int k = 0; k <= 24; ++k) vel += std::to_string(k * 0.125) + " 0.2 0.1\n";
  testutil::writeFile("vel1.dat", vel);
  return "lognodes.dat\nintnodes.dat\nvel1.dat\n" + noOutputs();
}

// The same site with `rows` velocity rows every `hours` hours from day 0,
// the velocity of row k given by uv(k).
inline std::string writeSmallSite(int rows, double hours,
                                  const std::function<std::pair<double, double>(int)>& uv) {
  std::string names = writeSmallSite();
  std::string vel = "XXXX\ncurrent meter at 1 m\nsynthetic\n1998\n3\n";
  for (int k = 0; k < rows; ++k) {
    char row[96];
    const auto [u, v] = uv(k);
    std::snprintf(row, sizeof row, "%.17g %.9g %.9g\n", k * hours / 24.0, u, v);
    vel += row;
  }
  testutil::writeFile("vel1.dat", vel);
  return names;
}

}  // namespace sitefiles
