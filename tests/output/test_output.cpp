// Output scheduling and the sediment, velocity-profile, packet and
// statistics writers: when records fall due, the questions asked for each
// kind, and the exact shape of every record.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "forcing/forcingtest.hpp"
#include "output/modelrecords.hpp"
#include "output/outfileopen.hpp"
#include "output/output.hpp"
#include "state/friction.hpp"
#include "state/outputs.hpp"
#include "state/packets.hpp"
#include "state/rouse.hpp"
#include "state/settling.hpp"
#include "state/timing.hpp"
#include "state/velinfo.hpp"

namespace {

using forcingtest::count;
using forcingtest::records;

class Output : public forcingtest::Fixture {
 protected:
  void SetUp() override {
    Fixture::SetUp();
    TIMINGMID.dtact = 600.0;
    TIMINGIN.time0 = 86400.0;
  }
  // Opens `name` on unit 30 as an output file of the test.
  std::int32_t file(const char* name) {
    rio::openUnit(30, name, rio::FileStatus::unknown);
    return 30;
  }
  std::vector<std::string> written(const char* name) {
    rio::flushUnit(30);
    return records(testutil::readFile(name));
  }
  // Runs `steps` advection steps of dtact and returns the steps after
  // which the sediment file received a record.
  std::vector<int> sedimentSteps(double dtact, double interval, int steps) {
    TIMINGMID.dtact = dtact;
    rio::closeUnit(30);
    std::filesystem::remove("sed.out");
    SEDIN.unit = file("sed.out");
    SEDIN.dtout = interval;
    std::vector<int> at;
    std::size_t before = 0;
    for (int n = 1; n <= steps; ++n) {
      TIMINGMID.time = TIMINGIN.time0 + (n - 0.5) * dtact;
      TIMINGMID.timef = TIMINGIN.time0 + n * dtact;
      std::int32_t errorcode = -1;
      OUTPUT(0, errorcode);
      EXPECT_EQ(errorcode, 0);
      const std::size_t now = written("sed.out").size();
      if (now != before) at.push_back(n);
      before = now;
    }
    return at;
  }
};

TEST_F(Output, RecordsFallDueWhenTheElapsedTimeIsWithinAStepOfAMultiple) {
  EXPECT_EQ(sedimentSteps(600.0, 3600.0, 19), (std::vector<int>{6, 12, 18}));
  EXPECT_EQ(sedimentSteps(1000.0, 3600.0, 15), (std::vector<int>{4, 8, 11, 15}));
}

TEST_F(Output, AnIntervalOfZeroAsksForNoFileName) {
  open("0\n1.5\nsed.out\n");
  std::int32_t unit = 0, errorcode = 0;
  double dtout = -1;
  OUTFILEOPEN(unit, dtout, "sediment parameter output", errorcode);
  EXPECT_EQ(dtout, 0.0);
  EXPECT_EQ(unit, 0);
  // The next record belongs to the next kind.
  OUTFILEOPEN(unit, dtout, "velocity profiles", errorcode);
  EXPECT_EQ(dtout, 5400.0);
  EXPECT_EQ(unit, 20);
  collect();
  const std::vector<std::string> expect = {
      " Enter Time step (in hours) for sediment parameter output",
      " Time step for sediment parameter output:",
      "   0.0000000000000000E+000",
      " No output for sediment parameter output",
      "",
      " Enter Time step (in hours) for velocity profiles",
      " Time step for velocity profiles:",
      "    1.500000000000000     ",
      " Enter file name for velocity profiles",
      " File name for velocity profiles",
      forcingtest::padded("sed.out", 120)};
  EXPECT_EQ(console, expect);
  EXPECT_EQ(log[0], " Time step for sediment parameter output:");
  EXPECT_EQ(log.back(), forcingtest::padded("sed.out", 120));
  EXPECT_TRUE(std::filesystem::exists("sed.out"));
}

TEST_F(Output, ShortIntervalsAreRaisedToTheStepKeepingTheirSign) {
  TIMINGMID.dtact = 60.0;
  open("0.001\nfast.out\n-0.001\n-2\n");
  std::int32_t unit = 0, errorcode = 0;
  double dtout = 0;
  OUTFILEOPEN(unit, dtout, "Concentration", errorcode);
  EXPECT_EQ(dtout, 60.0);
  collect();
  // Four free-format items: the name would take the record past 79
  // characters, so it begins a record of its own.
  EXPECT_EQ(count(console, " Too Small!!!, Using default model timestep:    60.00000000000000"
                           "      for "),
            1u);
  EXPECT_EQ(count(console, " Concentration"), 1u);
  EXPECT_EQ(count(log, console[3]), 0u);  // the console only
  unit = 0;
  OUTFILEOPEN(unit, dtout, "Concentration", errorcode);
  EXPECT_EQ(dtout, -60.0);
  EXPECT_EQ(unit, 0);
  OUTFILEOPEN(unit, dtout, "Concentration", errorcode);
  EXPECT_EQ(dtout, -7200.0);  // evaluated every 2 h without a file
  EXPECT_EQ(unit, 0);
  collect();
  EXPECT_EQ(count(console, " Postprocess but suppress output for Concentration"), 2u);
  EXPECT_EQ(count(log, " Postprocess but suppress output for Concentration"), 2u);
}

// The name joins the record while the record stays within 79 characters.
TEST_F(Output, TheTooSmallLineWrapsBeforeALongName) {
  TIMINGMID.dtact = 1200.0;
  open("-0.1\n-0.1\n");  // no files: evaluated without output
  std::int32_t unit = 0, errorcode = 0;
  double dtout = 0;
  OUTFILEOPEN(unit, dtout, "sediment parameter output", errorcode);
  OUTFILEOPEN(unit, dtout, "map", errorcode);
  collect();
  const std::string head = " Too Small!!!, Using default model timestep:    1200.000000000000      for ";
  EXPECT_EQ(count(console, head), 1u);
  EXPECT_EQ(count(console, " sediment parameter output"), 1u);
  EXPECT_EQ(count(console, head + "map"), 1u);
}

TEST_F(Output, AStepTooShortForAnyOutputStopsTheRun) {
  TIMINGMID.dtact = 0.01;
  open("1\n");
  std::int32_t unit = 0, errorcode = 0;
  double dtout = 0;
  EXPECT_TRUE(stops([&] { OUTFILEOPEN(unit, dtout, "velocity profiles", errorcode); }));
  EXPECT_EQ(console.back(), " Model time step too small!!!  See subroutine outfileopen.");
  EXPECT_EQ(log.back(), console.back());
}

TEST_F(Output, SedimentAndVelocityRecords) {
  SEDIN.unit = file("sed.out");
  FRICTIONMID.ustar = 0.0427f;
  FRICTIONMID.ustarc = 0.02f;
  FRICTIONMID.zw = 0.05f;
  ROUSE.rousew = 0.25f;
  ROUSE.rousei = 0.185f;
  PACKETS.ktotal = 1234;
  PACKETS.kbreak = 12;
  SETTLINGMID.wstar = 0.001f;
  SEDOUT(43200.0, false);
  EXPECT_EQ(written("sed.out"),
            (std::vector<std::string>{"  0.50000E+00 .4270E-01 .2000E-01 .5000E-01 .250E+00 "
                                      ".185E+00 .000E+00 .000E+00    1234      12 .10E-02"}));
  rio::closeUnit(30);

  VELIN.unit = file("vel.out");
  VELINFOMID.nnv = 3;
  const float h[] = {0.05f, 0.2f, 1.0f};
  for (int j = 0; j < 3; ++j) {
    VELINFOMID.heightnodes[j] = h[j];
    VELOCITYMID.ucur[j] = 0.1f * (j + 1);
    VELOCITYMID.vcur[j] = -0.05f * (j + 1);
  }
  VELOUT(86400.0, true);
  VELOUT(129600.0, false);
  EXPECT_EQ(written("vel.out"), (std::vector<std::string>{
                                    " Velocity profile ",
                                    "  0.15000E+01    0.050 0.1000E+00 -.5000E-01",
                                    "  0.15000E+01    0.200 0.2000E+00 -.1000E+00",
                                    "  0.15000E+01    1.000 0.3000E+00 -.1500E+00"}));
}

TEST_F(Output, PacketFramesAndTooWideValues) {
  PACKIN.unit = file("packets.out");
  PACKOUT(0.0, true);
  PACKETS.ktotal = 2;
  POSITIONS.x[0] = 12.5f;
  POSITIONS.y[0] = -3.25f;
  POSITIONS.z[0] = 0.025f;
  POSITIONS.x[1] = 1.0e10f;  // wider than F15.6
  POSITIONS.y[1] = 0.0f;
  POSITIONS.z[1] = 10.0f;
  PACKOUT(43200.0, false);
  PACKETS.ktotal = 0;
  PACKOUT(86400.0, false);
  EXPECT_EQ(written("packets.out"),
            (std::vector<std::string>{" Packet positions",
                                      " ktotal, time            2  0.5000000000000000     ",
                                      "       12.500000       -3.250000   0.025000",
                                      " *************** " + std::string("       0.000000  10.000000"),
                                      " ktotal, time            0   1.000000000000000     "}));
}

class Statistics : public Output {
 protected:
  // The statistics record of the packets given, as numbers.
  std::vector<double> stats(const std::vector<float>& x, const std::vector<float>& y,
                            const std::vector<float>& z) {
    STATSIN.unit = file("stats.out");
    STATSIN.zlow = 1.0f;
    STATSIN.ztop = 2.0f;
    STATSIN.radius = 100.0f;
    PACKETS.pmass = 1.0f;
    PACKETS.ktotal = static_cast<std::int32_t>(x.size());
    for (std::size_t k = 0; k < x.size(); ++k) {
      POSITIONS.x[k] = x[k];
      POSITIONS.y[k] = y[k];
      POSITIONS.z[k] = z[k];
    }
    STATOUT(86400.0, false);
    std::vector<std::string> r = written("stats.out");
    rio::closeUnit(30);
    EXPECT_EQ(r.size(), 1u);
    line = r.at(0);
    std::vector<double> v;
    for (std::size_t p = 0; p + 11 <= line.size() || p == 0; p += p == 0 ? 15 : 11) {
      v.push_back(std::strtod(line.substr(p, p == 0 ? 15 : 11).c_str(), nullptr));
      if (p == 0 && line.size() < 15) break;
    }
    return v;
  }
  std::string line;
};

TEST_F(Statistics, PrincipalAxesOfTheCloud) {
  // Spread along x only.
  std::vector<double> s = stats({-10, 0, 10, 20}, {5, 5, 5, 5}, {1, 1, 1, 1});
  ASSERT_EQ(s.size(), 9u) << line;
  EXPECT_EQ(line.size(), 15u + 8 * 11);  // the ninth slot of the layout stays empty
  EXPECT_EQ(s[0], 1.0);
  EXPECT_NEAR(s[1], 5.0, 1e-6);
  EXPECT_NEAR(s[2], 5.0, 1e-6);
  EXPECT_NEAR(s[4], 500.0 / 3.0, 0.1);
  EXPECT_EQ(s[5], 0.0);
  EXPECT_EQ(s[6], 0.0);
  // Along y = x: 45 degrees.
  s = stats({0, 1, 2, 3}, {0, 1, 2, 3}, {1, 1, 1, 1});
  EXPECT_NEAR(s[6], 45.0, 0.01);
  EXPECT_NEAR(s[5], 0.0, 1e-5);
  // Equal spreads without correlation: no direction, equal variances.
  s = stats({-1, 1, 0, 0}, {0, 0, -1, 1}, {1, 1, 1, 1});
  EXPECT_EQ(s[6], 0.0);
  EXPECT_EQ(s[4], s[5]);
}

TEST_F(Statistics, TheCylinderCountsTheLayerFromZlowUpToButNotIncludingZtop) {
  // Four packets within the radius of the centre of mass, two far outside.
  std::vector<double> s =
      stats({0, 0, 0, 0, 1000, -1000}, {0, 0, 0, 0, 0, 0}, {1.0f, 2.0f, 1.5f, 0.5f, 1.5f, 1.5f});
  const double area = 3.14159 * 100.0 * 100.0;
  EXPECT_NEAR(s[7], 4.0 / area, 1e-3 * 4.0 / area);  // every packet in the column
  EXPECT_NEAR(s[8], 2.0 / area, 1e-3 * 2.0 / area);  // at zlow and at 1.5 m; not at ztop
}

TEST_F(Statistics, ALonePacketHasNoSpread) {
  std::vector<double> s = stats({7}, {3}, {1.5f});
  EXPECT_EQ(s[4], 0.0);
  EXPECT_EQ(s[5], 0.0);
  EXPECT_EQ(s[6], 0.0);
  EXPECT_NEAR(s[1], 7.0, 1e-6);
}

}  // namespace

namespace {

TEST_F(Output, TheStatisticsLayerIsAskedForAndMustHaveAThickness) {
  open("0\n0\n1\nstats.out\n0.05, 2.0, 500\n0\n0\n0\n0\n0\n");
  std::int32_t errorcode = -1;
  OUTPUT(-1, errorcode);
  EXPECT_EQ(errorcode, 0);
  EXPECT_EQ(STATSIN.dtout, 3600.0);
  EXPECT_EQ(STATSIN.radius, 500.0f);
  collect();
  EXPECT_EQ(count(console, " For Conc. following center of mass"), 1u);
  EXPECT_EQ(count(console, " Enter zlow,ztop,radius (metres)"), 1u);
  EXPECT_EQ(count(log, " z1,z2,radius  5.0000001E-02   2.000000       500.0000    "), 1u);

  resetAllState();
  rio::abandonAllUnits();
  open("0\n0\n1\nstats2.out\n2.0 2.0 500\n");
  TIMINGMID.dtact = 600.0;
  EXPECT_TRUE(stops([&] { OUTPUT(-1, errorcode); }));
  EXPECT_EQ(console.back(), " Statistics: the sampling layer has no thickness (zlow = ztop).");
  EXPECT_EQ(log.back(), console.back());
}

}  // namespace

namespace {

// The output records of a run asking for concentrations at one point every
// `conc` hours and for the biology at the points every `bio` hours.
std::string concAndBiology(const char* conc, const char* bio) {
  // A negative interval names no file.
  const std::string name = conc[0] == '-' ? "" : "conc.out\n";
  return std::string("0\n0\n0\n0\n") + conc + "\n" + name + "1\n0 0 100 0.05 1\n0\n" + bio +
         "\nbio.out\n0 1\n0\n";
}

TEST_F(Output, TheBiologyIntervalMustBeAWholeMultipleOfTheConcentrations) {
  std::int32_t errorcode = -1;
  open(concAndBiology("1", "2"));
  OUTPUT(-1, errorcode);
  EXPECT_EQ(errorcode, 0);
  EXPECT_EQ(BIOLOGYIN.dtbio, 7200.0);
  EXPECT_EQ(CONTRIN.dtout, 3600.0);

  resetAllState();
  rio::abandonAllUnits();
  open(concAndBiology("1", "1.5"));
  TIMINGMID.dtact = 600.0;
  EXPECT_TRUE(stops([&] { OUTPUT(-1, errorcode); }));
  EXPECT_EQ(console.back(), " Biology Timestep Must Be Multiple of Concentration, Exiting!!!");
}

TEST_F(Output, ANegativeConcentrationIntervalEvaluatesForTheBiologyWithoutAFile) {
  std::int32_t errorcode = -1;
  open(concAndBiology("-2", "2"));
  OUTPUT(-1, errorcode);
  EXPECT_EQ(errorcode, 0);
  EXPECT_FALSE(CONTRIN.writeconc);
  EXPECT_EQ(CONTRIN.dtout, 7200.0);
  collect();
  EXPECT_EQ(count(console, " Postprocess but suppress output for Concentration"), 1u)
      << testutil::readFile("console.txt");
  EXPECT_FALSE(std::filesystem::exists("conc.out"));
}

}  // namespace
