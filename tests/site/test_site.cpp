// The site file and the run's frame on Earth: round trips, the same place
// given two ways, the rotation, the CRS of the run's own x, y, and every
// problem of a bad site file with its line.
#include <gtest/gtest.h>
#include <proj.h>

#include <cmath>
#include <string>
#include <vector>

#include "site/site.hpp"
#include "testutil.hpp"

using testutil::writeFile;

namespace {

class SiteTest : public testutil::ScratchDir {};

site::Site readOk(const std::string& text) {
  writeFile("site.toml", text);
  site::Site s;
  std::vector<site::Problem> p;
  EXPECT_TRUE(site::readSite("site.toml", s, p)) << (p.empty() ? "" : p[0].text());
  return s;
}

// The metres between two points given as lon, lat (PROJ's geodesic).
double metresBetween(double lon1, double lat1, double lon2, double lat2) {
  PJ_CONTEXT* ctx = proj_context_create();
  PJ* g = proj_create(ctx, "+proj=longlat +datum=WGS84");
  const PJ_COORD a = proj_coord(proj_torad(lon1), proj_torad(lat1), 0, 0);
  const PJ_COORD b = proj_coord(proj_torad(lon2), proj_torad(lat2), 0, 0);
  const double d = proj_lp_dist(g, a, b);
  proj_destroy(g);
  proj_context_destroy(ctx);
  return d;
}

const char* kAldmouth = "name = \"Aldmouth Bank\"\n[origin]\nlon = 2.30\nlat = 54.85\n";

}  // namespace

TEST_F(SiteTest, RunFrameAndLongitudeLatitudeRoundTripWithinAMillimetreOver100Km) {
  const site::Frame f(readOk(kAldmouth));
  double worst = 0;
  for (double x = -100000; x <= 100000; x += 12500) {
    for (double y = -100000; y <= 100000; y += 12500) {
      double lon, lat, bx, by;
      f.toLonLat(x, y, lon, lat);
      f.fromLonLat(lon, lat, bx, by);
      worst = std::max(worst, std::hypot(bx - x, by - y));
      // And from lon, lat: the same place back.
      double lon2, lat2;
      f.toLonLat(bx, by, lon2, lat2);
      worst = std::max(worst, metresBetween(lon, lat, lon2, lat2));
    }
  }
  EXPECT_LT(worst, 0.001);
  // x is east and y north at the origin, at scale 1: 10 km east is 10 km away.
  double lon, lat;
  f.toLonLat(0, 0, lon, lat);
  EXPECT_NEAR(lon, 2.30, 1e-12);
  EXPECT_NEAR(lat, 54.85, 1e-12);
  f.toLonLat(10000, 0, lon, lat);
  EXPECT_NEAR(metresBetween(2.30, 54.85, lon, lat), 10000.0, 0.5);
  // The many-point form gives the one-point form's values.
  std::vector<double> xs = {-3000, 0, 25000}, ys = {7000, 0, -12000};
  f.toLonLat(xs.data(), ys.data(), xs.size());
  f.toLonLat(-3000, 7000, lon, lat);
  EXPECT_DOUBLE_EQ(xs[0], lon);
  EXPECT_DOUBLE_EQ(ys[0], lat);
}

TEST_F(SiteTest, TheSamePlaceAsLonLatAndAsUtmLandsInTheSameMapCell) {
  const site::Frame a(readOk(kAldmouth));
  // The origin in UTM 31N by PROJ, the same place given the other way; its
  // grid north is turned from true north by the meridian convergence.
  PJ_CONTEXT* ctx = proj_context_create();
  PJ* op = proj_create_crs_to_crs(ctx, "EPSG:4326", "EPSG:32631", nullptr);
  PJ* utm = proj_normalize_for_visualization(ctx, op);
  const PJ_COORD o = proj_trans(utm, PJ_FWD, proj_coord(2.30, 54.85, 0, 0));
  proj_destroy(utm);
  proj_destroy(op);
  proj_context_destroy(ctx);
  char text[256];
  std::snprintf(text, sizeof text, "[origin]\ncrs = \"EPSG:32631\"\nx = %.4f\ny = %.4f\n", o.xy.x,
                o.xy.y);
  const site::Frame b(readOk(text));
  // The example's map: 500 m cells from x = -5 km and y = -5 km; a point at
  // each cell centre within 12 km of the release stays in its cell.
  int checked = 0;
  for (double x = -4750; x <= 12000; x += 2000) {
    for (double y = -4750; y <= 8000; y += 2000) {
      if (std::hypot(x, y) > 12000) continue;
      double lon, lat, bx, by;
      a.toLonLat(x, y, lon, lat);
      b.fromLonLat(lon, lat, bx, by);
      EXPECT_EQ(std::floor((bx + 5000) / 500), std::floor((x + 5000) / 500)) << x << " " << y;
      EXPECT_EQ(std::floor((by + 5000) / 500), std::floor((y + 5000) / 500)) << x << " " << y;
      ++checked;
    }
  }
  EXPECT_GT(checked, 20);
  // The release point is the same place to the millimetre.
  double lon, lat;
  b.toLonLat(0, 0, lon, lat);
  EXPECT_LT(metresBetween(2.30, 54.85, lon, lat), 0.001);
}

TEST_F(SiteTest, ARotationOf90DegreesTurnsTheYAxisToTheEast) {
  const site::Frame f(readOk("rotation = 90.0\n[origin]\nlon = 2.30\nlat = 54.85\n"));
  double lon, lat;
  f.toLonLat(0, 1000, lon, lat);
  EXPECT_NEAR(lat, 54.85, 1e-6);
  EXPECT_GT(lon, 2.30);
  EXPECT_NEAR(metresBetween(2.30, 54.85, lon, lat), 1000.0, 0.01);
  f.toLonLat(1000, 0, lon, lat);  // x then points south
  EXPECT_NEAR(lon, 2.30, 1e-6);
  EXPECT_LT(lat, 54.85);
  EXPECT_TRUE(f.runCrsWkt().empty()) << "a turned frame is no CRS's own";
}

TEST_F(SiteTest, TheRunCrsOfAProjectedOriginHasTheRunsOwnCoordinates) {
  const site::Frame f(readOk("[origin]\ncrs = \"EPSG:32631\"\nx = 500000.0\ny = 6261730.5\n"));
  ASSERT_FALSE(f.runCrsWkt().empty());
  EXPECT_EQ(f.cfName(), "transverse_mercator");
  PJ_CONTEXT* ctx = proj_context_create();
  PJ* run = proj_create(ctx, f.runCrsWkt().c_str());
  ASSERT_NE(run, nullptr);
  PJ* wgs84 = proj_create(ctx, "EPSG:4326");
  PJ* raw = proj_create_crs_to_crs_from_pj(ctx, run, wgs84, nullptr, nullptr);
  PJ* op = proj_normalize_for_visualization(ctx, raw);
  for (auto [x, y] : {std::pair{0.0, 0.0}, {-20000.0, 7000.0}, {9000.0, -15000.0}}) {
    const PJ_COORD c = proj_trans(op, PJ_FWD, proj_coord(x, y, 0, 0));
    double lon, lat;
    f.toLonLat(x, y, lon, lat);
    EXPECT_LT(metresBetween(c.xy.x, c.xy.y, lon, lat), 0.001) << x << " " << y;
  }
  proj_destroy(op);
  proj_destroy(raw);
  proj_destroy(wgs84);
  proj_destroy(run);
  proj_context_destroy(ctx);
}

TEST_F(SiteTest, EveryProblemOfASiteFileIsReportedWithItsLine) {
  writeFile("coast.geojson",
            "{\"type\": \"FeatureCollection\", \"features\": [{\"type\": \"Feature\", "
            "\"properties\": {\"kind\": \"x\"}, \"geometry\": {\"type\": \"Point\", "
            "\"coordinates\": [2.3, 54.9]}}]}\n");
  writeFile("empty.txt", "not a layer\n");
  struct Case {
    std::string text;
    long long line;
    std::string says;
  };
  const std::vector<Case> cases = {
      {"[origin\nlon = 1\n", 1, "not a TOML file"},
      {"name = \"x\"\n", 1, "the table [origin] is missing"},
      {"[origin]\nlon = 2.3\nlat = 95.0\n", 3, "lat must lie between -90 and 90 degrees, not 95"},
      {"[origin]\nlon = 200\nlat = 5\n", 2, "lon must lie between -180 and 180"},
      {"[origin]\nlat = 5\n", 1, "the key lon is missing in [origin]"},
      {"rotation = nan\n[origin]\nlon = 2\nlat = 5\n", 1, "rotation must be a finite number"},
      {"rotation = \"north\"\n[origin]\nlon = 2\nlat = 5\n", 1, "rotation must be a number"},
      {"[origin]\ncrs = \"EPSG:99999\"\nx = 1\ny = 2\n", 2, "unknown CRS \"EPSG:99999\""},
      {"[origin]\ncrs = \"EPSG:4326\"\nx = 1\ny = 2\n", 2, "is not a projected CRS"},
      {"[origin]\ncrs = \"EPSG:32631\"\nx = 1\n", 1, "the key y is missing in [origin]"},
      {"[origin]\nlon = 2\nlat = 5\nx = 1\n", 1, "gives both lon, lat and crs, x, y"},
      {"colour = 1\n[origin]\nlon = 2\nlat = 5\n", 1, "unknown key colour"},
      {"[origin]\nlon = 2\nlat = 5\n[[layers]]\nname = \"c\"\nkind = \"coastline\"\n"
       "file = \"missing.geojson\"\n",
       4, "the layer file missing.geojson does not exist"},
      {"[origin]\nlon = 2\nlat = 5\n[[layers]]\nname = \"c\"\nkind = \"coastline\"\n"
       "file = \"empty.txt\"\n",
       4, "GDAL cannot read the layer file empty.txt"},
      {"[origin]\nlon = 2\nlat = 5\n[[layers]]\nname = \"c\"\nkind = \"shore\"\n"
       "file = \"coast.geojson\"\n",
       6, "kind must be coastline, habitat, site or other, not shore"},
      {"[origin]\nlon = 2\nlat = 5\n[[layers]]\nname = \"c\"\nkind = \"habitat\"\n"
       "file = \"coast.geojson\"\nattribute = \"type\"\n",
       4, "has no field type"},
  };
  for (const Case& k : cases) {
    writeFile("bad.toml", k.text);
    site::Site s;
    std::vector<site::Problem> p;
    EXPECT_FALSE(site::readSite("bad.toml", s, p)) << k.text;
    bool found = false;
    for (const site::Problem& q : p) {
      found |= q.file == "bad.toml" && q.line == k.line && q.message.find(k.says) != std::string::npos;
    }
    EXPECT_TRUE(found) << k.text << "\nexpected line " << k.line << ": " << k.says << "\ngot: "
                       << (p.empty() ? std::string("nothing") : p[0].text());
  }
  // Both bundled examples read without a problem.
  for (const char* name : {"aldmouth-bank", "skerne-dredging"}) {
    site::Site s;
    std::vector<site::Problem> p;
    const std::string file = std::string(VORN_SOURCE_DIR) + "/examples/" + name + "/site.toml";
    EXPECT_TRUE(site::readSite(file, s, p)) << name << ": " << (p.empty() ? "" : p[0].text());
  }
}
