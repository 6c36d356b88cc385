#pragma once
// A run's place on Earth: the site file (site.toml) that puts the run's
// own metres around its origin onto a coordinate reference system, and the
// transforms between the run's frame, that CRS and longitude and latitude.
//
// The run's frame: x and y in metres from the origin, the y axis at
// `rotation` degrees clockwise from north (true north for an origin given
// as lon/lat, the CRS's grid north for one given in a projected CRS). With
// a lon/lat origin the frame's CRS is a transverse Mercator centred on the
// origin (scale 1, no false easting or northing, WGS 84): x is east and y
// north there, with a scale error below 1e-4 within 60 km. With a
// projected origin, the run's coordinates rotated and shifted by the
// origin's x, y are the CRS's own. Every geodetic step is PROJ's.
#include <memory>
#include <string>
#include <vector>

namespace site {

// One vector layer of the site: a file any GDAL vector driver reads.
struct Layer {
  std::string name;       // the layer's name in figures and outputs
  std::string kind;       // coastline, habitat, site or other
  std::string file;       // as written in the site file
  std::string path;       // the file, from the site file's folder
  std::string attribute;  // the field naming each feature's type (habitats), or empty
  long long line = 0;     // the line of its [[layers]] table
};

// A zone of the plume assessment: the cells (or points) whose layer
// concentration is above `threshold` for more than `percentOfTime` percent
// of the time, or for more than `hours` hours.
struct Zone {
  std::string name;
  double threshold = 0;      // g/m3
  bool byHours = false;      // the condition is on hours, else on the share of time
  double value = 0;          // percent of the time, or hours
};

// The plume assessment of a site ([assessment]): the statistics every map
// cell and sampling point gets, and the habitats whose area per zone is
// counted.
struct Assessment {
  bool given = false;                 // the site file has an [assessment]
  std::vector<double> percentiles;    // percent, 0..100 (default 50, 80, 95, 99)
  std::vector<double> thresholds;     // g/m3, on the layer concentration
  std::vector<double> loadThresholds; // g/m2, on the column load
  std::vector<Zone> zones;            // most severe first
  std::string habitatLayer;           // the name of a site layer, or empty
  std::string habitatAttribute;       // its field naming the habitat type
  long long line = 0;                 // the line of [assessment]
};

// The site file as read.
struct Site {
  std::string file;              // the site file's path
  std::string name;              // the site's name
  double rotation = 0;           // degrees clockwise from north to the run's y axis
  bool lonlatOrigin = true;      // origin given as lon/lat (else crs, x, y)
  double lon = 0, lat = 0;       // origin, degrees (WGS 84), for a lon/lat origin
  std::string crs;               // the CRS as given, for a projected origin
  double x0 = 0, y0 = 0;         // origin in the CRS (m), for a projected origin
  std::vector<Layer> layers;
  Assessment assessment;
};

// A problem of a site file: FILE:LINE: error: message.
struct Problem {
  std::string file;
  long long line = 0;
  std::string message;
  std::string text() const;  // "FILE:LINE: error: message"
};

// Reads and checks the site file `path` (TOML): every problem is added to
// `problems` (a file that cannot be parsed gives one). Returns true when
// there is none. The CRS is checked with PROJ and each layer file with GDAL;
// [assessment] is checked against the layers.
bool readSite(const std::string& path, Site& s, std::vector<Problem>& problems);

// The site file of a run: `given` when not empty, else site.toml beside
// the parameter file `parfile` when there is one; empty when neither.
std::string siteFileFor(const std::string& given, const std::string& parfile);

// The run's frame on Earth, built from a site that reads without problems.
class Frame {
 public:
  explicit Frame(const Site& s);  // throws std::runtime_error when PROJ refuses
  ~Frame();
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;

  // The CRS of the frame (the transverse Mercator of a lon/lat origin, or
  // the site's projected CRS), as WKT2 (2019) and as its name.
  const std::string& crsWkt() const { return crsWkt_; }
  const std::string& crsName() const { return crsName_; }
  // Run coordinates (m) to the frame's CRS (m) and back: rotation, then shift.
  void toCrs(double x, double y, double& e, double& n) const;
  void fromCrs(double e, double n, double& x, double& y) const;
  // Run coordinates to longitude and latitude (degrees, WGS 84) and back.
  // Many points at once: arrays of n, in place (x becomes lon, y lat).
  void toLonLat(double x, double y, double& lon, double& lat) const;
  void fromLonLat(double lon, double lat, double& x, double& y) const;
  void toLonLat(double* xs, double* ys, std::size_t n) const;
  // A CRS whose own coordinates are the run's x, y, as WKT2: with no
  // rotation, the transverse Mercator of a lon/lat origin, or the site's
  // CRS with its false easting and northing moved by the origin. Empty with
  // a rotation, or when the CRS has no false easting to move.
  const std::string& runCrsWkt() const { return runCrsWkt_; }
  // The CF grid mapping of runCrsWkt(): grid_mapping_name and its
  // parameters (name, value), where CF has them; empty otherwise.
  const std::vector<std::pair<std::string, double>>& cfParameters() const { return cf_; }
  const std::string& cfName() const { return cfName_; }
  double rotation() const { return rotation_; }

 private:
  struct Proj;
  std::unique_ptr<Proj> p_;
  std::string crsWkt_, crsName_, runCrsWkt_, cfName_;
  std::vector<std::pair<std::string, double>> cf_;
  double rotation_ = 0;   // degrees
  double cosr_ = 1, sinr_ = 0;
  double x0_ = 0, y0_ = 0;
};

}  // namespace site
