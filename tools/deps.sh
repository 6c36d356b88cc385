#!/usr/bin/env bash
# The Debian packages the project needs besides its compiler, CMake,
# GoogleTest and Google Benchmark: netcdf-c for vorn2nc, and matplotlib,
# xarray and netCDF4 of the system Python for the figures and the NetCDF
# checks. Run as root, it installs what is missing; otherwise it prints the
# one apt-get line that does. Called by make test and make demo.
#   tools/deps.sh
set -uo pipefail
python=/usr/bin/python3
missing=()
[ -f /usr/include/netcdf.h ] || missing+=(libnetcdf-dev)
for pair in matplotlib:python3-matplotlib xarray:python3-xarray netCDF4:python3-netcdf4; do
  "$python" -c "import ${pair%%:*}" 2>/dev/null || missing+=("${pair#*:}")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
  echo "deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y -q "${missing[@]}" >/dev/null 2>&1 ||
    { apt-get update -q >/dev/null 2>&1 && apt-get install -y -q "${missing[@]}" >/dev/null; } ||
    echo "deps: could not install ${missing[*]}" >&2
else
  echo "deps: missing ${missing[*]}; install them with:"
  echo "  sudo apt-get install ${missing[*]}"
fi
exit 0
