#!/usr/bin/env bash
# Builds the fuzz targets, replays the seed corpus through each, then fuzzes
# each for SECONDS seconds (default 60), one after another.
#   tests/fuzz/run_fuzz.sh [seconds] [work dir]
# New inputs go to the work dir (default: a temporary one), never into the
# repository; a crashing input is written there and the script fails.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-60}
work=${2:-$(mktemp -d)}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
for target in convert round_trip; do
  binary=build/fuzz/tests/fuzz/fuzz_$target
  mkdir -p "$work/$target"
  echo "== fuzz_$target: replaying the corpus"
  "$binary" -runs=0 tests/fuzz/corpus/$target
  echo "== fuzz_$target: fuzzing for $seconds s"
  "$binary" -max_total_time="$seconds" -max_len=16384 -print_final_stats=1 \
    -artifact_prefix="$work/$target-" "$work/$target" tests/fuzz/corpus/$target 2>&1 |
    grep -E '^#[0-9]+ +DONE|stat::number_of_executed_units|ERROR|SUMMARY|runtime error|==[0-9]+==' || true
  if ls "$work/$target-"* >/dev/null 2>&1; then
    echo "fuzz_$target found a failing input: $(ls "$work/$target-"*)"
    exit 1
  fi
done
