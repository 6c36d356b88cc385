// The map frames and the biology map as cloud-optimised GeoTIFFs.
#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "vorngis/layers.hpp"

namespace vorngis {
namespace {

constexpr double kNoData = -9999.0;

struct Closer {
  void operator()(GDALDataset* d) const { GDALClose(d); }
};
using Dataset = std::unique_ptr<GDALDataset, Closer>;

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
  geotransform(g, f, gt);
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

void geotransform(const Grid& g, const site::Frame& f, double gt[6]) {
  // The run-frame corner of the image's first pixel: west edge, north edge.
  const double top = g.y0 + g.dy * static_cast<double>(g.ny);
  double e0, n0, ex, nx, ey, ny;
  f.toCrs(g.x0, top, e0, n0);
  f.toCrs(g.x0 + g.dx, top, ex, nx);   // one column east
  f.toCrs(g.x0, top - g.dy, ey, ny);   // one row south
  gt[0] = e0;
  gt[1] = ex - e0;
  gt[2] = ey - e0;
  gt[3] = n0;
  gt[4] = nx - n0;
  gt[5] = ny - n0;
}

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
  if (r.hasBiologyMap) {
    char d[96];
    std::snprintf(d, sizeof d, "biology exposure (equivalent days), thresholds %g to %g g/m3",
                  r.bioLow, r.bioHigh);
    writeGeoTiff(r.bioGrid, f, dir, "biology_exposure.tif", 1, {d}, {},
                 [&](std::size_t, std::vector<float>& v) { biologyMap(r, v); }, written);
  }
}

}  // namespace vorngis
