#!/usr/bin/env bash
# Google Benchmark built in Release for `make bench`, and the build folder
# pointed at it.
#   tools/benchlib.sh BUILD_DIR
#
# Debian's libbenchmark-dev is compiled by debhelper with
# CMAKE_BUILD_TYPE=None: optimised (-O2), but without NDEBUG. The library
# then keeps its internal consistency checks and every run prints
# "***WARNING*** Library was built as DEBUG. Timings may be affected." The
# code measured (ours, and the inline timing loop of benchmark.h) is
# compiled by this project in Release either way. To lose the warning and
# the checks, this script fetches the same version's Debian source package
# with apt-get source (through a private list of deb-src URIs, leaving the
# system's apt configuration alone), builds it in Release into
# BUILD_DIR/benchlib and reconfigures BUILD_DIR to use it. When that is
# not possible (no apt-get, no network), the system library stays in use
# and the script says so; the figures are still those of Release code.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(mkdir -p "$1" && cd "$1" && pwd)"
prefix="$build/benchlib"
work="$build/benchlib-src"

config="$(ls "$prefix"/lib*/cmake/benchmark/benchmarkConfig.cmake 2>/dev/null | head -n 1)"
if [ -z "$config" ]; then
  fetch() {
    command -v apt-get > /dev/null && command -v dpkg-source > /dev/null || return 1
    local version codename
    version="$(dpkg-query -W -f='${Version}' libbenchmark-dev 2>/dev/null)" || return 1
    codename="$(. /etc/os-release && echo "${VERSION_CODENAME:-}")"
    [ -n "$version" ] && [ -n "$codename" ] || return 1
    rm -rf "$work"
    mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/src"
    echo "deb-src http://deb.debian.org/debian $codename main" > "$work/sources.list"
    local opts=(-q -o "Dir::Etc::SourceList=$work/sources.list" -o "Dir::Etc::SourceParts=/dev/null"
                -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work/cache")
    apt-get "${opts[@]}" update > "$work/apt.log" 2>&1 &&
      (cd "$work/src" && apt-get "${opts[@]}" source "benchmark=$version" >> "$work/apt.log" 2>&1)
  }
  compile() {
    local src upstream
    src="$(ls -d "$work"/src/benchmark-*/ 2>/dev/null | head -n 1)"
    [ -n "$src" ] || return 1
    # Debian's packaging passes the version itself (its first patch stops
    # the build from asking git), as its rules file does.
    upstream="$(basename "$src")"
    upstream="${upstream#benchmark-}"
    cmake -S "$src" -B "$work/build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
      -DGIT_VERSION="$upstream" \
      -DBENCHMARK_ENABLE_TESTING=OFF -DBENCHMARK_ENABLE_GTEST_TESTS=OFF -DBENCHMARK_ENABLE_WERROR=OFF \
      -DBENCHMARK_ENABLE_LTO=OFF -DBUILD_SHARED_LIBS=OFF > "$work/cmake.log" 2>&1 &&
      cmake --build "$work/build" -j 2 > "$work/build.log" 2>&1 &&
      cmake --install "$work/build" > "$work/install.log" 2>&1
  }
  echo "benchlib: building Google Benchmark in Release from Debian's source package"
  if fetch && compile; then
    config="$(ls "$prefix"/lib*/cmake/benchmark/benchmarkConfig.cmake 2>/dev/null | head -n 1)"
  fi
fi
if [ -z "$config" ]; then
  echo "benchlib: could not build the Release library (see $work/*.log); the system's library" \
       "(built without NDEBUG: it prints the DEBUG warning) stays in use"
  exit 0
fi
cmake -S "$root" -B "$build" -Dbenchmark_DIR="$(dirname "$config")" > /dev/null
echo "benchlib: benchmarks link Google Benchmark from $prefix (Release)"
