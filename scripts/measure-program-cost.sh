#!/usr/bin/env bash
# Measures the host's cost per programmed byte: one 256 KiB S-record update on the simulated
# loader with the log-file notifier attached, counted in instructions by callgrind.
#   scripts/measure-program-cost.sh            protocol types 0 and 1
#   scripts/measure-program-cost.sh 1          protocol type 1 only
# Only the update itself (RunOnce) is counted; what runs below CSimHost::SetFeature/GetFeature
# is the simulated operating system and board, reported apart from the host's share.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh >/dev/null
cmake --preset default >/dev/null
cmake --build --preset default --target bench_program >/dev/null
bench=build/default/tests/bench/bench_program
out=build/default/callgrind
mkdir -p "$out"
bytes=262144
types=("$@")
((${#types[@]})) || types=(0 1)

# Instructions counted while inside functions matching the patterns (callgrind --toggle-collect).
count() {
    local file=$1 t=$2
    shift 2
    local toggles=()
    for p in "$@"; do toggles+=("--toggle-collect=$p"); done
    valgrind --tool=callgrind --callgrind-out-file="$file" "${toggles[@]}" \
        "$bench" --once "$t" "$out/program-type$t.log" >/dev/null 2>"$file.valgrind.txt"
    callgrind_annotate "$file" 2>/dev/null | awk '/PROGRAM TOTALS/ { gsub(",", "", $1); print $1 }'
}

for t in "${types[@]}"; do
    total=$(count "$out/program-type$t.out" "$t" '*RunOnce*')
    sim=$(count "$out/program-type$t-sim.out" "$t" 'CSimHost::SetFeature*' 'CSimHost::GetFeature*')
    host=$((total - sim))
    awk -v t="$t" -v total="$total" -v sim="$sim" -v host="$host" -v bytes="$bytes" 'BEGIN {
        printf "protocol type %s: %d bytes programmed\n", t, bytes
        printf "  whole update  %12d instructions  %8.1f per byte\n", total, total / bytes
        printf "  host          %12d instructions  %8.1f per byte\n", host, host / bytes
        printf "  simulator     %12d instructions  %8.1f per byte\n", sim, sim / bytes
    }'
done
