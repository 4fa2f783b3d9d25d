#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, ASan + UBSan) and runs each for a bounded time.
#   scripts/fuzz.sh [SECONDS_PER_HARNESS] [HARNESS...]
# Findings are written to build/fuzz/findings/<harness>/; the seed corpus is never modified.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
shift || true
bash scripts/setup-debian.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
harnesses=("$@")
if ((${#harnesses[@]} == 0)); then
  for src in tests/fuzz/fuzz_*.cpp; do
    [[ -e "$src" ]] || continue
    harnesses+=("$(basename "$src" .cpp)")
  done
fi
if ((${#harnesses[@]} == 0)); then
  echo "fuzz: no harnesses yet"
  exit 0
fi
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
for h in "${harnesses[@]}"; do
  corpus="tests/fuzz/corpus/${h#fuzz_}"
  work="build/fuzz/work/$h"
  findings="build/fuzz/findings/$h"
  rm -rf "$work"
  mkdir -p "$work" "$findings"
  seeds=()
  [[ -d "$corpus" ]] && seeds+=("$corpus")
  echo "fuzz: $h for ${seconds}s"
  "build/fuzz/$h" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$work" "${seeds[@]}"
done
