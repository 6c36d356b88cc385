// The assessment's tables: every statistic of each sampling point, and
// each habitat polygon's area in each zone, as CSV.
#include <cmath>
#include <cstdio>
#include <string>

#include "vorngis/layers.hpp"

namespace vorngis {
namespace {

std::string number(double v) {
  if (std::isnan(v)) return "";
  char b[32];
  std::snprintf(b, sizeof b, "%.6g", v);
  return b;
}

// A CSV field: quoted when it holds a comma, a quote or a line end.
std::string field(const std::string& s) {
  if (s.find_first_of(",\"\n\r") == std::string::npos) return s;
  std::string q = "\"";
  for (char c : s) q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

void writeFile(const std::string& path, const std::string& text, std::vector<std::string>& written) {
  const std::string tmp = path + ".part";
  std::FILE* f = std::fopen(tmp.c_str(), "w");
  if (f == nullptr || std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fclose(f) != 0) {
    fail("cannot write " + path);
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) fail("cannot write " + path);
  written.push_back(path);
}

}  // namespace

void writeTables(const RunFile& r, const std::string& dir, std::vector<std::string>& written) {
  const Assessment& a = r.assessment;
  if (!a.given) return;
  const std::size_t np = a.percentiles.size(), nt = a.thresholds.size();
  if (!a.pMax.empty()) {
    const std::size_t n = a.pMax.size();
    std::string s = "point,x_m,y_m,layer_bottom_m,layer_top_m,radius_m";
    for (double p : a.percentiles) s += ",p" + number(p) + "_g_m3";
    s += ",max_g_m3,mean_g_m3";
    for (const char* what : {"hours_above_", "percent_of_time_above_", "longest_spell_hours_above_"}) {
      for (double t : a.thresholds) s += std::string(",") + what + number(t) + "_g_m3";
    }
    if (!a.pZone.empty()) s += ",zone";
    s += "\n";
    for (std::size_t i = 0; i < n; ++i) {
      const Point* p = i < r.points.size() ? &r.points[i] : nullptr;
      s += std::to_string(i + 1) + "," + (p ? number(p->x) + "," + number(p->y) + "," +
                                                  number(p->zlow) + "," + number(p->ztop) + "," +
                                                  number(p->radius)
                                            : std::string(",,,,"));
      for (std::size_t k = 0; k < np; ++k) s += "," + number(a.pPercentile[k * n + i]);
      s += "," + number(a.pMax[i]) + "," + number(a.pMean[i]);
      for (const std::vector<double>* v : {&a.pHours, &a.pShare, &a.pSpell}) {
        for (std::size_t t = 0; t < nt; ++t) s += "," + number((*v)[t * n + i]);
      }
      if (!a.pZone.empty()) {
        const int z = a.pZone[i];
        s += "," + field(z > 0 && static_cast<std::size_t>(z) <= a.zones.size() ? a.zones[static_cast<std::size_t>(z - 1)] : "none");
      }
      s += "\n";
    }
    writeFile(dir + "/receptors.csv", s, written);
  }
  if (!a.habitatType.empty()) {
    const std::size_t n = a.habitatType.size(), nz = a.zones.size();
    std::string s = "habitat,name,area_ha";
    for (const std::string& z : a.zones) s += "," + field(z + "_ha") + "," + field(z + "_percent");
    s += "\n";
    for (std::size_t h = 0; h < n; ++h) {
      s += field(a.habitatType[h]) + "," + field(a.habitatName[h]) + "," + number(a.habitatArea[h]);
      for (std::size_t z = 0; z < nz; ++z) {
        s += "," + number(a.habitatZoneArea[h * nz + z]) + "," + number(a.habitatZonePercent[h * nz + z]);
      }
      s += "\n";
    }
    writeFile(dir + "/habitats.csv", s, written);
  }
}

}  // namespace vorngis
