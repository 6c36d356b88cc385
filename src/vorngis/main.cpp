// Program vorngis: the GIS layers of a converted run, placed on Earth by
// its site: GeoTIFFs of the maps, a GeoPackage and KML of the points, the
// track, the ellipses, the last packets and the plume's outlines.
//   vorngis RUN.nc [--site FILE] [-o DIR] [--outline C]...
// Exit status 0 when the layers are written, 1 when a file is missing or
// wrong (the message names it), 2 on a usage error.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "site/site.hpp"
#include "vorngis/layers.hpp"
#include "vorngis/runfile.hpp"

namespace fs = std::filesystem;
using namespace vorngis;

namespace {

int usage(int status) {
  std::fputs(
      "usage: vorngis RUN.nc [--site FILE] [-o DIR] [--outline C]...\n"
      "  Writes the GIS layers of a run converted by vorn2nc, in the site's CRS:\n"
      "  layer_concentration.tif, column_load.tif and biology_exposure.tif (cloud-optimised\n"
      "  GeoTIFF, a band per map frame), run.gpkg (release, points, track, track_points,\n"
      "  ellipses, packets, outline) and run.kml (the same but the packets, for Google Earth).\n"
      "  --site FILE   the site file (default: the one vorn2nc placed the run with, else\n"
      "                site.toml beside RUN.nc)\n"
      "  -o DIR        the folder of the layers (default: gis beside RUN.nc)\n"
      "  --outline C   the plume's outline at C g/m3 of layer concentration, every map frame\n"
      "                (may be given more than once; default the biology map's lower\n"
      "                threshold, when the run has a biology map)\n",
      status == 0 ? stdout : stderr);
  return status;
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

}  // namespace

int main(int argc, char** argv) {
  std::string nc, siteArg, dir;
  std::vector<double> levels;
  for (int k = 1; k < argc; ++k) {
    const std::string a = argv[k];
    if (a == "-h" || a == "--help") return usage(0);
    if ((a == "--site" || a == "-o" || a == "--outline") && k + 1 < argc) {
      const std::string v = argv[++k];
      if (a == "--site") {
        siteArg = v;
      } else if (a == "-o") {
        dir = v;
      } else {
        char* end = nullptr;
        const double c = std::strtod(v.c_str(), &end);
        if (end == v.c_str() || *end != '\0' || !(c > 0)) {
          std::fprintf(stderr, "vorngis: --outline takes a concentration above 0 (g/m3), not %s\n",
                       v.c_str());
          return 2;
        }
        levels.push_back(c);
      }
    } else if (!a.empty() && a[0] != '-' && nc.empty()) {
      nc = a;
    } else {
      return usage(2);
    }
  }
  if (nc.empty()) return usage(2);

  RunFile run;
  try {
    run = openRun(nc);
    const fs::path ncPath = fs::absolute(nc).lexically_normal();
    std::string siteFile = siteArg;
    if (siteFile.empty() && !run.siteFile.empty() && fs::exists(run.siteFile)) siteFile = run.siteFile;
    if (siteFile.empty()) siteFile = (ncPath.parent_path() / "site.toml").string();
    if (!fs::exists(siteFile)) {
      fail("no site file: " + siteFile + " does not exist; name one with --site (the layers "
           "need the run's place on Earth)");
    }
    site::Site where;
    std::vector<site::Problem> problems;
    if (!site::readSite(siteFile, where, problems)) {
      std::string m = "the site file has problems:";
      for (const site::Problem& p : problems) m += "\n  " + p.text();
      fail(m);
    }
    const site::Frame frame(where);
    if (dir.empty()) dir = (ncPath.parent_path() / "gis").string();
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir)) fail("cannot create the folder " + dir);
    // No layer may be written over a file this program reads.
    for (const char* name : {"layer_concentration.tif", "column_load.tif",
                             "biology_exposure.tif", "run.gpkg", "run.kml",
                             "assessment_concentration.tif", "assessment_load.tif",
                             "assessment_exceedance.tif", "assessment_zones.tif", "receptors.csv",
                             "habitats.csv"}) {
      const std::string out = dir + "/" + name;
      for (const std::string& in : {ncPath.string(), siteFile}) {
        if (sameFile(out, in)) fail("refusing to write " + out + ": it is " + in + ", which vorngis reads");
      }
      for (const site::Layer& l : where.layers) {
        if (sameFile(out, l.path)) fail("refusing to write " + out + ": it is the site's layer " + l.file);
      }
    }
    std::string outlineNote;
    if (levels.empty() && run.hasBiologyMap && run.bioLow > 0) {
      levels.push_back(run.bioLow);
      char b[128];
      std::snprintf(b, sizeof b, "the plume's outline at %g g/m3, the biology map's lower "
                    "threshold (--outline C to choose)", static_cast<double>(run.bioLow));
      outlineNote = b;
    }
    std::vector<std::string> written;
    writeRasters(run, frame, dir, written);
    writeVectors(run, where, frame, dir, levels, written);
    writeTables(run, dir, written);
    closeRun(run);
    std::printf("vorngis: wrote in %s, in %s:\n", dir.c_str(), frame.crsName().c_str());
    for (const std::string& w : written) std::printf("  %s\n", fs::path(w).filename().c_str());
    if (!outlineNote.empty()) std::printf("  with %s\n", outlineNote.c_str());
    return 0;
  } catch (const GisError& e) {
    closeRun(run);
    std::fprintf(stderr, "%s\n", e.message.c_str());
  } catch (const std::exception& e) {
    closeRun(run);
    std::fprintf(stderr, "vorngis: %s\n", e.what());
  }
  return 1;
}
