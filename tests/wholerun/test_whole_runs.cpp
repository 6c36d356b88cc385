// Whole runs of the built program on a small site, checked the way a
// scientist checks a run: mass is conserved, the concentrations and the
// biology agree with the packet positions, the packets stay in the water
// column, the cloud moves with the current, the run repeats from its seeds,
// and every way of giving the parameters gives the same outputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "testutil.hpp"

namespace fs = std::filesystem;
using testutil::readFile;
using testutil::runBinary;
using testutil::writeFile;

namespace {

constexpr double kPi = 3.14159265358979323846;

// The site: a log layer of three nodes (5 cm, 20 cm, 1 m) below two
// current meters at 1 m and 6 m, hourly records over two days of a tide
// uniform in height above 1 m: U(t) = 0.1 + 0.3 cos(2 pi t / 12.42 h),
// V = U / 2. The friction velocity is steady (u*^2 = 1e-4 m^2/s^2).
double tideU(double hours) { return 0.1 + 0.3 * std::cos(2.0 * kPi * hours / 12.42); }

struct Case {
  std::string seeds = "1234567 7654321";
  int npack = 2000;
  double relmass = 1000.0;    // g
  // The sampling points: x, y, radius, zlow, ztop (m).
  std::string points =
      "3\n"
      "0 0 50000 0.05 2.0\n"
      "4000 2000 3000 0.05 2.0\n"
      "-50000 -50000 100 0.05 2.0\n";
};

std::string params(const Case& c) {
  std::ostringstream p;
  p << "vorn.log\n" << c.seeds << "\n24 0\n1\n0.25 1\n3\n1\n0.0001\n"
    << "0.0001 0.0001 0.0001 0\n0.4 0.05\n0\n1\n"
    << c.relmass << " " << c.npack << " 1 0\n"
    << "lognodes.dat\nintnodes.dat\nvel1.dat\nvel2.dat\n"
    << "1\nsediment.out\n"
    << "1\nvelprof.out\n"
    << "1\nstats.out\n0.025 6.0 1.0e6\n"
    << "6\npackets.out\n"
    << "1\nconc.out\n" << c.points
    << "6\nmap.out\n41 -10000 30000 41 -10000 30000 0.025 6.0\n"
    << "1\nbio.out\n0 4.0e-8\n"
    << "6\nbiomap.out\n0 1.0e-5\n";
  return p.str();
}

// Writes the site and run.par into the current folder.
void writeCase(const Case& c) {
  writeFile("lognodes.dat", "log layer\nXXXX\n3\n0.05 0.2 1.0\n");
  writeFile("intnodes.dat", "current meters\nXXXX\n2\n0.0\n5.0\n");
  for (const char* name : {"vel1.dat", "vel2.dat"}) {
    std::string vel = "Aldmouth test tripod\nXXXX\ncurrent meter\nsynthetic tide\n1998\n3\n";
    for (int k = 0; k <= 48; ++k) {
      char row[96];
      std::snprintf(row, sizeof row, "%.17g %.9g %.9g\n", k / 24.0, tideU(k), 0.5 * tideU(k));
      vel += row;
    }
    writeFile(name, vel);
  }
  writeFile("run.par", params(c));
}

// The numbers of one output line (E fields may drop the leading zero and
// the E of a three-digit exponent; neither occurs in these small runs).
std::vector<double> numbers(const std::string& line) {
  std::vector<double> v;
  std::istringstream s(line);
  std::string w;
  while (s >> w) {
    char* end = nullptr;
    const double x = std::strtod(w.c_str(), &end);
    if (end == w.c_str()) continue;  // a word of a header line
    v.push_back(x);
  }
  return v;
}

std::vector<std::string> lines(const std::string& path) {
  std::vector<std::string> out;
  std::istringstream s(readFile(path));
  std::string l;
  while (std::getline(s, l)) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    out.push_back(l);
  }
  return out;
}

struct Packet {
  double x, y, z;
};
struct Frame {
  int ktotal = 0;
  double day = 0;
  std::vector<Packet> p;
};

std::vector<Frame> packetFrames(const std::string& path) {
  const auto ls = lines(path);
  std::vector<Frame> frames;
  EXPECT_EQ(ls.at(0), " Packet positions");
  for (size_t i = 1; i < ls.size();) {
    EXPECT_EQ(ls[i].rfind(" ktotal, time", 0), 0u) << path << " line " << i + 1;
    const auto h = numbers(ls[i]);
    Frame f;
    f.ktotal = static_cast<int>(h.at(0));
    f.day = h.at(1);
    for (int k = 0; k < f.ktotal; ++k) {
      const auto v = numbers(ls.at(i + 1 + k));
      f.p.push_back({v.at(0), v.at(1), v.at(2)});
    }
    i += 1 + f.ktotal;
    frames.push_back(std::move(f));
  }
  return frames;
}

// The rows of conc.out: time (days), then the concentration at each point.
std::vector<std::vector<double>> concRows(const std::string& path, int npoints) {
  const auto ls = lines(path);
  std::vector<std::vector<double>> rows;
  for (size_t i = 2 + npoints + 1; i < ls.size(); ++i) rows.push_back(numbers(ls[i]));
  return rows;
}

// The piecewise-linear velocity profile of the first record of velprof.out:
// heights and u at the nodes.
void firstProfile(std::vector<double>& h, std::vector<double>& u) {
  const auto ls = lines("velprof.out");
  const double t0 = numbers(ls.at(1)).at(0);
  for (size_t i = 1; i < ls.size(); ++i) {
    const auto v = numbers(ls[i]);
    if (v.at(0) != t0) break;
    h.push_back(v.at(1));
    u.push_back(v.at(2));
  }
}

double profileAt(double z, const std::vector<double>& h, const std::vector<double>& u) {
  if (z < h.front()) return 0.0;
  for (size_t j = 1; j < h.size(); ++j) {
    if (z <= h[j]) return u[j - 1] + (u[j] - u[j - 1]) * (z - h[j - 1]) / (h[j] - h[j - 1]);
  }
  return u.back();
}

double packetMass() {
  for (const auto& l : lines("vorn.log")) {
    if (l.find("initial packets, packet mass") != std::string::npos) return numbers(l).back();
  }
  ADD_FAILURE() << "no packet mass in the log";
  return 0.0;
}

class WholeRun : public testutil::ScratchDir {
 protected:
  void run(const Case& c = Case()) {
    writeCase(c);
    auto r = runBinary({"run.par", "screen.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_NE(readFile("screen.txt").find("  Clean exit \r\n"), std::string::npos)
        << readFile("screen.txt");
  }
};

}  // namespace

TEST_F(WholeRun, MassIsConservedInEveryOutput) {
  Case c;
  run(c);
  const double pmass = packetMass();
  const auto frames = packetFrames("packets.out");
  ASSERT_EQ(frames.size(), 4u);  // every 6 h of a day
  for (const auto& f : frames) EXPECT_NEAR(f.ktotal * pmass, c.relmass, 1e-9 * c.relmass);

  // The statistics cylinder holds the whole cloud: its column load times
  // its area is the mass released, its layer is the whole water column.
  const double radius = 1.0e6;
  for (const auto& l : lines("stats.out")) {
    const auto v = numbers(l);
    ASSERT_EQ(v.size(), 9u) << l;
    EXPECT_NEAR(v[7] * kPi * radius * radius, c.relmass, 1e-3 * c.relmass) << l;
    EXPECT_NEAR(v[8] * (6.0 - 0.025), v[7], 1e-3 * v[7]) << l;
  }

  // The map's column loads add up to the mass released.
  const auto ls = lines("map.out");
  const int nframes = static_cast<int>(numbers(ls.at(0)).at(0));
  const int nx = static_cast<int>(numbers(ls.at(1)).at(0));
  const int ny = static_cast<int>(numbers(ls.at(2 + nx)).at(0));
  EXPECT_EQ(nframes, 4);
  const double cell = (40000.0 / (nx - 1)) * (40000.0 / (ny - 1));
  size_t i = 3 + nx + ny;
  for (int f = 0; f < nframes; ++f) {
    ++i;  // the frame's time
    double mass = 0;
    for (int k = 0; k < nx * ny; ++k, i += 2) mass += numbers(ls.at(i + 1)).at(0) * cell;
    EXPECT_NEAR(mass, c.relmass, 1e-3 * c.relmass) << "frame " << f + 1;
  }
  EXPECT_EQ(i, ls.size());
}

TEST_F(WholeRun, EveryPacketStaysBetweenHalfTheReferenceHeightAndTheTop) {
  run();
  for (const auto& f : packetFrames("packets.out")) {
    double zmin = 1e30, zmax = -1e30;
    for (const auto& p : f.p) {
      zmin = std::min(zmin, p.z);
      zmax = std::max(zmax, p.z);
    }
    EXPECT_GE(zmin, 0.025) << "day " << f.day;
    EXPECT_LE(zmax, 6.0) << "day " << f.day;
    // Mixed through the column, not piled up at one height.
    EXPECT_LT(zmin, 0.2);
    EXPECT_GT(zmax, 5.0);
  }
}

TEST_F(WholeRun, ConcentrationsAndBiologyAgreeWithThePacketPositions) {
  Case c;
  run(c);
  const auto frames = packetFrames("packets.out");
  const auto rows = concRows("conc.out", 3);
  ASSERT_GE(rows.size(), 20u);
  const double xp[] = {0, 4000, -50000}, yp[] = {0, 2000, -50000}, rp[] = {50000, 3000, 100};
  int compared = 0;
  int mostInNarrow = 0;
  for (const auto& f : frames) {
    const auto row = std::find_if(rows.begin(), rows.end(),
                                  [&](const auto& r) { return std::fabs(r.at(0) - f.day) < 1e-5; });
    ASSERT_NE(row, rows.end()) << "no concentrations at day " << f.day;
    int inside[3] = {0, 0, 0};
    for (const auto& p : f.p) {
      for (int k = 0; k < 3; ++k) {
        if (std::hypot(p.x - xp[k], p.y - yp[k]) <= rp[k]) ++inside[k];
      }
    }
    mostInNarrow = std::max(mostInNarrow, inside[1]);
    ASSERT_EQ(inside[0], f.ktotal);  // the wide point holds the whole cloud
    EXPECT_EQ(inside[2], 0);
    EXPECT_EQ(row->at(3), 0.0);
    // Both points sample the same layer, so their concentrations stand as
    // their packets per unit area.
    ASSERT_GT(row->at(1), 0.0);
    const double perPacketArea = row->at(1) * rp[0] * rp[0] / inside[0];
    const double expected = perPacketArea * inside[1] / (rp[1] * rp[1]);
    EXPECT_NEAR(row->at(2), expected, 1e-3 * expected + 1e-15)
        << "day " << f.day << ", " << inside[1] << " packets in the narrow point";
    ++compared;
  }
  EXPECT_EQ(compared, 4);
  EXPECT_GT(mostInNarrow, 100);  // the cloud passes over the narrow point

  // Biology at the points: the exposure is the sum of the ramp weights of
  // the hourly concentrations (clow 0, chigh 4e-8 g/m3), as a share of the
  // 24 biology steps and in equivalent days.
  const auto bio = lines("bio.out");
  ASSERT_EQ(bio.size(), 3u);
  for (int k = 0; k < 3; ++k) {
    double e = 0;
    for (const auto& r : rows) e += std::clamp(r.at(1 + k) / 4.0e-8, 0.0, 1.0);
    const auto v = numbers(bio[k]);
    ASSERT_EQ(v.size(), 6u) << bio[k];
    EXPECT_EQ(v[0], k + 1);
    EXPECT_NEAR(v[4], 100.0 * e / 24.0, 0.01 + 2e-3 * v[4]) << bio[k];
    EXPECT_NEAR(v[5], e / 24.0, 0.001 + 2e-3 * v[5]) << bio[k];
  }
  EXPECT_GT(numbers(bio[0])[4], 30.0);  // the wide point is in the cloud all day
  EXPECT_EQ(numbers(bio[2])[4], 0.0);
}

TEST_F(WholeRun, TheCloudMovesWithTheTidalCurrent) {
  run();
  const auto frames = packetFrames("packets.out");
  ASSERT_EQ(frames.size(), 4u);
  const Frame& a = frames.front();  // 6 h
  const Frame& b = frames.back();   // 24 h
  auto mean = [](const Frame& f, double Packet::*m) {
    double s = 0;
    for (const auto& p : f.p) s += p.*m;
    return s / f.p.size();
  };
  const double dx = mean(b, &Packet::x) - mean(a, &Packet::x);
  const double dy = mean(b, &Packet::y) - mean(a, &Packet::y);

  // The current is the tide U(t) times a shape in height (1 above the
  // lowest meter, the log layer below): the cloud moves by the integral of
  // U over the time between the frames (records hourly, linear between)
  // times the shape averaged over the packets' heights, the same set at
  // every step of a steady profile.
  double integral = 0;  // m/s * s
  for (int h = 6; h < 24; ++h) integral += 0.5 * (tideU(h) + tideU(h + 1)) * 3600.0;
  std::vector<double> hn, un;
  firstProfile(hn, un);
  ASSERT_EQ(hn.size(), 4u);
  double shape = 0;
  for (const auto& p : b.p) shape += profileAt(p.z, hn, un) / un.back();
  shape /= b.p.size();
  EXPECT_NEAR(dx, shape * integral, 1e-3 * std::fabs(integral));
  EXPECT_NEAR(dy, 0.5 * dx, 1e-4 * std::fabs(dx));

  // The depth-weighted mean of the shape over the water column: the
  // concentration is nearly uniform at this Rouse number (0.025).
  double depthMean = 0;
  for (size_t j = 1; j < hn.size(); ++j) depthMean += 0.5 * (un[j] + un[j - 1]) * (hn[j] - hn[j - 1]);
  depthMean /= (hn.back() - hn.front()) * un.back();
  EXPECT_NEAR(dx / integral, depthMean, 0.03 * depthMean);
}

TEST_F(WholeRun, TheSameSeedsRepeatTheRunOtherSeedsChangeIt) {
  const std::vector<std::string> outputs = {"vorn.log",   "sediment.out", "velprof.out",
                                            "stats.out",  "packets.out",  "conc.out",
                                            "map.out",    "bio.out",      "biomap.out",
                                            "screen.txt", "vornprog.out"};
  std::map<std::string, std::string> first;
  run();
  for (const auto& f : outputs) first[f] = readFile(f);
  for (const auto& f : outputs) fs::remove(f);
  run();
  for (const auto& f : outputs) EXPECT_TRUE(readFile(f) == first[f]) << f << " differs";
  Case other;
  other.seeds = "7654321 1234567";
  run(other);
  EXPECT_FALSE(readFile("packets.out") == first["packets.out"]);
}

TEST_F(WholeRun, EveryWayOfGivingTheParametersGivesTheSameOutputs) {
  const std::vector<std::string> outputs = {"vorn.log", "sediment.out", "velprof.out",
                                            "stats.out", "packets.out", "conc.out",
                                            "map.out",   "bio.out",     "biomap.out"};
  writeCase(Case());
  std::map<std::string, std::string> reference;
  std::string referenceConsole;
  struct Form {
    std::vector<std::string> args;
    bool fromStdin;
    bool console;  // messages on standard output (else in screen.txt)
  };
  const std::vector<Form> forms = {{{"run.par", "screen.txt"}, false, false},
                                   {{"run.par"}, false, true},
                                   {{}, true, true},
                                   {{"StdIn"}, true, true},
                                   {{"StdIn", "screen.txt"}, true, false}};
  for (const auto& form : forms) {
    for (const auto& f : outputs) fs::remove(f);
    fs::remove("screen.txt");
    auto r = runBinary(form.args, form.fromStdin ? "run.par" : "/dev/null");
    std::string label;
    for (const auto& a : form.args) label += a + " ";
    ASSERT_EQ(r.status, 0) << label << r.err;
    const std::string console = form.console ? r.out : readFile("screen.txt");
    EXPECT_NE(console.find("  Clean exit \r\n"), std::string::npos) << label;
    if (!form.console) {
      EXPECT_EQ(r.out, "") << label;
    }
    if (reference.empty()) {
      for (const auto& f : outputs) reference[f] = readFile(f);
      referenceConsole = console;
      continue;
    }
    for (const auto& f : outputs) EXPECT_TRUE(readFile(f) == reference[f]) << label << ": " << f;
    EXPECT_EQ(console, referenceConsole) << label;
  }
}

TEST_F(WholeRun, ThePlottingScriptDrawsEveryFigure) {
  if (std::system("/usr/bin/python3 -c 'import matplotlib' > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "matplotlib is not installed for /usr/bin/python3 "
                    "(apt-get install python3-matplotlib): the plotting script is not tested";
  }
  run();
  const std::string cmd = std::string("MPLBACKEND=Agg /usr/bin/python3 '") + VORN_SOURCE_DIR +
                          "/tools/plot_run.py' . > plot.log 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << readFile("plot.log");
  for (const char* png : {"concentration.png", "map.png", "cloud.png", "biology_map.png",
                          "sediment.png"}) {
    const std::string bytes = readFile(std::string("plots/") + png);
    ASSERT_GT(bytes.size(), 1000u) << png;
    EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8)) << png;
    EXPECT_EQ(bytes.substr(12, 4), "IHDR") << png;
  }

  // A damaged output file stops the script with a message naming it.
  std::string stats = readFile("stats.out");
  stats.replace(stats.find('E'), 1, "Q");
  writeFile("stats.out", stats);
  EXPECT_NE(std::system(cmd.c_str()), 0);
  EXPECT_NE(readFile("plot.log").find("stats.out"), std::string::npos) << readFile("plot.log");
}

// The per-packet passes split over threads: every file of the run, the
// console included, is the same with one, two and three threads, and the
// option may stand anywhere among the arguments.
TEST_F(WholeRun, EveryThreadCountWritesTheSameFiles) {
  const std::vector<std::string> outputs = {"vorn.log",   "sediment.out", "velprof.out",
                                            "stats.out",  "packets.out",  "conc.out",
                                            "map.out",    "bio.out",      "biomap.out",
                                            "screen.txt", "vornprog.out"};
  Case c;
  c.npack = 3001;
  writeCase(c);
  const std::vector<std::vector<std::string>> forms = {{"--threads", "1", "run.par", "screen.txt"},
                                                       {"run.par", "--threads", "2", "screen.txt"},
                                                       {"run.par", "screen.txt", "--threads=3"}};
  std::map<std::string, std::string> first;
  for (const auto& args : forms) {
    for (const auto& f : outputs) fs::remove(f);
    auto r = runBinary(args);
    ASSERT_EQ(r.status, 0) << args.back() << r.err;
    if (first.empty()) {
      for (const auto& f : outputs) first[f] = readFile(f);
      ASSERT_NE(first["screen.txt"].find("  Clean exit \r\n"), std::string::npos);
      continue;
    }
    for (const auto& f : outputs) EXPECT_TRUE(readFile(f) == first[f]) << args[2] << ": " << f << " differs";
  }

  // Every kernel path the processor runs, forced by VORN_KERNELS, on two
  // threads: the same files again. A path it cannot run, or an unknown
  // name, is refused before anything runs.
  for (const char* path : {"sse2", "avx2", "avx512"}) {
    ::setenv("VORN_KERNELS", path, 1);
    for (const auto& f : outputs) fs::remove(f);
    auto r = runBinary({"--threads", "2", "run.par", "screen.txt"});
    if (r.status == 2 && r.err.find("cannot run that path") != std::string::npos) {
      EXPECT_FALSE(fs::exists("vorn.log")) << path;
      continue;
    }
    ASSERT_EQ(r.status, 0) << path << r.err;
    for (const auto& f : outputs) EXPECT_TRUE(readFile(f) == first[f]) << path << ": " << f << " differs";
  }
  ::setenv("VORN_KERNELS", "avx", 1);
  fs::remove("vorn.log");
  auto r = runBinary({"run.par"});
  ::unsetenv("VORN_KERNELS");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("VORN_KERNELS=avx: expected sse2, avx2 or avx512"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists("vorn.log"));

  // A count that is not one: a message naming the option, status 2, no run.
  for (const auto& bad : std::vector<std::vector<std::string>>{
           {"--threads", "0", "run.par"}, {"run.par", "--threads"}, {"--threads=two", "run.par"}}) {
    fs::remove("vorn.log");
    auto r = runBinary(bad);
    EXPECT_EQ(r.status, 2) << bad.back();
    EXPECT_NE(r.err.find("--threads"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists("vorn.log"));
  }
}
