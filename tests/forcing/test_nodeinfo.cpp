// The vertical node grid: the two node files, the counts and their limits,
// hmax against the grid, href against the bottom node, and the grids that
// are refused because the rest of the program cannot work on them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "forcing/forcingtest.hpp"
#include "forcing/nodeinfo.hpp"
#include "runtime/stop.hpp"
#include "state/heights.hpp"
#include "state/velinfo.hpp"

using forcingtest::count;
using forcingtest::padded;
using testutil::writeFile;

namespace {

const char* kNames = "lognodes.dat\nintnodes.dat\n";

class NodeInfo : public forcingtest::Fixture {
 protected:
  // Writes the two node files (text after the marker line) and runs
  // NODEINFO with href and hmax; returns the error code, or -1 on a stop.
  int build(const std::string& logText, const std::string& intText, float href = 0.05f,
            float hmax = 0.0f) {
    writeFile("lognodes.dat", "log-layer nodes of the site\nXXXX\n" + logText);
    writeFile("intnodes.dat", "XXXX current meters\n" + intText);
    open(kNames);
    HEIGTHS.href = href;
    HEIGTHS.hmax = hmax;
    std::int32_t code = 77;
    if (stops([&] { NODEINFO(code); })) return -1;
    return code;
  }
  std::vector<float> heights() const {
    return std::vector<float>(VELINFOMID.heightnodes, VELINFOMID.heightnodes + VELINFOMID.nnv);
  }
};

// Interior coordinates 0, 1, ..., n - 1 on lines of their own.
std::string coordinates(int n) {
  std::string s = std::to_string(n) + "\n";
  for (int i = 0; i < n; ++i) s += std::to_string(i) + "\n";
  return s;
}

}  // namespace

TEST_F(NodeInfo, TheFiveNodeExampleWithItsWholeLog) {
  ASSERT_EQ(build("3\n0.05 0.2 1.0\n", "3\n-20\n-15\n-10\n"), 0);
  EXPECT_EQ(heights(), (std::vector<float>{0.05f, 0.2f, 1.0f, 6.0f, 11.0f}));
  EXPECT_EQ(VELINFOMID.nloglayer, 3);
  EXPECT_EQ(VELINFOMID.ninterior, 3);
  EXPECT_EQ(HEIGTHS.hmax, 11.0f);  // hmax 0 asks for the top node
  const std::vector<std::string> expectLog = {
      "",
      " ***GetVertNodeInfo: ",
      " File with the node distribution in the loglayer.",
      padded("lognodes.dat", 80),
      " nloglayer            3",
      "            1  5.0000001E-02           2  0.2000000               3",
      "    1.000000    ",
      " Height of log layer and the distance of the bottom (specified) velocity node off the "
      "bottom",
      "  is    1.000000      m.",
      " File with the depths of the nodes where the interior velocities are specified.",
      padded("intnodes.dat", 80),
      " ninterior            3",
      " hmax input   0.0000000E+00",
      " hmax=   11.00000    ",
      "",
      " heights of the vertical nodes ",
      "            1  5.0000001E-02",
      "            2  0.2000000    ",
      "            3   1.000000    ",
      "            4   6.000000    ",
      "            5   11.00000    ",
  };
  EXPECT_EQ(log, expectLog);
  const std::vector<std::string> expectConsole = {
      " File with the node distribution in the loglayer.",
      padded("lognodes.dat", 80),
      " File with the depths of the nodes where the interior velocities are specified.",
      padded("intnodes.dat", 80),
  };
  EXPECT_EQ(console, expectConsole);  // no hmax warning
  // Both files are closed once read; the units are not handed out again.
  EXPECT_FALSE(rio::unitIsOpen(VELINFOIN.lognodeunit));
  EXPECT_FALSE(rio::unitIsOpen(VELINFOIN.intnodeunit));
  EXPECT_EQ(VELINFOIN.lognodeunit, 20);
  EXPECT_EQ(VELINFOIN.intnodeunit, 21);
  EXPECT_EQ(VORNIO.nextunit, 22);
}

TEST_F(NodeInfo, HeightsOnOneLineOrSeveralAndOneCoordinatePerLine) {
  ASSERT_EQ(build("3\n0.05\n0.2\n  1.0\n", "3\n-20 99\n-15, 7\n-10\n"), 0);
  EXPECT_EQ(heights(), (std::vector<float>{0.05f, 0.2f, 1.0f, 6.0f, 11.0f}));
  // The heights start on the line after the count: the rest of it is ignored.
  ASSERT_EQ(build("3 0.05\n0.2 0.3 1.0\n", "1\n0\n", 0.2f), 0);
  EXPECT_EQ(heights(), (std::vector<float>{0.2f, 0.3f, 1.0f}));
}

TEST_F(NodeInfo, TwoLogLayerNodesMeanALinearShearLoggedTwice) {
  ASSERT_EQ(build("2\n0.1 1.0\n", "1\n0\n", 0.1f), 0);
  EXPECT_EQ(heights(), (std::vector<float>{0.1f, 1.0f}));
  EXPECT_EQ(count(log, " nloglayer = 2.  Will assume linear shear to the bottom."), 2u);
  ASSERT_EQ(build("3\n0.1 0.5 1.0\n", "1\n0\n", 0.1f), 0);
  EXPECT_EQ(count(log, " nloglayer = 2.  Will assume linear shear to the bottom."), 0u);
}

TEST_F(NodeInfo, TooFewOrTooManyLogLayerNodes) {
  for (const char* n : {"1", "0", "-3"}) {
    SCOPED_TRACE(n);
    ASSERT_EQ(build(std::string(n) + "\n0.05\n", "1\n0\n"), NODEINFO_BAD_GRID);
    const std::vector<std::string> tail(log.end() - 2, log.end());
    EXPECT_EQ(tail, (std::vector<std::string>{
                        " Not enough vertical nodes in log layer.",
                        " Require nloglayer >= 2. " + padded("", 12 - std::string(n).size()) + n}));
    ASSERT_EQ(console.size(), 2u) << "the interior node file is not asked for";
  }
  ASSERT_EQ(build("121\n", "1\n0\n"), NODEINFO_BAD_GRID);
  EXPECT_EQ(std::vector<std::string>(log.end() - 2, log.end()),
            (std::vector<std::string>{" Too many vertical nodes in log layer.",
                                      " nloglayer, MAXNODES.         121         120"}));
  ASSERT_EQ(build("2147483647\n", "1\n0\n"), NODEINFO_BAD_GRID);
  EXPECT_FALSE(rio::unitIsOpen(VELINFOIN.lognodeunit));
}

TEST_F(NodeInfo, OneHundredTwentyNodesAreTheLimit) {
  const std::string logLayer = "4\n0.05 0.1 0.2 1.0\n";
  ASSERT_EQ(build(logLayer, coordinates(117)), 0);  // the driver has its own, lower limit
  EXPECT_EQ(VELINFOMID.nnv, 120);
  EXPECT_EQ(VELINFOMID.heightnodes[119], 117.0f);
  ASSERT_EQ(build(logLayer, coordinates(118)), NODEINFO_BAD_GRID);
  EXPECT_EQ(VELINFOMID.nnv, 121);
  EXPECT_EQ(std::vector<std::string>(log.end() - 3, log.end()),
            (std::vector<std::string>{
                " Too many vertical nodes.",
                "  ninterior, nloglayer, nnv, MAXNODES.         118           4         121",
                "          120"}));
  // A count near the integer limit is refused without overflow.
  ASSERT_EQ(build(logLayer, "2147483647\n0\n"), NODEINFO_BAD_GRID);
  EXPECT_EQ(VELINFOMID.ninterior, 2147483647);
}

TEST_F(NodeInfo, HmaxIsSettledAgainstTheGrid) {
  const std::string logLayer = "3\n0.05 0.2 1.0\n";
  const std::string interior = "3\n-20\n-15\n-10\n";
  ASSERT_EQ(build(logLayer, interior, 0.05f, 5.0f), 0);
  EXPECT_EQ(HEIGTHS.hmax, 5.0f);
  EXPECT_EQ(count(log, " hmax=   5.000000    "), 1u);

  ASSERT_EQ(build(logLayer, interior, 0.05f, 30.0f), 0);
  EXPECT_EQ(HEIGTHS.hmax, 11.0f);
  const std::vector<std::string> warning = {" Hmax > upper current meter.",
                                            " set hmax =    11.00000    "};
  EXPECT_EQ(std::vector<std::string>(console.end() - 2, console.end()), warning);
  auto at = std::find(log.begin(), log.end(), warning[0]);
  ASSERT_NE(at, log.end());
  EXPECT_EQ(*(at + 1), warning[1]);
  EXPECT_EQ(*(at + 2), " hmax=   11.00000    ");

  ASSERT_EQ(build(logLayer, interior, 0.05f, 11.0f), 0);  // the top node itself
  EXPECT_EQ(count(console, warning[0]), 0u);

  for (float hmax : {0.05f, 0.01f}) {  // equal to href, or below it
    ASSERT_EQ(build(logLayer, interior, 0.05f, hmax), -1);
    const std::string silly = hmax == 0.05f
                                  ? " Hmax < href.  This is silly   5.0000001E-02  5.0000001E-02"
                                  : " Hmax < href.  This is silly   9.9999998E-03  5.0000001E-02";
    EXPECT_EQ(console.back(), silly);
    EXPECT_EQ(log.back(), silly);
  }
}

TEST_F(NodeInfo, TheReferenceHeightMustBeTheBottomNode) {
  ASSERT_EQ(build("3\n0.05 0.2 1.0\n", "1\n0\n", 0.0500001f), NODEINFO_HREF);
  EXPECT_EQ(std::vector<std::string>(log.end() - 3, log.end()),
            (std::vector<std::string>{
                " reference height for sediment profile is not equal to height of bottom node in "
                "log layer.",
                " href, heightnodes(1)  5.0000101E-02  5.0000001E-02",
                " Not sure what to do so will quit"}));
  EXPECT_EQ(VELINFOMID.nnv, 3);  // the grid is complete
  EXPECT_EQ(HEIGTHS.hmax, 1.0f);
}

// Grids the velocity profile and the log layer cannot work on.
TEST_F(NodeInfo, HeightsThatDoNotIncreaseAreRefusedNamingTheFile) {
  ASSERT_EQ(build("3\n0.05 0.2 0.2\n", "1\n0\n"), NODEINFO_BAD_GRID);
  EXPECT_EQ(std::vector<std::string>(log.end() - 3, log.end()),
            (std::vector<std::string>{
                " Node heights must increase strictly upward; they do not in the file",
                padded("lognodes.dat", 80),
                " node, height, height below            3  0.2000000      0.2000000    ",
            }));
  EXPECT_EQ(console.size(), 2u) << "the interior node file is not asked for";

  ASSERT_EQ(build("3\n0.05 0.2 1.0\n", "3\n-20\n-25\n-10\n"), NODEINFO_BAD_GRID);
  EXPECT_EQ(count(log, padded("intnodes.dat", 80)), 2u);  // the echo and the message
  EXPECT_EQ(count(log, " Node heights must increase strictly upward; they do not in the file"),
            1u);
  EXPECT_FALSE(rio::unitIsOpen(VELINFOIN.intnodeunit));

  // Two coordinates alike: the profile between them would divide by zero.
  EXPECT_EQ(build("3\n0.05 0.2 1.0\n", "2\n-20\n-20\n"), NODEINFO_BAD_GRID);
  EXPECT_EQ(build("3\n0.05 0.05 1.0\n", "1\n0\n"), NODEINFO_BAD_GRID);
}

TEST_F(NodeInfo, ACurrentMeterFileWithoutNodesIsRefused) {
  for (const char* n : {"0", "-1"}) {
    SCOPED_TRACE(n);
    ASSERT_EQ(build("3\n0.05 0.2 1.0\n", std::string(n) + "\n"), NODEINFO_BAD_GRID);
    EXPECT_EQ(std::vector<std::string>(log.end() - 3, log.end()),
              (std::vector<std::string>{
                  " Not enough current-meter nodes in the file", padded("intnodes.dat", 80),
                  " Require ninterior >= 1. " + padded("", 12 - std::string(n).size()) + n}));
  }
}

TEST_F(NodeInfo, TheLowestCurrentMeterMustLieAboveTheRoughnessLength) {
  // 0.003495 m is zeta0: the drag coefficient of the log law is not finite.
  for (const char* hlog : {"0.003495", "0.002", "-0.1"}) {
    SCOPED_TRACE(hlog);
    ASSERT_EQ(build("2\n-0.5 " + std::string(hlog) + "\n", "1\n0\n", -0.5f), NODEINFO_BAD_GRID);
    auto at = std::find(log.begin(), log.end(),
                        " The lowest current meter must lie above the roughness length zeta0 of "
                        "the log layer; it does not in the file");
    ASSERT_NE(at, log.end());
    EXPECT_EQ(*(at + 1), padded("lognodes.dat", 80));
  }
  EXPECT_EQ(build("2\n0.001 0.0035\n", "1\n0\n", 0.001f), 0);
}

TEST_F(NodeInfo, AMissingNodeFileEndsTheRunWithAnInputError) {
  writeFile("lognodes.dat", "XXXX\n2\n0.05 1.0\n");
  open("lognodes.dat\nnosuch.dat\n");
  std::int32_t code = 0;
  EXPECT_THROW(NODEINFO(code), IoFailure);
}
