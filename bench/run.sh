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
print("Per-packet figures (medians of 5, one thread unless said):")
for label, name, counter, unit, target in [
    ("ABRVERTPOS2, 1,001,000 packets, two 50-level tables", "BM_AbrVertPosOnePass/threads:1", "per_packet", "ns/packet", "<= 3"),
    ("  the same, two threads", "BM_AbrVertPosOnePass/threads:2/real_time", "per_packet", "ns/packet", ""),
    ("MOVEHORIZ, 1,001,000 packets, 8 nodes", "BM_MoveHorizOneStep/threads:1", "per_packet", "ns/packet", "<= 2.5"),
    ("  the same, two threads", "BM_MoveHorizOneStep/threads:2/real_time", "per_packet", "ns/packet", ""),
    ("VERTSHUFFL method 3", "BM_VertShufflSweep", "per_exchange", "ns/exchange", "<= 15"),
    ("CNCENTR1, fifty points", "BM_Cncentr1FiftyPoints", "per_packet", "ns/packet", ""),
    ("CONTRMAOUT, map binning", "BM_ContrmaoutBinning", "per_packet", "ns/packet", ""),
]:
    t = f"   (target {target})" if target else ""
    print(f"  {label:<55} {figure(name, counter)} {unit}{t}")
PY
