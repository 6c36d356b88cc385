#!/usr/bin/env bash
# A whole run of a million packets, timed side by side for today's program
# (built from a git revision in a scratch folder) and the program of this
# tree, with one thread and with the default thread count; every output
# file is compared byte for byte.
#
#   bench/wholerun.sh [--base REV] [--build DIR] [--packets N] [--hours H]
#                     [--positions] [--keep DIR]
#
#   --base REV     the revision taken as today's program (default 0f77742)
#   --build DIR    build folder of this tree (default build; configured in
#                  Release and built when needed)
#   --packets N    packets released at the first step (default 1000000)
#   --hours H      simulated hours, 60 steps of 60 s each (default 24)
#   --positions    also write every packet's position at the end of the run
#                  (one frame of N lines), so that the comparison covers them
#   --keep DIR     keep the run folders there instead of deleting them
#
# The case: the Aldmouth Bank site of examples/aldmouth-bank, N packets
# released at once, 1440 steps of 60 s, sweep shuffling over an hour,
# statistics and six concentration points every hour.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
base=0f77742
build="$root/build"
packets=1000000
hours=24
positions=0
keep=""
while [ $# -gt 0 ]; do
  case "$1" in
    --base) base="$2"; shift 2 ;;
    --build) build="$2"; shift 2 ;;
    --packets) packets="$2"; shift 2 ;;
    --hours) hours="$2"; shift 2 ;;
    --positions) positions=1; shift ;;
    --keep) keep="$2"; shift 2 ;;
    *) echo "wholerun: unknown argument $1" >&2; exit 2 ;;
  esac
done
[ -x /usr/bin/time ] || { echo "wholerun: /usr/bin/time is missing (apt-get install time)" >&2; exit 1; }

scratch="$(mktemp -d /tmp/vorn-wholerun-XXXXXX)"
cleanup() { rm -rf "$scratch"; }
trap cleanup EXIT
jobs=2

# Today's program, from the revision, in the scratch folder.
echo "wholerun: building today's program ($base) in $scratch/base"
mkdir -p "$scratch/base"
git -C "$root" archive --format=tar "$base" | tar -x -C "$scratch/base"
cmake -S "$scratch/base" -B "$scratch/base/build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  > "$scratch/base-cmake.log" 2>&1 || { cat "$scratch/base-cmake.log" >&2; exit 1; }
cmake --build "$scratch/base/build" --target vornv7 -j "$jobs" > "$scratch/base-build.log" 2>&1 ||
  { tail -n 30 "$scratch/base-build.log" >&2; exit 1; }
old="$scratch/base/build/vornv7"

# This tree's program.
echo "wholerun: building this tree's program in $build"
[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build "$build" --target vornv7 -j "$jobs" > "$scratch/new-build.log" 2>&1 ||
  { tail -n 30 "$scratch/new-build.log" >&2; exit 1; }
new="$build/vornv7"

# The case.
site="$root/examples/aldmouth-bank"
mkdir -p "$scratch/case"
cp "$site"/*.dat "$scratch/case/"
frame=0
[ "$positions" = 1 ] && frame="$hours"
{
  echo "wholerun.log"
  echo "20260601 31415926"
  echo "$hours 157.0"
  echo "1"
  echo "0.016666666666666667 1.0"
  echo "3"
  echo "-2"
  echo "stress.dat"
  echo "0.0015 0.0015 0.0003 0.05"
  echo "0.4 0.05"
  echo "0"
  echo "1"
  echo "1.0e6 $packets 1.0 0"
  echo "lognodes.dat"
  echo "intnodes.dat"
  echo "vel_01m.dat"
  echo "vel_03m.dat"
  echo "vel_06m.dat"
  echo "vel_11m.dat"
  echo "0"
  echo "0"
  echo "1"
  echo "stats.out"
  echo "0.05 11.0 3000.0"
  echo "$frame"
  [ "$frame" = 0 ] || echo "packets.out"
  echo "1"
  echo "conc.out"
  echo "6"
  echo "0.0 0.0 200.0 0.05 1.0"
  echo "500.0 200.0 300.0 0.05 2.0"
  echo "2000.0 700.0 500.0 0.05 2.0"
  echo "5000.0 1800.0 500.0 0.05 2.0"
  echo "-3000.0 -1000.0 1000.0 0.05 2.0"
  echo "5000.0 1800.0 500.0 4.0 8.0"
  echo "0"
  echo "0"
  echo "0"
} > "$scratch/case/run.par"

# One timed run in a folder of its own: wall seconds and peak resident KB.
run() {
  local name="$1"
  shift
  mkdir -p "$scratch/$name"
  cp "$scratch/case/"* "$scratch/$name/"
  (cd "$scratch/$name" && /usr/bin/time -f "%e %M %U %S" -o ../"$name".time "$@" run.par screen.txt) ||
    { echo "wholerun: $name failed" >&2; cat "$scratch/$name/screen.txt" >&2; exit 1; }
}
echo "wholerun: $packets packets, $((hours * 60)) steps of 60 s, statistics and 6 concentration points every hour"
echo "wholerun: running today's program"
run today "$old"
echo "wholerun: running the new program with --threads 1"
run one "$new" --threads 1
echo "wholerun: running the new program with the default thread count"
run default "$new"

# Every file the runs wrote, compared with today's.
verdict="identical"
nfiles=0
for f in $(cd "$scratch/today" && ls); do
  [ -f "$scratch/case/$f" ] && continue
  nfiles=$((nfiles + 1))
  for r in one default; do
    if ! cmp -s "$scratch/today/$f" "$scratch/$r/$f"; then
      [ "$verdict" = identical ] && verdict="differ: first differing file $f (run $r)"
    fi
  done
done
for r in one default; do
  for f in $(cd "$scratch/$r" && ls); do
    [ -e "$scratch/today/$f" ] || { [ "$verdict" = identical ] && verdict="differ: $f written only by run $r"; }
  done
done

read -r t0 m0 u0 s0 < "$scratch/today.time"
read -r t1 m1 u1 s1 < "$scratch/one.time"
read -r t2 m2 u2 s2 < "$scratch/default.time"
threads="$(nproc)"
# Wall-clock times are the figures; the processor time (user + system, all
# threads) helps to read them on a machine that others are using.
awk -v t0="$t0" -v t1="$t1" -v t2="$t2" -v m0="$m0" -v m1="$m1" -v m2="$m2" \
    -v c0="$(awk -v a="$u0" -v b="$s0" 'BEGIN { print a + b }')" \
    -v c1="$(awk -v a="$u1" -v b="$s1" 'BEGIN { print a + b }')" \
    -v c2="$(awk -v a="$u2" -v b="$s2" 'BEGIN { print a + b }')" \
    -v th="$threads" -v base="$base" 'BEGIN {
  printf "\n%-30s %9s %9s %10s %9s\n", "whole run", "wall (s)", "speed-up", "peak (MB)", "cpu (s)"
  printf "%-30s %9.2f %9s %10.1f %9.2f\n", "today (" base ")", t0, "1.0x", m0 / 1024, c0
  printf "%-30s %9.2f %8.1fx %10.1f %9.2f\n", "new, --threads 1", t1, t0 / t1, m1 / 1024, c1
  printf "%-30s %9.2f %8.1fx %10.1f %9.2f\n", "new, default (" th " threads)", t2, t0 / t2, m2 / 1024, c2
}'
echo "outputs ($nfiles files): $verdict"
[ -n "$keep" ] && { mkdir -p "$keep"; cp -r "$scratch"/today "$scratch"/one "$scratch"/default "$keep"/; echo "run folders kept in $keep"; }
[ "$verdict" = identical ]
