#!/usr/bin/env bash
# Runs each fuzz target for a bounded time: fuzz/run.sh BUILD SECONDS [TARGET...]
# (targets: listread layout startup). Seeds come from the example and the
# test data (make_seeds.py) and from fuzz/regressions; new inputs collect in
# BUILD/corpus/TARGET, findings in BUILD/artifacts. Exits 1 on a finding,
# naming the input to keep under fuzz/regressions/TARGET once it is fixed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$1" && pwd)"
seconds="$2"
shift 2
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(listread layout startup)

/usr/bin/python3 "$root/fuzz/make_seeds.py" "$build/seeds"
status=0
for t in "${targets[@]}"; do
  mkdir -p "$build/corpus/$t" "$build/artifacts"
  log="$build/fuzz-$t.log"
  echo "fuzz_$t: ${seconds} s (log in $log)"
  # stdout and stderr of the target are closed: the program's messages on
  # them are expected; libFuzzer and the sanitizers report on their own.
  if ! "$build/fuzz_$t" -max_total_time="$seconds" -timeout=30 -close_fd_mask=3 \
      -artifact_prefix="$build/artifacts/$t-" -print_final_stats=1 \
      "$build/corpus/$t" "$build/seeds/$t" "$root/fuzz/regressions/$t" > "$log" 2>&1; then
    status=1
    echo "fuzz_$t: FINDING"
    grep -E "ERROR|SUMMARY|what\(\)|Test unit written" "$log" || true
  fi
  grep -E "^Done [0-9]+ runs|stat::number_of_executed_units|cov: " "$log" | tail -2
done
exit $status
