#!/usr/bin/env bash
# The Debian packages the project needs besides its compiler, CMake,
# GoogleTest and Google Benchmark: netcdf-c for vorn2nc; matplotlib, xarray
# and netCDF4 of the system Python for the figures, the NetCDF checks and
# vornens; GNU parallel, and Slurm with munge (daemons and clients, without
# their recommended plugins) for the ensemble engines and their tests. Run as
# root, it installs what is missing; otherwise it prints the apt-get line
# that does. Called by make test and make demo.
#   tools/deps.sh
set -uo pipefail
python=/usr/bin/python3
missing=()
[ -f /usr/include/netcdf.h ] || missing+=(libnetcdf-dev)
for pair in matplotlib:python3-matplotlib xarray:python3-xarray netCDF4:python3-netcdf4; do
  "$python" -c "import ${pair%%:*}" 2>/dev/null || missing+=("${pair#*:}")
done
parallel --version 2>/dev/null | grep -q "^GNU parallel" || missing+=(parallel)
slurm=()
PATH="$PATH:/usr/sbin:/sbin"
for pair in munged:munge slurmctld:slurmctld slurmd:slurmd sbatch:slurm-client; do
  command -v "${pair%%:*}" >/dev/null || slurm+=("${pair#*:}")
done
[ ${#missing[@]} -eq 0 ] && [ ${#slurm[@]} -eq 0 ] && exit 0

# apt_install [apt-get options] PACKAGE...: as root, or the line that does it.
apt_install() {
  local opts=() ; while [ "${1:-}" != "--" ]; do opts+=("$1"); shift; done; shift
  [ $# -eq 0 ] && return 0
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
    echo "deps: installing $*"
    export DEBIAN_FRONTEND=noninteractive
    apt-get install -y -q "${opts[@]}" "$@" >/dev/null 2>&1 ||
      { apt-get update -q >/dev/null 2>&1 && apt-get install -y -q "${opts[@]}" "$@" >/dev/null; } ||
      echo "deps: could not install $*" >&2
  else
    echo "deps: missing $*; install them with:"
    echo "  sudo apt-get install ${opts[*]} $*"
  fi
}
apt_install -- "${missing[@]}"
apt_install --no-install-recommends -- "${slurm[@]}"
exit 0
