// The velocity series: the start time moved onto their records, the check
// of the records' times, the log layer below the lowest current meter, the
// rows of the updates and the trace line.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "forcing/forcingtest.hpp"
#include "forcing/velinfo.hpp"
#include "runtime/stop.hpp"
#include "state/timing.hpp"
#include "state/velinfo.hpp"

using forcingtest::count;
using forcingtest::days;
using forcingtest::padded;
using testutil::writeFile;

namespace {

constexpr double kHour = 3600.0;

// A row of a series: time (given in seconds, written in days), u, v.
std::string row(double seconds, double u, double v) {
  return days(seconds) + " " + std::to_string(u) + " " + std::to_string(v) + "\n";
}

class VelInfo : public forcingtest::Fixture {
 protected:
  // The grid as NODEINFO would leave it.
  void grid(const std::vector<float>& h, int nloglayer) {
    VelinfomidRecord& g = VELINFOMID;
    for (std::size_t k = 0; k < h.size(); ++k) g.heightnodes[k] = h[k];
    g.nnv = static_cast<int>(h.size());
    g.nloglayer = nloglayer;
    g.ninterior = g.nnv - nloglayer + 1;
  }
  // A series file: header, titles, year, ncol, then the rows.
  void series(const std::string& name, const std::string& rows, int ncol = 3) {
    writeFile(name, "header line\nXXXX\ncurrent meter " + name + "\nsynthetic\n1998\n" +
                        std::to_string(ncol) + "\n" + rows);
  }
  // Start-up with the series named on the parameter input; -1 on a stop.
  int start(const std::string& names, double time0, double dtvu = kHour) {
    open(names);
    TIMINGIN.time0 = time0;
    TIMINGIN.dtvu = dtvu;
    return call(0);
  }
  int call(int flag) {
    std::int32_t code = 77;
    if (stops([&] { VELINFO(VELOCITYMID.unext, VELOCITYMID.vnext, flag, code); })) return -1;
    return code;
  }
  float u(int node) const { return VELOCITYMID.unext[node - 1]; }
  float v(int node) const { return VELOCITYMID.vnext[node - 1]; }
};

// Three series with hourly rows at whole hours from 08:00 to 14:00;
// file k has u = k + hour/100.
void threeHourlySeries(const std::vector<int>& firstHours = {8, 8, 8}) {
  for (int k = 1; k <= 3; ++k) {
    std::string rows;
    for (int hr = firstHours[k - 1]; hr <= 14; ++hr) rows += row(hr * kHour, k + hr / 100.0, 0.1);
    writeFile("vel" + std::to_string(k) + ".dat",
              "XXXX\ntitle\ntitle\n1998\n3\n" + rows);
  }
}

const char* kThree = "vel1.dat\nvel2.dat\nvel3.dat\n";

}  // namespace

TEST_F(VelInfo, TheStartTimeMovesToTheNearestRecord) {
  grid({0.05f, 1.0f, 2.0f, 3.0f}, 2);
  threeHourlySeries();
  // 10:20 takes the 10:00 records (at or after 09:50).
  ASSERT_EQ(start(kThree, 10 * kHour + 20 * 60), 0);
  EXPECT_EQ(TIMINGIN.time0, 10 * kHour);
  EXPECT_EQ(count(log, " Start Time changed to:    36000.00000000000       (nearest velocity "
                       "point)"),
            1u);
  EXPECT_EQ(count(log, "   Originally:    37200.00000000000     "), 1u);
  EXPECT_EQ(u(2), 1.10f);
  EXPECT_EQ(u(3), 2.10f);
  EXPECT_EQ(u(4), 3.10f);
  EXPECT_EQ((std::vector<int>(VELINFOIN.velunit, VELINFOIN.velunit + 3)),
            (std::vector<int>{20, 21, 22}));

  // 10:40 takes the 11:00 records.
  resetAllState();
  grid({0.05f, 1.0f, 2.0f, 3.0f}, 2);
  ASSERT_EQ(start(kThree, 10 * kHour + 40 * 60), 0);
  EXPECT_EQ(TIMINGIN.time0, 11 * kHour);
  EXPECT_EQ(u(2), 1.11f);

  // Series that begin after the start time move it forward to their first record.
  resetAllState();
  grid({0.05f, 1.0f, 2.0f, 3.0f}, 2);
  threeHourlySeries({12, 12, 12});
  ASSERT_EQ(start(kThree, 10 * kHour + 20 * 60), 0);
  EXPECT_EQ(TIMINGIN.time0, 12 * kHour);
}

TEST_F(VelInfo, TheFirstRecordsMayLieUpToTheToleranceFromTheirMean) {
  grid({0.05f, 1.0f, 2.0f}, 2);
  series("a.dat", row(10 * kHour, 0.1, 0) + row(11 * kHour, 0.1, 0));
  series("b.dat", row(10 * kHour + 100, 0.2, 0) + row(11 * kHour + 100, 0.2, 0));
  series("c.dat", row(10 * kHour + 110, 0.2, 0) + row(11 * kHour + 110, 0.2, 0));
  ASSERT_EQ(start("a.dat\nb.dat\n", 10 * kHour), 0);  // each 50 s from the mean
  EXPECT_NEAR(TIMINGIN.time0, 10 * kHour + 50, 1e-6);

  resetAllState();
  grid({0.05f, 1.0f, 2.0f}, 2);
  ASSERT_EQ(start("a.dat\nc.dat\n", 10 * kHour), -1);  // each 55 s from the mean
  EXPECT_EQ(log.back(), " Time stamp of Velocity files varies!!!!");
  EXPECT_EQ(console.back(), " Time stamp of Velocity files varies!!!!");
  EXPECT_EQ(TIMINGIN.time0, 10 * kHour) << "not replaced";
}

TEST_F(VelInfo, AStartUpWithItsWholeLogAndConsole) {
  grid({0.05f, 1.0f}, 2);
  series("vel1.dat", row(9 * kHour, 0.4, 0.3) + row(10 * kHour, 0.5, -0.25) +
                         row(11 * kHour, 0.6, -0.5));
  ASSERT_EQ(start("vel1.dat\n", 10 * kHour), 0);
  const std::vector<std::string> expectLog = {
      " VelInfo4.  Initialize",
      " Number of timeseries files required           1",
      " Velocities scaled by    1.000000    ",
      " File names",
      "    1.000000    ",
      padded("vel1.dat", 120),
      padded("current meter vel1.dat", 120),
      padded("synthetic", 120),
      "         1998",
      "            3",
      " Start Time changed to:    36000.00000000000       (nearest velocity point)",
      "   Originally:    36000.00000000000     ",
      " Velocity Update time step that vorn is using   3600.000000000000     ",
      " Log layer parameters ",
      " kappa, zeta0,zetab,Cd  0.4000000      3.4950001E-03   1.000000    ",
      "   5.0007654E-03",
      " First velocity record to use ",
      " k,t(k),uu(k),vv(k)           2   36000.00000000000       0.5000000    ",
      "  -0.2500000    ",
      // The first trace line shows the time 0; no node above the grid: zeros.
      "TUV       0.0000  0.0000E+00 0.0000E+00 0.5000E+00 -.2500E+00 0.0000E+00 0.0000E+00",
  };
  EXPECT_EQ(log, expectLog);
  const std::vector<std::string> expectConsole = {
      " VelInfo4.  Initialize",
      " Number of timeseries files required           1",
      " Velocities scaled by    1.000000    ",
      " Start from bottom up",
      " File name for height   1.000000    ",
      " Log layer parameters ",
      " kappa, zeta0,zetab,Cd  0.4000000      3.4950001E-03   1.000000    ",
      "   5.0007654E-03",
  };
  EXPECT_EQ(console, expectConsole);

  // The first update: the next row, its trace line with the row's time.
  const std::size_t before = log.size();
  ASSERT_EQ(call(1), 0);
  EXPECT_EQ(std::vector<std::string>(log.begin() + before, log.end()),
            (std::vector<std::string>{
                " Second velocity record to use ",
                " k,t(k),uu(k),vv(k)           2   39600.00000000000       0.6000000    ",
                "  -0.5000000    ",
                "TUV   39600.0000  0.0000E+00 0.0000E+00 0.6000E+00 -.5000E+00 0.0000E+00 "
                "0.0000E+00"}));
  // The file has no row left for a second update.
  std::int32_t code = 0;
  EXPECT_THROW(VELINFO(VELOCITYMID.unext, VELOCITYMID.vnext, 2, code), IoFailure);
}

TEST_F(VelInfo, UpdatesReadOneRowOfEveryFileAndLogOnlyTheFirst) {
  grid({0.05f, 1.0f, 2.0f, 3.0f}, 2);
  threeHourlySeries();
  ASSERT_EQ(start(kThree, 10 * kHour), 0);
  for (int i = 1; i <= 3; ++i) {
    ASSERT_EQ(call(i), 0);
    EXPECT_EQ(u(4), 3 + (10 + i) / 100.0f);
    EXPECT_EQ(u(1), 0.0f);  // two log-layer nodes: the bed node is at rest
    EXPECT_EQ(v(1), 0.0f);
  }
  EXPECT_NEAR(VELSERIESMID.tnext, 13 * kHour, 1e-6);
  EXPECT_EQ(count(log, " Second velocity record to use "), 3u);  // once per file
  EXPECT_EQ(count(log, " First velocity record to use "), 3u);
  // The trace line shows the lowest current meter and the node above it.
  EXPECT_EQ(log.back(),
            "TUV   46800.0000  0.0000E+00 0.0000E+00 0.1130E+01 0.1000E+00 0.2130E+01 0.1000E+00");
}

TEST_F(VelInfo, TheLogLayerFollowsTheLogLawDownToTheRoughnessLength) {
  grid({0.01f, 0.1f, 1.0f}, 3);
  series("vel1.dat", row(0, 0.5, -0.25) + row(kHour, 1.0, 0.5));
  ASSERT_EQ(start("vel1.dat\n", 0), 0);
  const double lnb = std::log(1.0 / 0.003495);
  EXPECT_NEAR(u(2), 0.5 * std::log(0.1 / 0.003495) / lnb, 1e-6);
  EXPECT_NEAR(u(2), 0.296, 5e-4);
  EXPECT_NEAR(u(1), 0.5 * std::log(0.01 / 0.003495) / lnb, 1e-6);
  EXPECT_NEAR(u(1), 0.093, 5e-4);
  EXPECT_NEAR(v(2), -0.25 * std::log(0.1 / 0.003495) / lnb, 1e-6);
  EXPECT_EQ(u(3), 0.5f);
  ASSERT_EQ(call(1), 0);  // derived again at every update
  EXPECT_NEAR(u(2), 1.0 * std::log(0.1 / 0.003495) / lnb, 2e-6);

  // Nodes at and below zeta0 are at rest.
  resetAllState();
  grid({0.002f, 0.003495f, 0.01f, 1.0f}, 4);
  ASSERT_EQ(start("vel1.dat\n", 0), 0);
  EXPECT_EQ(u(1), 0.0f);
  EXPECT_EQ(u(2), 0.0f);
  EXPECT_EQ(v(2), 0.0f);
  EXPECT_GT(u(3), 0.0f);
}

TEST_F(VelInfo, ExtraColumnsAreSkippedAndTooFewStopTheRun) {
  grid({0.05f, 1.0f}, 2);
  series("vel1.dat", "1.5 0.12 -0.03 99\n1.5416666666666667 0.2 0.1 99\n", 4);
  ASSERT_EQ(start("vel1.dat\n", 1.5 * 86400), 0);
  EXPECT_EQ(VELSERIESMID.t[1], 1.5 * 3600 * 24);
  EXPECT_EQ(u(2), 0.12f);
  EXPECT_EQ(v(2), -0.03f);
  ASSERT_EQ(call(1), 0);
  EXPECT_EQ(u(2), 0.2f);
  EXPECT_EQ(v(2), 0.1f);

  resetAllState();
  grid({0.05f, 1.0f}, 2);
  series("vel2.dat", "1.5 0.12\n", 2);
  ASSERT_EQ(start("vel2.dat\n", 1.5 * 86400), -1);
  EXPECT_EQ(console.back(), " GetVelInfo: Not enough columns. ncol < 3           2");
  EXPECT_EQ(log.back(), " Not enough columns. ncol < 3           2");
}

TEST_F(VelInfo, MoreSeriesThanFilesAllowedStopTheRun) {
  std::vector<float> h;
  for (int k = 0; k < 87; ++k) h.push_back(0.05f + k);
  grid(h, 2);  // 86 current meters
  ASSERT_EQ(start("", 0), -1);
  const std::vector<std::string> lines = {
      " Number of interior nodes greater than maximum number of files",
      " Increase MAXVELFILES and recompile ",
      " MAXVELFILES, ninterior           85          86"};
  EXPECT_EQ(std::vector<std::string>(console.end() - 3, console.end()), lines);
  EXPECT_EQ(std::vector<std::string>(log.end() - 3, log.end()), lines);
}

TEST_F(VelInfo, AGridNodeInfoRefusedIsNeverUsed) {
  VELINFOMID.nloglayer = 121;  // as left by a refused log-layer file
  open("");
  std::int32_t code = 0;
  EXPECT_THROW(VELINFO(VELOCITYMID.unext, VELOCITYMID.vnext, 0, code), StopRun);
}
