// The header of every forcing file and its marker line.
#include <gtest/gtest.h>

#include "forcing/forcingfile.hpp"
#include "rio/units.hpp"
#include "runtime/stop.hpp"
#include "state/vornio.hpp"
#include "testutil.hpp"

using testutil::readFile;
using testutil::writeFile;

namespace {

class Header : public testutil::ScratchDir {
 protected:
  // Scans the file; returns the line after the marker, or "STOP".
  std::string scan(const std::string& content) {
    writeFile("forcing.dat", content);
    rio::openUnit(11, "console.txt", rio::FileStatus::unknown);
    VORNIO.outunit = 11;
    rio::openUnit(12, "forcing.dat", rio::FileStatus::old);
    std::string result;
    try {
      SCANHEADER(12, "forcing.dat");
      Text<40> t;
      rio::readText(12, t);
      result = std::string(t.trimmed());
    } catch (const StopRun&) {
      result = "STOP";
    }
    rio::closeUnit(11);
    rio::closeUnit(12);
    VORNIO.outunit = 6;
    console = readFile("console.txt");
    return result;
  }
  std::string console;
};

}  // namespace

TEST_F(Header, TheFirstLineMayBeTheMarker) {
  EXPECT_EQ(scan("XXXX\n3\n"), "3");
  EXPECT_EQ(console, "");
}

TEST_F(Header, AMarkerLineMayGoOnWithOtherText) {
  EXPECT_EQ(scan("Site A, 1998\r\ncurrent meter 4\r\nXXXXX end of header\r\n7\r\n"), "7");
}

TEST_F(Header, OnlyUpperCaseInColumnOneIsAMarker) {
  EXPECT_EQ(scan("xxxx\n XXXX\nXXX\n\nXXXX\n1\n"), "1");
  EXPECT_EQ(scan("xxxx\n XXXX\nXXX X\n"), "STOP");
  EXPECT_EQ(console, " Never found XXXX in file" + std::string("forcing.dat") +
                         std::string(109, ' ') + "\r\n");
  EXPECT_EQ(scan(""), "STOP");
}
