#!/usr/bin/env bash
# Builds the fuzz targets, replays each one's seed corpus, then fuzzes each for
# SECONDS seconds (default 120): fuzz_convert (caches and CSV files) and
# fuzz_layout (a user's layout file, then a cache and a CSV read by it).
#   tests/fuzz/run_fuzz.sh [seconds] [work dir] [target...]
# New inputs go to the work dir (default: a temporary one), never into the
# repository; a crashing input is written there and the script fails.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-120}
work=${2:-$(mktemp -d)}
shift $(( $# > 2 ? 2 : $# ))
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(convert layout)
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
for target in "${targets[@]}"; do
  binary=build/fuzz/tests/fuzz/fuzz_$target
  mkdir -p "$work/$target"
  echo "== fuzz_$target: replaying the corpus"
  "$binary" -runs=0 "tests/fuzz/corpus/$target"
  echo "== fuzz_$target: fuzzing for $seconds s"
  max_len=16384
  [ "$target" = layout ] && max_len=65536  # a layout file and a sample cache
  "$binary" -max_total_time="$seconds" -max_len=$max_len -print_final_stats=1 \
    -artifact_prefix="$work/crash-$target-" "$work/$target" "tests/fuzz/corpus/$target" 2>&1 |
    grep -E '^#[0-9]+ +DONE|stat::number_of_executed_units|ERROR|SUMMARY|runtime error|==[0-9]+==' || true
  if ls "$work/crash-$target-"* >/dev/null 2>&1; then
    echo "fuzz_$target found a failing input: $(ls "$work/crash-$target-"*)"
    exit 1
  fi
done
