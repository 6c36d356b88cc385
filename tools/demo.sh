#!/usr/bin/env bash
# Runs a bundled example in a scratch folder (the committed example stays
# clean), draws the quick-look figures and lists what was written. On a
# terminal the program's own progress line shows how far the run has come.
#   tools/demo.sh BUILD_DIR [SCRATCH_DIR] [EXAMPLE]
# EXAMPLE is a folder name under examples/ (default aldmouth-bank).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
scratch="${2:-$root/demo-run}"
name="${3:-aldmouth-bank}"
example="$root/examples/$name"
prog="$build/vornv7"
[ -x "$prog" ] || { echo "demo: $prog is missing; run make first" >&2; exit 1; }
if [ ! -f "$example/run.par" ]; then
  echo "demo: no example \"$name\"; the examples are:" >&2
  for d in "$root"/examples/*/; do [ -f "$d/run.par" ] && echo "  $(basename "$d")" >&2; done
  exit 1
fi

rm -rf "$scratch"
mkdir -p "$scratch"
scratch="$(cd "$scratch" && pwd)"
cp "$example"/*.dat "$example"/run.par "$scratch"/
# The site: where the run lies on Earth, with its made-up coast and habitats.
for f in "$example"/site.toml "$example"/*.geojson; do [ -f "$f" ] && cp "$f" "$scratch"/; done
cd "$scratch"
echo "demo: running examples/$name in $scratch"
start=$(date +%s)
# The console goes to screen.txt; the progress line, when standard error is
# a terminal, shows the run as it goes.
status=0
"$prog" run.par screen.txt || status=$?
if [ "$status" -ne 0 ]; then
  echo "demo: vornv7 ended with status $status" >&2
  exit "$status"
fi
tail -n 1 screen.txt | tr -d '\r'
echo "demo: the run took $(( $(date +%s) - start )) s"

python=/usr/bin/python3
if ! "$python" -c "import matplotlib" 2>/dev/null; then
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
    echo "demo: installing python3-matplotlib for the figures"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q python3-matplotlib >/dev/null ||
      { apt-get update -q >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y -q python3-matplotlib >/dev/null; } || true
  fi
fi
echo "demo: files written in $scratch:"
ls -l --time-style=+ "$scratch" | awk 'NR>1 && $1 !~ /^d/ && $NF !~ /\.dat$|^run\.par$/ {printf "  %-14s %10s bytes\n", $NF, $5}'
if "$python" -c "import matplotlib" 2>/dev/null; then
  echo "demo: figures:"
  "$python" "$root/tools/plot_run.py" "$scratch" | sed 's/^/  /'
else
  echo "demo: no figures: matplotlib is missing. Install it with"
  echo "  sudo apt-get install python3-matplotlib"
  echo "then run: /usr/bin/python3 tools/plot_run.py $scratch"
fi

# The run as one CF-NetCDF file, and how to plot its map with xarray.
if [ -x "$build/vorn2nc" ]; then
  echo "demo: converting the run to CF-NetCDF"
  "$build/vorn2nc" "$scratch" -o "$scratch/run.nc" | sed 's/^/  /'
  nc="$scratch/run.nc"
  case "$nc" in "$root"/*) nc="${nc#"$root"/}" ;; esac  # as seen from the project, where make runs
  echo "demo: plot the last concentration map from it (/usr/bin/python3):"
  echo "  import xarray as xr, matplotlib.pyplot as plt"
  echo "  xr.open_dataset(\"$nc\", group=\"map\").layer_concentration.isel(time=-1).plot()"
  echo "  plt.show()"
  # The GIS layers, placed on Earth by the site.
  if [ -x "$build/vorngis" ] && [ -f "$scratch/site.toml" ]; then
    echo "demo: GIS layers of the run"
    "$build/vorngis" "$scratch/run.nc" | sed 's/^/  /'
    gis="$scratch/gis"
    case "$gis" in "$root"/*) gis="${gis#"$root"/}" ;; esac
    echo "demo: open them in QGIS: Layer > Add Layer > Add Raster Layer, $gis/layer_concentration.tif"
    echo "  (one band per map frame; the band's description gives its time), and Add Vector"
    echo "  Layer, $gis/run.gpkg (points, track, ellipses, packets, plume outline); in Google"
    echo "  Earth: File > Open, $gis/run.kml, and play the time slider."
    # The one-page report of the run's assessment, with its animation.
    if command -v ffmpeg >/dev/null && "$python" -c "import osgeo, netCDF4" 2>/dev/null; then
      echo "demo: the plume report (figures, animation, zones, receptor and habitat tables)"
      page=$("$python" "$root/tools/vornreport.py" "$scratch") || exit 1
      case "$page" in "$root"/*) page="${page#"$root"/}" ;; esac
      echo "demo: open the report in a browser (from the disk, no server): $page"
    else
      echo "demo: no report: it needs ffmpeg, python3-gdal and python3-netcdf4"
    fi
  fi
else
  echo "demo: no NetCDF file and no GIS layers: vorn2nc was not built, for want of netcdf-c."
  echo "  sudo apt-get install libnetcdf-dev libproj-dev libgdal-dev gdal-bin libtomlplusplus-dev,"
  echo "  then make demo again"
fi
