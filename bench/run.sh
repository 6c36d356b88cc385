#!/usr/bin/env bash
# `make bench`: every benchmark, five repetitions each, with their medians;
# then the figures of the performance targets, from those medians.
#   bench/run.sh BUILD_DIR [benchmark options]
set -euo pipefail
build="$1"
shift
"$build/vorn_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_out="$build/bench.json" --benchmark_out_format=json "$@"
/usr/bin/python3 - "$build/bench.json" <<'PY'
import json, sys
rows = {b["name"]: b for b in json.load(open(sys.argv[1]))["benchmarks"]}
def figure(name, counter):
    b = rows.get(name + "_median")
    return f"{b[counter] * 1e9:6.2f}" if b and counter in b else "   n/a"  # seconds -> ns
print()
print("Per-packet figures (medians of 5), ns per packet, one thread, by kernel path:")
print(f"  {'kernel':<58} {'sse2':>7} {'avx2':>7} {'avx512':>7}")
for label, name in [
    ("ABRVERTPOS2, 1,001,000 packets, two 50-level tables", "BM_AbrVertPosOnePass/path:{p}/threads:1/real_time"),
    ("MOVEHORIZ, 1,001,000 packets, 8 nodes", "BM_MoveHorizOneStep/path:{p}/threads:1/real_time"),
    ("PLACEANDMOVE (both in one pass, as a run steps)", "BM_PlaceAndMoveOnePass/path:{p}/threads:1/real_time"),
]:
    print(f"  {label:<58} " + " ".join(figure(name.format(p=p), "per_packet") + " " for p in range(3)))
print("  the same on two threads, the best path:")
for label, name in [
    ("ABRVERTPOS2", "BM_AbrVertPosOnePass/path:2/threads:2/real_time"),
    ("MOVEHORIZ", "BM_MoveHorizOneStep/path:2/threads:2/real_time"),
    ("PLACEANDMOVE", "BM_PlaceAndMoveOnePass/path:2/threads:2/real_time"),
]:
    print(f"    {label:<56} {figure(name, 'per_packet')}")
for label, name, counter, unit in [
    ("VERTSHUFFL method 3", "BM_VertShufflSweep", "per_exchange", "ns/exchange"),
    ("CNCENTR1, fifty points", "BM_Cncentr1FiftyPoints", "per_packet", "ns/packet"),
    ("CONTRMAOUT, map binning", "BM_ContrmaoutBinning", "per_packet", "ns/packet"),
]:
    print(f"  {label:<58} {figure(name, counter)} {unit}")
print("(n/a: the processor lacks the path; a whole run: bench/wholerun.sh)")
PY
