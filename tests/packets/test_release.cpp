// The packet store and both release modes: the ranks drawn at
// initialisation, the release events of a steady release, the records of a
// discharge series, and the capacity stop.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "forcing/forcingtest.hpp"
#include "packets/crtpckts.hpp"
#include "random/ranf1.hpp"
#include "state/limits.hpp"
#include "state/packets.hpp"
#include "state/release.hpp"
#include "state/timing.hpp"

namespace {

using forcingtest::count;

class Release : public forcingtest::Fixture {
 protected:
  void SetUp() override {
    Fixture::SetUp();
    resetRandomPackage();
    SETALL(1234567, 7654321);
    open();
    TIMINGIN.time0 = 10.0 * 86400.0;
  }
  void TearDown() override {
    Fixture::TearDown();
    resetRandomPackage();
  }
  void steady(float relmass, std::int32_t npack, float addint, float reldur) {
    RELEASEIN.btype = 1;
    RELEASEIN.relmass = relmass;
    RELEASEIN.npack = npack;
    RELEASEIN.addint = addint;
    RELEASEIN.reldur = reldur;
  }
  void call(double time, double dtact, std::int32_t iflag) {
    std::int32_t errorcode = -1;
    if (RELEASEIN.btype != 0) {
      CRTPCKTS(POSITIONS.x, POSITIONS.y, POSITIONS.z, RANKS.ranks, PACKETS.ktotal, time, dtact,
               PACKETS.mtotal, PACKETS.pmass, iflag, errorcode);
    } else {
      CRTPCKTSDIS(POSITIONS.x, POSITIONS.y, POSITIONS.z, RANKS.ranks, PACKETS.ktotal, time,
                  dtact, PACKETS.mtotal, PACKETS.pmass, iflag, errorcode);
    }
    EXPECT_EQ(errorcode, 0);
  }
  // Initialises, then runs `steps` advection steps of dtact seconds from
  // time0 and returns ktotal after each step.
  std::vector<std::int32_t> run(double dtact, int steps) {
    call(TIMINGIN.time0, dtact, -1);
    std::vector<std::int32_t> k;
    for (int i = 0; i < steps; ++i) {
      call(TIMINGIN.time0 + (i + 0.5) * dtact, dtact, 0);
      EXPECT_EQ(PACKETS.mtotal, static_cast<float>(PACKETS.ktotal) * PACKETS.pmass);
      k.push_back(PACKETS.ktotal);
    }
    return k;
  }
};

TEST_F(Release, InitialisationDrawsOneRankPerSlotInOrder) {
  steady(1000.0f, 1000, 3600.0f, 3 * 3600.0f);
  POSITIONS.x[7] = 5.0f;
  POSITIONS.z[KMAX - 1] = 3.0f;
  call(TIMINGIN.time0, 60.0, -1);
  EXPECT_EQ(PACKETS.ktotal, 0);
  EXPECT_EQ(POSITIONS.x[7], 0.0f);
  EXPECT_EQ(POSITIONS.z[KMAX - 1], 0.0f);
  resetRandomPackage();
  SETALL(1234567, 7654321);
  for (std::int32_t k : {0, 1, 2, 999, KMAX - 1}) {
    if (k == 999) {
      for (int j = 3; j < 999; ++j) RANF();
    }
    if (k == KMAX - 1) {
      for (int j = 1000; j < KMAX - 1; ++j) RANF();
    }
    EXPECT_EQ(RANKS.ranks[k], RANF()) << "slot " << k;
  }
  collect();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[0], " CreatePackets.  initialize");
  EXPECT_EQ(log[1].rfind(" initial packets, packet mass            0", 0), 0u) << log[1];
  EXPECT_EQ(log[2], " add interval, add number    3600.000             250");
}

TEST_F(Release, HourlyEventsOverThreeHoursReleaseAQuarterEach) {
  steady(1000.0f, 1000, 3600.0f, 3 * 3600.0f);
  std::vector<std::int32_t> k = run(60.0, 300);
  EXPECT_EQ(PACKETS.pmass, 1.0f);
  EXPECT_EQ(k[0], 250);
  EXPECT_EQ(k[59], 250);
  EXPECT_EQ(k[60], 500);
  EXPECT_EQ(k[120], 750);
  EXPECT_EQ(k[179], 750);
  EXPECT_EQ(k[180], 1000);
  EXPECT_EQ(k[299], 1000);
}

TEST_F(Release, ARemainderIsReleasedClampedAtOneMoreEvent) {
  steady(1000.0f, 1000, 3600.0f, 2 * 3600.0f);
  std::vector<std::int32_t> k = run(60.0, 240);
  EXPECT_EQ(k[0], 333);
  EXPECT_EQ(k[60], 666);
  EXPECT_EQ(k[120], 999);
  EXPECT_EQ(k[180], 1000);
  EXPECT_EQ(PACKETS.mtotal, 1000.0f * PACKETS.pmass);
}

TEST_F(Release, EventsOnlyAtStepsStartingOnAMultipleOfTheInterval) {
  steady(100.0f, 100, 90.0f, 900.0f);  // nrel 10: 9 packets an event
  std::vector<std::int32_t> k = run(60.0, 8);
  // Steps start at 0, 60, 120, 180, 240, 300, 360, 420 s.
  EXPECT_EQ(k, (std::vector<std::int32_t>{9, 9, 9, 18, 18, 18, 27, 27}));
}

TEST_F(Release, AnIntervalShorterThanTheStepIsRaisedToIt) {
  steady(100.0f, 100, 30.0f, 600.0f);
  std::vector<std::int32_t> k = run(60.0, 3);
  EXPECT_EQ(RELEASEIN.addint, 60.0f);
  EXPECT_EQ(DISCHARGE.addnum, 9);  // 100 / (600/60 + 1)
  EXPECT_EQ(k, (std::vector<std::int32_t>{9, 18, 27}));
  collect();
  EXPECT_EQ(log[2], " add interval, add number    60.00000               9");
}

TEST_F(Release, NoDurationReleasesEverythingAtTheFirstStep) {
  steady(2500.0f, 1000, 3600.0f, 0.0f);
  std::vector<std::int32_t> k = run(60.0, 2);
  EXPECT_EQ(k, (std::vector<std::int32_t>{1000, 1000}));
  EXPECT_FLOAT_EQ(PACKETS.mtotal, 2500.0f);
  // An interval longer than the duration is all at once as well.
  steady(10.0f, 10, 7200.0f, 3600.0f);
  EXPECT_EQ(run(60.0, 1)[0], 10);
}

TEST_F(Release, MorePacketsThanTheStoreHoldsStopTheRun) {
  steady(1.0f, KMAX + 1, 3600.0f, 0.0f);
  call(TIMINGIN.time0, 60.0, -1);
  EXPECT_TRUE(stops([&] { call(TIMINGIN.time0 + 30.0, 60.0, 0); }));
  for (const auto* recs : {&console, &log}) {
    EXPECT_EQ(count(*recs, " **ERROR:  CrtPckts2: "), 1u);
    EXPECT_EQ(count(*recs, " Too many packets "), 1u);
    EXPECT_EQ(recs->back().rfind(" KMAX,ktotal,time     1001000     1001001", 0), 0u)
        << recs->back();
  }
}

// ---- the discharge series ------------------------------------------------

class Discharge : public Release {
 protected:
  void series(const std::string& rows, int ncol = 3) {
    testutil::writeFile("dis.txt",
                        "Discharge of the Ald at the weir\r\nflows in m3/s, packets per record\n"
                        "XXXX\n2.5\nAld weir 2026, hourly\n2026\n" +
                            std::to_string(ncol) + "\n" + rows);
    RELEASEIN.btype = 0;
    RELEASEIN.pckfile.set("dis.txt");
    RELEASEIN.pckunit = 30;
  }
};

TEST_F(Discharge, RecordsAreAppliedAtTheFirstStepWhoseMiddleReachesThem) {
  series("10.0 100 1.0\n10.5 50 2.0\n");
  std::vector<std::int32_t> k = run(3600.0, 14);
  EXPECT_EQ(PACKETS.pmass, 2.5f);
  EXPECT_EQ(k[0], 100);
  EXPECT_EQ(k[10], 100);  // middle at 10 d + 10.5 h
  EXPECT_EQ(k[11], 100);  // middle at 10 d + 11.5 h: still before 12 h
  EXPECT_EQ(k[12], 150);  // middle at 10 d + 12.5 h
  EXPECT_EQ(k[13], 150);
  EXPECT_FALSE(DISCHARGE.dismore);
  collect();
  EXPECT_EQ(console[0].rfind(" Reading packet info timeseries from file:", 0), 0u);
  EXPECT_EQ(console[1], " " + forcingtest::padded("dis.txt", 120));
  EXPECT_EQ(console[2], " packet mass (g)   2.500000    ");
  EXPECT_EQ(console[3], forcingtest::padded("Ald weir 2026, hourly", 120));
  EXPECT_EQ(console[4], " The Year of Discharge is        2026");
  EXPECT_EQ(log[0], " CreatePackets.  initialize");
  EXPECT_EQ(log[1], " File name for discharge time series:");
  EXPECT_EQ(log[2], forcingtest::padded("dis.txt", 120));
  EXPECT_EQ(count(log, " The Year of Discharge is:        2026"), 1u);
  // Each applied record: its line, wrapped after the two times.
  ASSERT_EQ(log.size(), 9u);
  EXPECT_EQ(log[5], " runtime,distime,ktotal,mtotal   865800.0000000000     ");
  EXPECT_EQ(log[6], "    864000.0000000000              100   250.0000    ");
  EXPECT_EQ(log[8], "    907200.0000000000              150   375.0000    ");
}

TEST_F(Discharge, RecordsBeforeTheStartAllFallDueAtTheFirstStep) {
  series("9.0 10\n9.5 20\n10.0 30\n10.05 40\n11 5\n");
  std::vector<std::int32_t> k = run(3600.0, 1);
  EXPECT_EQ(k[0], 60);  // 10.05 d is after the middle, 10 d + 1800 s
  EXPECT_TRUE(DISCHARGE.dismore);
  collect();
  EXPECT_EQ(count(log, log.back()), 1u);
  std::size_t lines = 0;
  for (const auto& r : log) lines += r.rfind(" runtime,distime,ktotal,mtotal", 0) == 0;
  EXPECT_EQ(lines, 3u);
}

TEST_F(Discharge, ATimeEqualToARecordsTimeAppliesIt) {
  series("10.0 7\n");
  call(TIMINGIN.time0, 600.0, -1);
  call(TIMINGIN.time0 - 1.0, 600.0, 0);
  EXPECT_EQ(PACKETS.ktotal, 0);
  call(TIMINGIN.time0, 600.0, 0);
  EXPECT_EQ(PACKETS.ktotal, 7);
}

// Days become seconds by x 3600 and then x 24. 44.95 d is then exactly the
// middle of a 2880 s step (x 86400 gives half a microsecond later, and the
// record a step late); 44.5958 d shows the two roundings in the log.
TEST_F(Discharge, EventTimesAreDaysTimes3600Times24) {
  series("44.95 7\n45.5958 2\n");
  TIMINGIN.time0 = 44.95 * 3600.0 * 24.0 - 1440.0;
  EXPECT_EQ(run(2880.0, 1)[0], 7);
  resetAllState();
  rio::abandonAllUnits();
  open();
  series("44.5958 3\n");
  TIMINGIN.time0 = 44.5 * 86400.0;
  call(TIMINGIN.time0, 600.0, -1);
  call(44.6 * 86400.0, 600.0, 0);
  EXPECT_EQ(PACKETS.ktotal, 3);
  collect();
  bool shown = false;
  for (const std::string& r : log) shown = shown || r.find("3853077.119999999") != std::string::npos;
  EXPECT_TRUE(shown);
}

TEST_F(Discharge, GivesThePacketsTheRanksOfASteadyRelease) {
  series("10.0 7\n");
  call(TIMINGIN.time0, 600.0, -1);
  resetRandomPackage();
  SETALL(1234567, 7654321);
  EXPECT_EQ(RANKS.ranks[0], RANF());
  EXPECT_EQ(RANKS.ranks[1], RANF());
}

TEST_F(Discharge, TooFewColumnsStopTheRun) {
  series("10.0 7\n", 1);
  EXPECT_TRUE(stops([&] { call(TIMINGIN.time0, 600.0, -1); }));
  EXPECT_EQ(console.back(), " CrtPcktsDis: Not enough columns. ncol < 2");
}

TEST_F(Discharge, BadSeriesAreInputErrorsNamingTheFile) {
  struct Case {
    std::string rows;
    std::string what;
  };
  for (const Case& c : {Case{"", "no data record in the discharge file dis.txt"},
                        Case{"10.0 7\n10.x 8\n", "read error in the discharge file dis.txt, record 9"},
                        Case{"10.0 7\n10.1 -8\n", "negative number of packets in the discharge file dis.txt, record 9"}}) {
    resetAllState();
    rio::abandonAllUnits();
    open();
    TIMINGIN.time0 = 10.0 * 86400.0;
    series(c.rows);
    try {
      call(TIMINGIN.time0, 600.0, -1);
      call(TIMINGIN.time0 + 300.0, 600.0, 0);
      ADD_FAILURE() << "no failure for rows: " << c.rows;
    } catch (const IoFailure& e) {
      EXPECT_NE(e.message.find(c.what), std::string::npos) << e.message;
    }
  }
  resetAllState();
  rio::abandonAllUnits();
  open();
  RELEASEIN.btype = 0;
  RELEASEIN.pckfile.set("missing.txt");
  RELEASEIN.pckunit = 30;
  EXPECT_THROW(call(0.0, 600.0, -1), IoFailure);
}

}  // namespace
