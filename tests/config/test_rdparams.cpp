// The run parameter reader: records, prompts, conversions, echo, and the
// parameters it refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/rdparams7.hpp"
#include "config/usersetup.hpp"
#include "rio/units.hpp"
#include "state/bblran.hpp"
#include "state/friction.hpp"
#include "state/heights.hpp"
#include "state/release.hpp"
#include "state/settling.hpp"
#include "state/shuffling.hpp"
#include "state/timing.hpp"
#include "state/vornio.hpp"
#include "testutil.hpp"

using testutil::readFile;
using testutil::writeFile;

namespace {

// Splits a file's CR LF records.
std::vector<std::string> records(const std::string& text) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t e = text.find("\r\n", pos);
    if (e == std::string::npos) e = text.size();
    out.push_back(text.substr(pos, e - pos));
    pos = e + 2;
  }
  return out;
}

const char* kDrag =
    "vorn.log\n"
    "12345678 87654321      ! seeds\n"
    "24.0 1.5               ! ttotal (h), time0 (days)\n"
    "0.5                    ! dtvu (h)\n"
    "0.1 1.0                ! dta, dtms (h)\n"
    "3                      ! vmethod\n"
    "3                      ! nfricp\n"
    "0.0 0.0 0.0025         ! fricp\n"
    "0.001 0.002 0.0005 0.02 ! settling\n"
    "0.4 0.05               ! kappa href\n"
    "10.0                   ! hmax\n"
    "1                      ! btype\n"
    "2.0e8 2000 1.0 12.0    ! relmass npack addint reldur\n"
    "next record\n";

class Params : public testutil::ScratchDir {
 protected:
  // Parameters on unit 10, the console on unit 11; the log gets unit 2.
  void run(const std::string& par, std::int32_t expectCode = 0) {
    writeFile("run.par", par);
    VORNIO = VornioRecord{};
    FRICTIONIN = FrictioninRecord{};
    RELEASEIN = ReleaseinRecord{};
    rio::openUnit(10, "run.par", rio::FileStatus::old);
    rio::openUnit(11, "console.txt", rio::FileStatus::unknown);
    VORNIO.inunit = 10;
    VORNIO.outunit = 11;
    VORNIO.nextunit = 2;
    std::int32_t code = -1;
    RDPARAMS(code);
    EXPECT_EQ(code, expectCode);
    rio::closeUnit(11);
    rio::closeUnit(VORNIO.logunit);
    console = records(readFile("console.txt"));
    log = records(readFile("vorn.log"));
  }
  std::string nextParameterRecord() {
    Text<40> t;
    rio::readText(10, t);
    return std::string(t.trimmed());
  }
  std::vector<std::string> console, log;
};

std::string pad(std::string s, std::size_t n) {
  s.resize(n, ' ');
  return s;
}

}  // namespace

TEST_F(Params, ReadsConvertsAndEchoes) {
  run(kDrag);
  EXPECT_EQ(VORNIO.logunit, 2);
  EXPECT_EQ(VORNIO.nextunit, 3);
  EXPECT_EQ(BBLRAN.seed1, 12345678);
  EXPECT_EQ(BBLRAN.seed2, 87654321);
  EXPECT_EQ(TIMINGIN.ttotal, 86400.0);
  EXPECT_EQ(TIMINGIN.time0, 129600.0);  // 1.5 days
  EXPECT_EQ(TIMINGIN.dtvu, 1800.0);     // 0.5 h
  EXPECT_DOUBLE_EQ(TIMINGIN.dta, 360.0);
  EXPECT_EQ(SHUFFLINGIN.dtms, 3600.0);
  EXPECT_EQ(SHUFFLINGIN.vmethod, 3);
  EXPECT_EQ(FRICTIONIN.nfricp, 3);
  EXPECT_EQ(FRICTIONIN.fricp[2], 0.0025f);
  EXPECT_EQ(FRICTIONIN.fricfile.trimmed(), "");
  EXPECT_EQ(SETTLINGIN.breakupus, 0.02f);
  EXPECT_EQ(FRICTIONIN.kappa, 0.4f);
  EXPECT_EQ(HEIGTHS.href, 0.05f);
  EXPECT_EQ(HEIGTHS.hmax, 10.0f);
  EXPECT_EQ(RELEASEIN.npack, 2000);
  EXPECT_EQ(RELEASEIN.addint, 3600.0f);
  EXPECT_EQ(RELEASEIN.reldur, 43200.0f);
  EXPECT_EQ(nextParameterRecord(), "next record");  // exactly 13 records read

  ASSERT_EQ(console.size(), 3u);
  EXPECT_EQ(console[0], " Enter file name for error messages and misc. info messages");
  EXPECT_EQ(console[1], " Enter 2 random number seeds (suggest 8-9 digits)");
  EXPECT_EQ(console[2], " btype!=0: Will Read packet release parameters");

  const std::vector<std::string> expect = {
      " ***Echo file for vorn v7.0***",
      "  ",
      "**Read Input Parameters: ",
      " Random number seeds",
      "     12345678    87654321",
      " total integration time (s)   86400.00000000000     ",
      " time at the start (ys)   129600.0000000000     ",
      " time between velocity field updates                   (s)",
      "    1800.000000000000     ",
      " Advection time step, mixing time scale (s)   360.0000000000000     ",
      "    3600.000000000000     ",
      " vertical shuffling method            3",
      " ***Friction parameters ",
      "   0.0000000E+00  0.0000000E+00  2.4999999E-03",
      " Initial settling velocity   1.0000000E-03",
      " Large floc settling velocity   2.0000001E-03",
      " Small floc settling velocity   5.0000002E-04",
      " Floc breakup ustar   2.0000000E-02",
      " kappa, href  0.4000000      5.0000001E-02",
      "  Hmax    10.00000    ",
      " **End of Read Input Parameters",
      "",
      "",
      " ReadInputParameters:",
      "   dta,dtvu,ttotal,time0    360.0000000000000        1800.000000000000     ",
      "    86400.00000000000        129600.0000000000     ",
      "   dtms    3600.000000000000     ",
      "   wstar,kappa,href,hmax   1.0000000E-03  0.4000000      5.0000001E-02",
      "    10.00000    ",
      "   iniwstar,bigwstar,litwstar,breakupus   1.0000000E-03  2.0000001E-03",
      "   5.0000002E-04  2.0000000E-02",
      "   friction   0.0000000E+00  0.0000000E+00  2.4999999E-03",
      "   vmethod,errorcode            3           0",
  };
  EXPECT_EQ(log, expect);
}

TEST_F(Params, Records3And4OnOneLine) {
  // ttotal, time0 and a stray value on one line; dtvu on the next.
  std::string p2 = std::string("vorn.log\n1 2\n24 1.5 99\n0.25\n") +
                   std::string(kDrag).substr(std::string(kDrag).find("0.1 1.0"));
  run(p2);
  EXPECT_EQ(TIMINGIN.ttotal, 86400.0);
  EXPECT_EQ(TIMINGIN.time0, 129600.0);
  EXPECT_EQ(TIMINGIN.dtvu, 900.0);
}

TEST_F(Params, TooManyFrictionParametersStopsReadingAtOnce) {
  std::string par = kDrag;
  par.replace(par.find("3                      ! nfricp"), 1, "4");
  run(par, RDPARAMS_BAD_PARAMETER);
  EXPECT_EQ(FRICTIONIN.nfricp, 3);
  ASSERT_EQ(console.size(), 4u);
  EXPECT_EQ(console[2], " Error: Too many friction parameters.");
  EXPECT_EQ(console[3], " nfricp, NFRICMAX            4           3");
  const std::vector<std::string> expect = {" ***Echo file for vorn v7.0***", "  ",
                                           "**Read Input Parameters: ", " Random number seeds",
                                           "     12345678    87654321"};
  EXPECT_EQ(log, expect);
  EXPECT_EQ(TIMINGIN.dtvu, 0.5);  // no time converted
  EXPECT_EQ(nextParameterRecord(), "0.0 0.0 0.0025         ! fricp");
}

TEST_F(Params, UnknownFrictionModelIsRefused) {
  std::string par = kDrag;
  par.replace(par.find("3                      ! nfricp"), 1, "-3");
  run(par, RDPARAMS_BAD_PARAMETER);
  EXPECT_EQ(console[2], " Error: Unknown friction model.");
  EXPECT_EQ(log.back(), " nfricp must lie in -2..3, nfricp =           -3");
}

TEST_F(Params, NoPacketsToReleaseIsRefused) {
  std::string par = kDrag;
  par.replace(par.find("2.0e8 2000"), 10, "2.0e8 0");
  run(par, RDPARAMS_BAD_PARAMETER);
  EXPECT_NE(std::find(console.begin(), console.end(), " Error: No packets to release."),
            console.end());
  EXPECT_EQ(log.back(), "   vmethod,errorcode            3           1");
}

TEST_F(Params, StressSeriesModelLinesAndDischargeFileUnit) {
  const std::string par =
      "vorn.log\n1 2\n10 0\n1\n0.1 1\n2\n0\n  stress.dat\n0.001 0.001 0.001 0\n0.4 0.05\n0\n0\n"
      "discharge.dat\n";
  run(par);
  EXPECT_EQ(FRICTIONIN.fricfile.trimmed(), "  stress.dat");  // leading blanks kept
  EXPECT_EQ(FRICTIONIN.fricp[0], 0.0f);
  EXPECT_EQ(RELEASEIN.pckfile.trimmed(), "discharge.dat");
  // The log took unit 2; the discharge file has unit 3 reserved at once.
  EXPECT_EQ(VORNIO.logunit, 2);
  EXPECT_EQ(RELEASEIN.pckunit, 3);
  EXPECT_EQ(VORNIO.nextunit, 4);
  ASSERT_EQ(console.size(), 6u);
  EXPECT_EQ(console[2], " btype=0: Will Read packet information from file");
  EXPECT_EQ(console[3], " ***Name of Bottom friction file");
  EXPECT_EQ(console[4], pad("  stress.dat", 120));
  EXPECT_EQ(console[5], "      Runing  1BBL model (u*cw)");
  auto at = std::find(log.begin(), log.end(), " ***Name of Bottom friction file");
  ASSERT_NE(at, log.end());
  EXPECT_EQ(at[1], pad("  stress.dat", 120));
  EXPECT_EQ(at[2], "     Runing  1BBL model (u*cw)");
  EXPECT_NE(std::find(log.begin(), log.end(), "   friction "), log.end());
}

TEST_F(Params, TwoLayerModelLine) {
  const std::string par =
      "vorn.log\n1 2\n10 0\n1\n0.1 1\n2\n-2\nstress.dat\n0.001 0.001 0.001 0\n0.4 0.05\n0\n1\n"
      "1 10 1 0\n";
  run(par);
  EXPECT_EQ(console.back(), "      Runing  2BBL model");
}

TEST_F(Params, UserSetupAnnouncesItself) {
  rio::openUnit(11, "console.txt", rio::FileStatus::unknown);
  VORNIO.outunit = 11;
  std::int32_t code = 7;
  USERSETUP(code);
  EXPECT_EQ(code, 0);
  rio::closeUnit(11);
  EXPECT_EQ(readFile("console.txt"), " UserSetUp:\r\n");
}
