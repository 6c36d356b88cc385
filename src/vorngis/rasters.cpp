// The map frames and the biology map as cloud-optimised GeoTIFFs.
#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "assess/gdalhandles.hpp"
#include "vorngis/layers.hpp"

namespace vorngis {
namespace {

constexpr double kNoData = -9999.0;

using assess::Dataset;

// A folder of its own next to the outputs, for the files being written.
struct Scratch {
  std::string dir;
  explicit Scratch(const std::string& parent) {
    std::string t = parent + "/.vorngis-XXXXXX";
    if (::mkdtemp(t.data()) == nullptr) fail("cannot create a folder in " + parent);
    dir = t;
  }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

// Writes `bands` bands of the grid, band k filled by fill(k, values) with
// values in the file's rows (south first), as a COG named `name` in `dir`.
template <class Fill>
void writeGeoTiff(const Grid& g, const site::Frame& f, const std::string& dir,
                  const std::string& name, std::size_t bands,
                  const std::vector<std::string>& descriptions, const std::vector<std::string>& times,
                  Fill fill, std::vector<std::string>& written) {
  Scratch s(dir);
  const std::string plain = s.dir + "/plain.tif";
  GDALDriver* gtiff = GetGDALDriverManager()->GetDriverByName("GTiff");
  GDALDriver* cog = GetGDALDriverManager()->GetDriverByName("COG");
  if (gtiff == nullptr || cog == nullptr) fail("GDAL has no GTiff or COG driver");
  const char* plainOptions[] = {"TILED=YES", "COMPRESS=DEFLATE", "BIGTIFF=IF_SAFER", nullptr};
  Dataset d(gtiff->Create(plain.c_str(), static_cast<int>(g.nx), static_cast<int>(g.ny),
                          static_cast<int>(bands), GDT_Float32, const_cast<char**>(plainOptions)));
  if (!d) fail("cannot create " + plain + ": " + CPLGetLastErrorMsg());
  double gt[6];
  assess::geotransform(mapGrid(g), f, gt);
  d->SetGeoTransform(gt);
  OGRSpatialReference srs;
  srs.importFromWkt(f.crsWkt().c_str());
  d->SetSpatialRef(&srs);
  std::vector<float> v, row(g.nx);
  for (std::size_t k = 0; k < bands; ++k) {
    fill(k, v);
    GDALRasterBand* b = d->GetRasterBand(static_cast<int>(k + 1));
    b->SetNoDataValue(kNoData);
    b->SetDescription(descriptions[k].c_str());
    if (k < times.size() && !times[k].empty()) b->SetMetadataItem("TIME", times[k].c_str());
    // The file's rows run south to north; the image's north to south.
    for (std::size_t j = 0; j < g.ny; ++j) {
      for (std::size_t i = 0; i < g.nx; ++i) {
        const float x = v[(g.ny - 1 - j) * g.nx + i];
        row[i] = std::isnan(x) ? static_cast<float>(kNoData) : x;
      }
      if (b->RasterIO(GF_Write, 0, static_cast<int>(j), static_cast<int>(g.nx), 1, row.data(),
                      static_cast<int>(g.nx), 1, GDT_Float32, 0, 0) != CE_None) {
        fail("cannot write " + plain + ": " + CPLGetLastErrorMsg());
      }
    }
  }
  const std::string tmp = s.dir + "/" + name;
  const char* cogOptions[] = {"COMPRESS=DEFLATE", "PREDICTOR=YES", "OVERVIEWS=NONE", nullptr};
  Dataset c(cog->CreateCopy(tmp.c_str(), d.get(), FALSE, const_cast<char**>(cogOptions), nullptr,
                            nullptr));
  if (!c) fail("cannot write " + name + ": " + CPLGetLastErrorMsg());
  c.reset();
  d.reset();
  const std::string target = dir + "/" + name;
  if (std::rename(tmp.c_str(), target.c_str()) != 0) fail("cannot write " + target);
  written.push_back(target);
}

}  // namespace

assess::MapGrid mapGrid(const Grid& g) { return {g.nx, g.ny, g.x0, g.dx, g.y0, g.dy}; }

void writeRasters(const RunFile& r, const site::Frame& f, const std::string& dir,
                  std::vector<std::string>& written) {
  GDALAllRegister();
  if (r.hasMap && !r.mapTimes.empty()) {
    std::vector<std::string> desc, times;
    for (const Time& t : r.mapTimes) {
      char d[32];
      std::snprintf(d, sizeof d, "%.6f", t.day);
      desc.push_back(std::string("day ") + d + " (" + t.iso + ")");
      times.push_back(t.iso);
    }
    const std::pair<const char*, const char*> maps[] = {
        {"layer_concentration", "layer concentration (g/m3), "},
        {"column_load", "column load (g/m2), "}};
    for (const auto& [var, what] : maps) {
      std::vector<std::string> d;
      for (const std::string& x : desc) d.push_back(what + x);
      writeGeoTiff(r.grid, f, dir, std::string(var) + ".tif", r.mapTimes.size(), d, times,
                   [&](std::size_t k, std::vector<float>& v) { mapFrame(r, var, k, v); }, written);
    }
  }
  const Assessment& a = r.assessment;
  if (a.hasMap) {
    const std::size_t cells = r.grid.nx * r.grid.ny;
    // Bands from arrays of statistics, each `cells` long.
    const auto bands = [&](const std::string& name, const std::vector<const double*>& src,
                           const std::vector<std::string>& what) {
      writeGeoTiff(r.grid, f, dir, name, src.size(), what, {},
                   [&](std::size_t k, std::vector<float>& v) {
                     v.resize(cells);
                     for (std::size_t c = 0; c < cells; ++c) v[c] = static_cast<float>(src[k][c]);
                   },
                   written);
    };
    const auto stats = [&](const std::vector<double>& pct, const std::vector<double>& mx,
                           const std::vector<double>& mean, const char* what, const char* units) {
      std::vector<const double*> src;
      std::vector<std::string> desc;
      for (std::size_t k = 0; k < a.percentiles.size(); ++k) {
        src.push_back(pct.data() + k * cells);
        char d[96];
        std::snprintf(d, sizeof d, "%gth percentile of the %s (%s)", a.percentiles[k], what, units);
        desc.push_back(d);
      }
      src.push_back(mx.data());
      desc.push_back(std::string("maximum of the ") + what + " (" + units + ")");
      src.push_back(mean.data());
      desc.push_back(std::string("mean of the ") + what + " (" + units + ")");
      return std::pair{src, desc};
    };
    auto [cs, cd] = stats(a.cPercentile, a.cMax, a.cMean, "layer concentration", "g/m3");
    bands("assessment_concentration.tif", cs, cd);
    auto [ls, ld] = stats(a.lPercentile, a.lMax, a.lMean, "column load", "g/m2");
    bands("assessment_load.tif", ls, ld);
    if (!a.thresholds.empty()) {
      std::vector<const double*> src;
      std::vector<std::string> desc;
      for (auto [arr, what] : {std::pair{&a.cHours, "hours above"},
                               std::pair{&a.cShare, "percent of the time above"},
                               std::pair{&a.cSpell, "longest spell (hours) above"}}) {
        for (std::size_t t = 0; t < a.thresholds.size(); ++t) {
          src.push_back(arr->data() + t * cells);
          char d[96];
          std::snprintf(d, sizeof d, "%s %g g/m3 (layer concentration)", what, a.thresholds[t]);
          desc.push_back(d);
        }
      }
      bands("assessment_exceedance.tif", src, desc);
    }
    if (!a.zone.empty()) {
      std::vector<double> z(a.zone.begin(), a.zone.end());
      std::string d = "zone (0 none";
      for (std::size_t k = 0; k < a.zones.size(); ++k) d += ", " + std::to_string(k + 1) + " " + a.zones[k];
      bands("assessment_zones.tif", {z.data()}, {d + ")"});
    }
  }
  if (r.hasBiologyMap) {
    char d[96];
    std::snprintf(d, sizeof d, "biology exposure (equivalent days), thresholds %g to %g g/m3",
                  r.bioLow, r.bioHigh);
    writeGeoTiff(r.bioGrid, f, dir, "biology_exposure.tif", 1, {d}, {},
                 [&](std::size_t, std::vector<float>& v) { biologyMap(r, v); }, written);
  }
}

}  // namespace vorngis
