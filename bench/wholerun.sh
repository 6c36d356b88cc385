#!/usr/bin/env bash
# A whole run of a million packets, timed side by side for today's program
# (built from a git revision in a scratch folder) and the program of this
# tree, each with one thread and with the default thread count, and this
# tree's through each kernel path (sse2, avx2, avx512) the processor runs;
# every output file of every run is compared byte for byte.
#
#   bench/wholerun.sh [--base REV] [--build DIR] [--packets N] [--hours H]
#                     [--positions] [--repeat N] [--keep DIR]
#
#   --base REV     the revision taken as today's program (default ac8407b, the program
#                  before the AVX-512 kernels)
#   --build DIR    build folder of this tree (default build; configured in
#                  Release and built when needed)
#   --packets N    packets released at the first step (default 1000000)
#   --hours H      simulated hours, 60 steps of 60 s each (default 24)
#   --positions    also write every packet's position at the end of the run
#                  (one frame of N lines), so that the comparison covers them
#   --repeat N     rounds of runs, each figure the fastest of its N (default 3)
#   --keep DIR     keep the run folders there instead of deleting them
#
# The case: the Aldmouth Bank site of examples/aldmouth-bank, N packets
# released at once, 1440 steps of 60 s, sweep shuffling over an hour,
# statistics and six concentration points every hour.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
base=ac8407b
build="$root/build"
packets=1000000
hours=24
positions=0
keep=""
repeat=3
while [ $# -gt 0 ]; do
  case "$1" in
    --base) base="$2"; shift 2 ;;
    --build) build="$2"; shift 2 ;;
    --packets) packets="$2"; shift 2 ;;
    --hours) hours="$2"; shift 2 ;;
    --positions) positions=1; shift ;;
    --keep) keep="$2"; shift 2 ;;
    --repeat) repeat="$2"; shift 2 ;;
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

# One timed run in a folder of its own: wall seconds, peak resident KB,
# user and system seconds, appended to NAME.times.
run() {
  local name="$1"
  shift
  rm -rf "$scratch/$name"
  mkdir -p "$scratch/$name"
  cp "$scratch/case/"* "$scratch/$name/"
  (cd "$scratch/$name" && /usr/bin/time -f "%e %M %U %S" -a -o ../"$name".times "$@" run.par screen.txt) ||
    { echo "wholerun: $name failed" >&2; cat "$scratch/$name/screen.txt" >&2; exit 1; }
}
# The runs: today's program and this tree's, each on one thread and on the
# default count, and this tree's on one thread through each kernel path the
# processor runs; taken in turns, --repeat times, so that a slow spell of
# the machine falls on all of them alike. The figure of each is its fastest.
names=(today1 todayN one default)
paths=()
for p in sse2 avx2 avx512; do
  if VORN_KERNELS=$p "$new" --version > /dev/null 2>&1; then paths+=("$p"); names+=("one-$p"); fi
done
echo "wholerun: $packets packets, $((hours * 60)) steps of 60 s, statistics and 6 concentration points every hour; $repeat round(s)"
for ((k = 1; k <= repeat; ++k)); do
  echo "wholerun: round $k: today's program, this tree's, and this tree's kernel paths (${paths[*]})"
  run today1 "$old" --threads 1
  run todayN "$old"
  run one "$new" --threads 1
  run default "$new"
  for p in "${paths[@]}"; do run "one-$p" env VORN_KERNELS="$p" "$new" --threads 1; done
done

# Every file the runs wrote, compared with today's.
verdict="identical"
nfiles=0
for f in $(cd "$scratch/today1" && ls); do
  [ -f "$scratch/case/$f" ] && continue
  nfiles=$((nfiles + 1))
  for r in "${names[@]}"; do
    if ! cmp -s "$scratch/today1/$f" "$scratch/$r/$f"; then
      [ "$verdict" = identical ] && verdict="differ: first differing file $f (run $r)"
    fi
  done
done
for r in "${names[@]}"; do
  for f in $(cd "$scratch/$r" && ls); do
    [ -e "$scratch/today1/$f" ] || { [ "$verdict" = identical ] && verdict="differ: $f written only by run $r"; }
  done
done

threads="$(nproc)"
steps=$((hours * 60))
# Wall-clock times are the figures; the processor time (user + system, all
# threads) helps to read them on a machine that others are using.
report() {  # label name reference-name
  sort -g "$scratch/$2.times" | head -n 1 | awk -v l="$1" -v n="$packets" -v s="$steps" \
    -v ref="$(sort -g "$scratch/$3.times" | head -n 1 | cut -d' ' -f1)" \
    '{ printf "%-34s %9.2f %8.2fx %10.1f %9.2f %10.2f\n", l, $1, ref / $1, $2 / 1024, $3 + $4, $1 / n / s * 1e9 }'
}
printf "\n%-34s %9s %9s %10s %9s %10s\n" "whole run (fastest of $repeat)" "wall (s)" "speed-up" "peak (MB)" "cpu (s)" "ns/pk-step"
report "today ($base), --threads 1" today1 today1
report "today ($base), default ($threads)" todayN todayN
report "new, --threads 1" one today1
report "new, default ($threads threads)" default todayN
for p in "${paths[@]}"; do report "new, --threads 1, $p kernels" "one-$p" today1; done
echo "outputs ($nfiles files, every run): $verdict"
[ -n "$keep" ] && { mkdir -p "$keep"; cp -r "${names[@]/#/$scratch/}" "$keep"/; echo "run folders kept in $keep"; }
[ "$verdict" = identical ]
