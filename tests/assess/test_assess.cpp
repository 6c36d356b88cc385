// The plume assessment: the statistics of a series against a direct
// computation on random maps (ties, zeros, a cell never reached, fill
// values), the zone areas of a habitat made of whole cells, and the
// assessment's definition in a site file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <ogr_geometry.h>

#include "assess/seriesstats.hpp"
#include "assess/zones.hpp"
#include "site/site.hpp"
#include "testutil.hpp"

using testutil::writeFile;

namespace {

// The statistics straight from their definitions, one series at a time.
struct Direct {
  std::vector<double> percentile, hours, share, spell;
  double max = 0, mean = 0;
  int zone = 0;
};

Direct direct(std::vector<float> v, const assess::Plan& p) {
  for (float& x : v) {
    if (std::isnan(x)) x = std::numeric_limits<float>::infinity();
  }
  Direct d;
  const std::size_t n = v.size();
  std::vector<float> sorted = v;
  std::sort(sorted.begin(), sorted.end());
  for (double pc : p.percentiles) {
    const double rank = pc / 100.0 * static_cast<double>(n - 1);
    const std::size_t lo = static_cast<std::size_t>(rank);
    const std::size_t hi = std::min(lo + 1, n - 1);
    const double a = sorted[lo], b = sorted[hi], f = rank - static_cast<double>(lo);
    d.percentile.push_back(f == 0 || a == b ? a : a + f * (b - a));
  }
  d.max = sorted.back();
  double sum = 0;
  for (float x : v) sum += x;
  d.mean = sum / static_cast<double>(n);
  for (double c : p.thresholds) {
    std::size_t above = 0, run = 0, longest = 0;
    for (float x : v) {
      run = x > c ? run + 1 : 0;
      above += x > c;
      longest = std::max(longest, run);
    }
    d.hours.push_back(static_cast<double>(above) * p.intervalHours);
    d.share.push_back(100.0 * static_cast<double>(above) / static_cast<double>(n));
    d.spell.push_back(static_cast<double>(longest) * p.intervalHours);
  }
  for (std::size_t z = 0; z < p.zones.size() && d.zone == 0; ++z) {
    std::size_t above = 0;
    for (float x : v) above += x > p.zones[z].threshold;
    const double h = static_cast<double>(above) * p.intervalHours;
    const double s = 100.0 * static_cast<double>(above) / static_cast<double>(n);
    if (p.zones[z].byHours ? h > p.zones[z].value : s > p.zones[z].value) d.zone = static_cast<int>(z + 1);
  }
  return d;
}

class Assessment : public testutil::ScratchDir {};

}  // namespace

TEST_F(Assessment, EveryStatisticOfARandomMapIsItsDirectComputation) {
  // A map of 23 x 17 cells and 61 frames (time, y, x): values from a small
  // set so that ties abound, mostly zeros, a fill value now and then, one
  // cell never reached and one always above everything.
  const std::size_t nt = 61, ny = 17, nx = 23, cells = nx * ny;
  const float levels[] = {0.0f, 0.0f, 0.0f, 0.004f, 0.01f, 0.01f, 0.02f, 0.05f, 0.1f, 0.35f};
  std::mt19937 rng(26);
  // Each cell draws from the lowest levels up to its own highest, so that
  // the cells range from faint to strong.
  std::vector<float> map(nt * cells);
  for (std::size_t t = 0; t < nt; ++t) {
    for (std::size_t c = 0; c < cells; ++c) map[t * cells + c] = levels[rng() % (1 + c % 10)];
  }
  for (std::size_t t = 0; t < nt; ++t) {
    map[t * cells + 5] = 0.0f;            // never reached
    map[t * cells + 6] = 1.0f;            // always above
    if (rng() % 40 == 0) map[t * cells + 7] = NAN;  // too large to write
  }
  const assess::Plan plan{{0, 5, 50, 80, 95, 99, 100},
                          {0.005, 0.01, 0.05},
                          {{0.1, false, 8.0}, {0.05, true, 6.0}, {0.01, false, 0.0}},
                          0.5};
  const std::size_t np = plan.percentiles.size(), nth = plan.thresholds.size();
  std::vector<double> pct(np * cells), mx(cells), mean(cells), hours(nth * cells),
      share(nth * cells), spell(nth * cells);
  std::vector<signed char> zone(cells);
  const assess::Out out{pct.data(), mx.data(), mean.data(), hours.data(), share.data(),
                        spell.data(), zone.data()};
  std::vector<float> scratch;
  for (std::size_t c = 0; c < cells; ++c) {
    assess::seriesStatistics(map.data() + c, nt, cells, plan, out, c, cells, scratch);
  }
  std::vector<int> zonesSeen(4);
  for (std::size_t c = 0; c < cells; ++c) {
    std::vector<float> series(nt);
    for (std::size_t t = 0; t < nt; ++t) series[t] = map[t * cells + c];
    const Direct d = direct(series, plan);
    for (std::size_t k = 0; k < np; ++k) EXPECT_EQ(pct[k * cells + c], d.percentile[k]) << c << " p" << k;
    EXPECT_EQ(mx[c], d.max) << c;
    EXPECT_DOUBLE_EQ(mean[c], d.mean) << c;
    for (std::size_t t = 0; t < nth; ++t) {
      EXPECT_EQ(hours[t * cells + c], d.hours[t]) << c;
      EXPECT_DOUBLE_EQ(share[t * cells + c], d.share[t]) << c;
      EXPECT_EQ(spell[t * cells + c], d.spell[t]) << c;
    }
    EXPECT_EQ(zone[c], d.zone) << c;
    ++zonesSeen[static_cast<std::size_t>(zone[c])];
  }
  // The cell never reached: all 0, no zone; the one always above: zone 1.
  EXPECT_EQ(mx[5], 0.0);
  EXPECT_EQ(pct[(np - 1) * cells + 5], 0.0);
  EXPECT_EQ(zone[5], 0);
  EXPECT_EQ(zone[6], 1);
  EXPECT_EQ(spell[6], 0.5 * nt);
  for (int z = 1; z <= 3; ++z) EXPECT_GT(zonesSeen[static_cast<std::size_t>(z)], 0) << z;
}

TEST_F(Assessment, AHabitatOfWholeCellsHasTheCellsAreaInEachZone) {
  // A site in UTM 31N, its origin on a whole 100 m, cells of 100 m by 50 m.
  writeFile("site.toml", "[origin]\ncrs = \"EPSG:32631\"\nx = 500000\ny = 6000000\n");
  site::Site s;
  std::vector<site::Problem> problems;
  ASSERT_TRUE(site::readSite("site.toml", s, problems));
  const site::Frame f(s);
  const assess::MapGrid g{8, 6, -400.0, 100.0, -150.0, 50.0};
  // Zones by cell (row 0 south): zone 1 on columns 1-2 of rows 1-2, zone 2 on
  // columns 3-5 of rows 1-4, zone 3 on column 6 of every row.
  std::vector<signed char> zone(g.nx * g.ny, 0);
  for (std::size_t j = 0; j < g.ny; ++j) {
    for (std::size_t i = 0; i < g.nx; ++i) {
      if (j >= 1 && j <= 2 && i >= 1 && i <= 2) zone[j * g.nx + i] = 1;
      if (j >= 1 && j <= 4 && i >= 3 && i <= 5) zone[j * g.nx + i] = 2;
      if (i == 6) zone[j * g.nx + i] = 3;
    }
  }
  const auto zones = assess::zonePolygons(zone.data(), g, f, 3);
  // A habitat of whole cells: columns 2-6 of rows 2-3 (its edges in UTM).
  const auto e = [&](std::size_t i) { return 500000.0 - 400.0 + 100.0 * static_cast<double>(i); };
  const auto n = [&](std::size_t j) { return 6000000.0 - 150.0 + 50.0 * static_cast<double>(j); };
  char geojson[1024];
  std::snprintf(geojson, sizeof geojson,
                "{\"type\": \"FeatureCollection\", \"crs\": {\"type\": \"name\", \"properties\": "
                "{\"name\": \"urn:ogc:def:crs:EPSG::32631\"}}, \"features\": [{\"type\": "
                "\"Feature\", \"properties\": {\"kind\": \"reef\", \"name\": \"block\"}, "
                "\"geometry\": {\"type\": \"Polygon\", \"coordinates\": [[[%.1f, %.1f], [%.1f, "
                "%.1f], [%.1f, %.1f], [%.1f, %.1f], [%.1f, %.1f]]]}}]}\n",
                e(2), n(2), e(7), n(2), e(7), n(4), e(2), n(4), e(2), n(2));
  writeFile("habitats.geojson", geojson);
  writeFile("site.toml",
            "[origin]\ncrs = \"EPSG:32631\"\nx = 500000\ny = 6000000\n[[layers]]\nname = \"h\"\n"
            "kind = \"habitat\"\nfile = \"habitats.geojson\"\n[assessment]\nthresholds = [1]\n"
            "zones = [{ name = \"a\", threshold = 1, hours = 1 }]\n"
            "habitats = { layer = \"h\", attribute = \"kind\" }\n");
  ASSERT_TRUE(site::readSite("site.toml", s, problems)) << problems[0].text();
  const auto areas = assess::habitatAreas(s, f, zones);
  ASSERT_EQ(areas.size(), 1u);
  EXPECT_EQ(areas[0].type, "reef");
  EXPECT_EQ(areas[0].name, "block");
  const double cell = 100.0 * 50.0 / 1e4;  // ha
  EXPECT_NEAR(areas[0].areaHa, 10 * cell, 1e-9);
  // Row 2: zone 1 at column 2; zone 2 at columns 3-5 (rows 2 and 3); zone 3 at column 6.
  ASSERT_EQ(areas[0].zoneHa.size(), 3u);
  EXPECT_NEAR(areas[0].zoneHa[0], 1 * cell, 1e-9);
  EXPECT_NEAR(areas[0].zoneHa[1], 6 * cell, 1e-9);
  EXPECT_NEAR(areas[0].zoneHa[2], 2 * cell, 1e-9);
}

TEST_F(Assessment, TheDefinitionIsReadWithItsDefaultsAndEveryProblemHasItsLine) {
  const std::string origin = "[origin]\nlon = 2\nlat = 55\n";
  writeFile("ok.toml", origin + "[assessment]\nthresholds = [0.01, 0.05]\n"
                                "zones = [{ name = \"high\", threshold = 0.05, hours = 24 },\n"
                                "         { name = \"low\", threshold = 0.01, percent_of_time = 0 }]\n");
  site::Site s;
  std::vector<site::Problem> p;
  ASSERT_TRUE(site::readSite("ok.toml", s, p)) << p[0].text();
  EXPECT_TRUE(s.assessment.given);
  EXPECT_EQ(s.assessment.percentiles, (std::vector<double>{50, 80, 95, 99}));
  ASSERT_EQ(s.assessment.zones.size(), 2u);
  EXPECT_TRUE(s.assessment.zones[0].byHours);
  EXPECT_EQ(s.assessment.zones[1].value, 0.0);
  EXPECT_TRUE(s.assessment.habitatLayer.empty()) << "an assessment without habitats";

  struct Case {
    std::string text;
    long long line;
    std::string says;
  };
  const std::vector<Case> cases = {
      {"[assessment]\npercentiles = [50, 120]\n", 5, "percentiles must hold percentiles from 0 to 100"},
      {"[assessment]\npercentiles = [80, 50]\n", 5, "percentiles must increase: 80 then 50"},
      {"[assessment]\nthresholds = \"high\"\n", 5, "thresholds must be a list of numbers"},
      {"[assessment]\nthresholds = [-1]\n", 5, "thresholds must hold concentrations of 0 g/m3 or more"},
      {"[assessment]\nzones = [{ name = \"z\", threshold = 0.1 }]\n", 5,
       "the zone z needs either percent_of_time or hours"},
      {"[assessment]\nzones = [{ name = \"z\", threshold = 0.1, hours = 2, percent_of_time = 1 }]\n",
       5, "needs either percent_of_time or hours"},
      {"[assessment]\nzones = [{ name = \"z\", threshold = 0.1, percent_of_time = 100 }]\n", 5,
       "must be at least 0 and below 100"},
      {"[assessment]\nzones = [{ threshold = 0.1, hours = 1 }]\n", 5, "the key name is missing in a zone"},
      {"[assessment]\nzones = [{ name = \"z\", threshold = 0.1, hours = 1 },\n"
       "{ name = \"z\", threshold = 0.2, hours = 1 }]\n", 6, "two zones are named z"},
      {"[assessment]\nhabitats = { layer = \"seabed\" }\n", 5,
       "habitats names the layer seabed, which the site file does not have"},
      {"[assessment]\nmargin = 3\n", 5, "unknown key margin in [assessment]"},
  };
  for (const Case& k : cases) {
    writeFile("bad.toml", origin + k.text);
    std::vector<site::Problem> q;
    EXPECT_FALSE(site::readSite("bad.toml", s, q)) << k.text;
    bool found = false;
    for (const site::Problem& x : q) found |= x.line == k.line && x.message.find(k.says) != std::string::npos;
    EXPECT_TRUE(found) << k.text << "\nexpected line " << k.line << ": " << k.says << "\ngot: "
                       << (q.empty() ? std::string("nothing") : q[0].text());
  }
}
