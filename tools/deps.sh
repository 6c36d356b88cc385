#!/usr/bin/env bash
# The Debian packages the project needs besides its compiler, CMake,
# GoogleTest and Google Benchmark, in two sets:
#   demo  what `make demo` runs: netcdf-c for vorn2nc; PROJ, GDAL (and its
#         tools) and toml++ for the site and the GIS layers (vorngis);
#         matplotlib, xarray, netCDF4 and GDAL's bindings of the system
#         Python for the figures and the NetCDF snippet; ffmpeg for the
#         report's animation.
#   test  the demo's set, Chromium and npm (the report is checked in a
#         headless browser driven by playwright-core from the npm registry),
#         and the ensemble engines that the tests of
#         vornens drive: GNU parallel, and Slurm with munge (daemons and
#         clients, without their recommended plugins). Installed so that no
#         system service is started or enabled: a policy that forbids
#         starting services is in place during the install (unless the
#         machine has a policy of its own), and the services of the
#         packages just installed are disabled afterwards. The tests start
#         their own scratch Slurm in a folder of their own.
# Run as root, it installs what is missing, after saying what; otherwise it
# prints the apt-get line that does. Called by make demo and make test.
#   tools/deps.sh demo|test
set -uo pipefail
set_name="${1:-demo}"
python=/usr/bin/python3
missing=()
[ -f /usr/include/netcdf.h ] || missing+=(libnetcdf-dev)
[ -f /usr/include/proj.h ] || missing+=(libproj-dev)
[ -f /usr/include/gdal/gdal.h ] || missing+=(libgdal-dev)
command -v gdalinfo >/dev/null || missing+=(gdal-bin)
command -v ffmpeg >/dev/null || missing+=(ffmpeg)
[ -f /usr/include/toml++/toml.h ] || missing+=(libtomlplusplus-dev)
for pair in matplotlib:python3-matplotlib xarray:python3-xarray netCDF4:python3-netcdf4 \
            osgeo:python3-gdal; do
  "$python" -c "import ${pair%%:*}" 2>/dev/null || missing+=("${pair#*:}")
done
services=()
if [ "$set_name" = test ]; then
  parallel --version 2>/dev/null | grep -q "^GNU parallel" || missing+=(parallel)
  [ -x /usr/bin/chromium ] || missing+=(chromium)
  command -v npm >/dev/null || missing+=(npm)
  PATH="$PATH:/usr/sbin:/sbin"
  for pair in munged:munge slurmctld:slurmctld slurmd:slurmd sbatch:slurm-client; do
    command -v "${pair%%:*}" >/dev/null || services+=("${pair#*:}")
  done
fi
[ ${#missing[@]} -eq 0 ] && [ ${#services[@]} -eq 0 ] && exit 0

as_root() { [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; }

# apt_install [apt-get options] -- PACKAGE...: as root, or the line that does it.
apt_install() {
  local opts=() ; while [ "${1:-}" != "--" ]; do opts+=("$1"); shift; done; shift
  [ $# -eq 0 ] && return 0
  if as_root; then
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
[ ${#services[@]} -eq 0 ] && exit 0

if ! as_root; then
  apt_install --no-install-recommends -- "${services[@]}"
  echo "  (these packages come with the services munge, slurmctld and slurmd; the tests do not"
  echo "   need them running: disable them with  sudo systemctl disable munge slurmctld slurmd)"
  exit 0
fi

# No service starts during the install: invoke-rc.d asks /usr/sbin/policy-rc.d,
# and status 101 forbids every action. A policy the machine already has is
# left as it is.
policy=/usr/sbin/policy-rc.d
own_policy=0
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\n# Written by the vorn deps script for the length of an install.\nexit 101\n' > "$policy"
  chmod 755 "$policy"
  own_policy=1
  trap 'rm -f "$policy"' EXIT
fi
apt_install --no-install-recommends -- "${services[@]}"
[ "$own_policy" = 1 ] && rm -f "$policy"
# The packages' units and init scripts are enabled by their install: disable
# those of the packages installed now (nothing the machine had before).
for svc in munge slurmctld slurmd; do
  case " ${services[*]} " in *" $svc "*) ;; *) continue ;; esac
  if command -v deb-systemd-helper >/dev/null && [ -f "/lib/systemd/system/$svc.service" ]; then
    deb-systemd-helper disable "$svc.service" >/dev/null 2>&1 || true
  fi
  if command -v update-rc.d >/dev/null && [ -f "/etc/init.d/$svc" ]; then
    update-rc.d "$svc" disable >/dev/null 2>&1 || true
  fi
done
echo "deps: their services (munge, slurmctld, slurmd) were not started and are disabled"
exit 0
