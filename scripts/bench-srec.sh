#!/usr/bin/env bash
# S-record loading throughput: our loader against srec_info (package srecord) on the same
# generated files, records in ascending and in descending address order.
#   scripts/bench-srec.sh [MiB]      size of each generated file (default 16, at least 16)
# Prints MB/s (10^6 bytes per second of file text) for both tools and the ratio; wall time is
# used for both (srec_info: best of 3 runs, process start included).
set -euo pipefail
cd "$(dirname "$0")/.."
mib="${1:-16}"
if ((mib < 16)); then mib=16; fi
command -v srec_info >/dev/null || { echo "bench-srec: srec_info missing (run scripts/setup-debian.sh)" >&2; exit 1; }
cmake --preset default >/dev/null
cmake --build --preset default --target bench_srec >/dev/null
bench=build/default/tests/bench/bench_srec
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$bench" --generate=ascending "$work/ascending.pen" "$mib"
"$bench" --generate=descending "$work/descending.pen" "$mib"

VFWU_SREC_ASC="$work/ascending.pen" VFWU_SREC_DESC="$work/descending.pen" \
  "$bench" --benchmark_format=csv >"$work/ours.csv" 2>/dev/null
ours() { # bytes_per_second column of the named benchmark, in MB/s
  awk -F, -v n="\"BM_LoadSRec/$1/min_time:1.000/real_time\"" \
    'NR==1{for(i=1;i<=NF;i++) if($i=="bytes_per_second") c=i} $1==n{printf "%.1f", $c/1e6}' "$work/ours.csv"
}
srec_info_mbs() { # best of three wall-clock runs
  local file="$1" size best=""
  size=$(stat -c %s "$file")
  for _ in 1 2 3; do
    local t0 t1
    t0=$(date +%s%N)
    srec_info "$file" >/dev/null 2>&1 || { echo "bench-srec: srec_info failed on $file" >&2; exit 1; }
    t1=$(date +%s%N)
    if [[ -z "$best" || $((t1 - t0)) -lt "$best" ]]; then best=$((t1 - t0)); fi
  done
  awk -v s="$size" -v ns="$best" 'BEGIN{printf "%.1f", s / (ns / 1e9) / 1e6}'
}

printf "%-11s %10s %12s %14s %7s\n" order "file MiB" "ours MB/s" "srec_info MB/s" ratio
for order in ascending descending; do
  file="$work/$order.pen"
  a=$(ours "$order")
  b=$(srec_info_mbs "$file")
  [[ -n "$a" ]] || { echo "bench-srec: no result for $order" >&2; cat "$work/ours.csv" >&2; exit 1; }
  printf "%-11s %10.1f %12s %14s %7s\n" "$order" "$(awk -v s="$(stat -c %s "$file")" 'BEGIN{print s/1048576}')" \
    "$a" "$b" "$(awk -v a="$a" -v b="$b" 'BEGIN{printf "%.1fx", a/b}')"
done
