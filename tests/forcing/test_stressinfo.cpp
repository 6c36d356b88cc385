// The bottom stress series: the columns each friction model needs, the
// start record against the start time, the rows of the updates, and the
// interpolation of a friction value within an update interval.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "forcing/forcingtest.hpp"
#include "forcing/stressinfo.hpp"
#include "runtime/stop.hpp"
#include "state/friction.hpp"

using forcingtest::count;
using forcingtest::days;
using forcingtest::padded;
using testutil::writeFile;

namespace {

constexpr double kHour = 3600.0;

class StressInfo : public forcingtest::Fixture {
 protected:
  // The stress file: header, titles, year, ncol and the rows given.
  void file(int ncol, const std::string& rows) {
    writeFile("stress.dat", "bottom stress\nfrom the tripod\nXXXX\nu*cw and u*c\nhourly\n1998\n" +
                                std::to_string(ncol) + "\n" + rows);
    FRICTIONIN.fricfile.set("stress.dat");
  }
  // STRESSINFO into fricnext (first filled with 7s); -1 on a stop.
  int call(int flag, int nfricp, double time0 = 10 * kHour, double dtvu = kHour) {
    if (flag == 0) open();
    for (float& f : FRICTIONMID.fricnext) f = 7.0f;
    std::int32_t code = 77;
    if (stops([&] { STRESSINFO(FRICTIONMID.fricnext, time0, dtvu, flag, code, nfricp); })) {
      return -1;
    }
    return code;
  }
  std::vector<float> us() const {
    return std::vector<float>(FRICTIONMID.fricnext, FRICTIONMID.fricnext + 3);
  }
};

// Hourly rows at `minute` past the hours 8..13, with `values` after the time.
std::string hourly(const std::string& values, int minute = 0) {
  std::string rows;
  for (int hr = 8; hr <= 13; ++hr) rows += days(hr * kHour + minute * 60) + " " + values + "\n";
  return rows;
}

}  // namespace

TEST_F(StressInfo, OneFrictionVelocityWithItsWholeLog) {
  file(2, hourly("0.012"));
  ASSERT_EQ(call(0, 0), 0);
  EXPECT_EQ(us(), (std::vector<float>{0.012f, 0.0f, 0.0f}));
  EXPECT_EQ(FRICTIONIN.fricunit, 20);
  EXPECT_EQ(STRESSMID.t1, 36000.0f);
  const std::vector<std::string> expectLog = {
      " StressInfo1.  Initialize",
      padded("u*cw and u*c", 120),
      padded("hourly", 120),
      "         1998",
      "            2",
      "    36000.00000000000        3600.000000000000        34200.00000000000     ",
      " Velocity Update time step that vorn is using   3600.000000000000     ",
      " First stress record to use ",
      " t,us   36000.00      1.2000000E-02",
      " TUs   36000.00      1.2000000E-02",
  };
  EXPECT_EQ(log, expectLog);
  EXPECT_EQ(console, (std::vector<std::string>{" StressInfo1.  Initialize"}));

  ASSERT_EQ(call(1, 0), 0);
  EXPECT_EQ(us(), (std::vector<float>{0.012f, 0.0f, 0.0f}));
  EXPECT_EQ(std::vector<std::string>(log.end() - 3, log.end()),
            (std::vector<std::string>{" Second stress record to use ",
                                      " t,us   39600.00      1.2000000E-02",
                                      " TUs   39600.00      1.2000000E-02"}));
  const std::size_t before = log.size();
  ASSERT_EQ(call(2, 0), 0);  // later updates: the trace line alone
  EXPECT_EQ(std::vector<std::string>(log.begin() + before, log.end()),
            (std::vector<std::string>{" TUs   43200.00      1.2000000E-02"}));
  EXPECT_EQ(us(), (std::vector<float>{0.012f, 0.0f, 0.0f}));
}

TEST_F(StressInfo, EachFrictionModelNeedsItsColumns) {
  struct Case {
    int nfricp, ncol;
    const char* console;  // "" when the file is accepted
    const char* log;
  };
  const Case cases[] = {
      {0, 1, " StressInfo1: Not enough columns, ncol =            1",
       " Not enough columns, ncol =            1"},
      {-1, 2, " StressInfo1: Not enough columns, ncol=            2",
       " Not enough columns, ncol=            2"},
      {-2, 3, " StressInfo1: Not enough columns, ncol=            3",
       " Not enough columns, ncol=            3"},
      {0, 2, "", ""},
      {-1, 3, "", ""},
      {-2, 4, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.nfricp) + " " + std::to_string(c.ncol));
    resetAllState();
    file(c.ncol, hourly("0.012 0.010 0.3"));
    if (*c.console == '\0') {
      EXPECT_EQ(call(0, c.nfricp), 0);
    } else {
      ASSERT_EQ(call(0, c.nfricp), -1);
      EXPECT_EQ(console.back(), c.console);
      EXPECT_EQ(log.back(), c.log);
    }
  }
  // The two-layer model: u*cw, u*c and the height of the layer boundary.
  EXPECT_EQ(us(), (std::vector<float>{0.012f, 0.010f, 0.3f}));
  EXPECT_EQ(log.back(), " TUs   36000.00      1.2000000E-02  9.9999998E-03  0.3000000    ");
}

TEST_F(StressInfo, TheStartRecordMustMatchTheStartTime) {
  // time0 as the velocity series left it, at 10:00: the 10:00 record.
  file(2, hourly("0.012"));
  EXPECT_EQ(call(0, 0), 0);
  EXPECT_EQ(STRESSMID.t1, 36000.0f);

  // Records at half past: the nearest one is 30 minutes off.
  resetAllState();
  file(2, hourly("0.012", 30));
  ASSERT_EQ(call(0, 0), -1);
  EXPECT_EQ(log.back(), " Time stamp of Stress varies from velocity!!!!");
  EXPECT_EQ(console.back(), " Time stamp of Stress varies from velocity!!!!");

  // A series that begins too late.
  resetAllState();
  file(2, days(12 * kHour) + " 0.012\n");
  EXPECT_EQ(call(0, 0), -1);

  // One that ends before the start time: the end of the file.
  resetAllState();
  file(2, days(8 * kHour) + " 0.012\n");
  open();
  std::int32_t code = 0;
  EXPECT_THROW(STRESSINFO(FRICTIONMID.fricnext, 10 * kHour, kHour, 0, code, 0), IoFailure);
}

TEST_F(StressInfo, ColumnsBeyondTheThreeValuesAreSkipped) {
  std::string rows;
  for (int hr = 9; hr <= 11; ++hr) {
    rows += days(hr * kHour) + " 0.0" + std::to_string(hr) + " 0.005 0.25 88 99\n";
  }
  file(5, rows);
  ASSERT_EQ(call(0, -2), 0);
  EXPECT_EQ(us(), (std::vector<float>{0.010f, 0.005f, 0.25f}));
  EXPECT_EQ(log.back(), " TUs   36000.00      9.9999998E-03  4.9999999E-03  0.2500000    ");
  ASSERT_EQ(call(1, -2), 0);
  EXPECT_EQ(us(), (std::vector<float>{0.011f, 0.005f, 0.25f}));
  EXPECT_NEAR(STRESSMID.t1, 39600.0f, 0.01f);
}

TEST_F(StressInfo, AFileThatCannotBeOpenedStopsTheRunNamingIt) {
  FRICTIONIN.fricfile.set("nosuch.dat");
  open();
  std::int32_t code = 0;
  EXPECT_TRUE(stops([&] { STRESSINFO(FRICTIONMID.fricnext, 0, kHour, 0, code, 0); }));
  EXPECT_EQ(console.back(), " Error opening the file" + padded("nosuch.dat", 120));
}

TEST(InterpScalar, LinearInTimeWithoutClamping) {
  EXPECT_EQ(INTERPSCALAR(0.01f, 0.02f, 1800, 3600), 0.015f);
  EXPECT_EQ(INTERPSCALAR(0.01f, 0.02f, 0, 3600), 0.01f);
  EXPECT_EQ(INTERPSCALAR(0.01f, 0.02f, 3600, 3600), 0.02f);
  EXPECT_EQ(INTERPSCALAR(0.0f, 1.0f, 5400, 3600), 1.5f);
  // The weight is rounded to single precision before it is used.
  const float w = static_cast<float>(1.0 / 3.0);
  EXPECT_EQ(INTERPSCALAR(0.0f, 3.0f, 1200, 3600), w * 3.0f);
}
