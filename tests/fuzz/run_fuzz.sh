#!/usr/bin/env bash
# Builds the fuzz target, replays the seed corpus through it, then fuzzes for
# SECONDS seconds (default 120).
#   tests/fuzz/run_fuzz.sh [seconds] [work dir]
# New inputs go to the work dir (default: a temporary one), never into the
# repository; a crashing input is written there and the script fails.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-120}
work=${2:-$(mktemp -d)}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
binary=build/fuzz/tests/fuzz/fuzz_convert
mkdir -p "$work/corpus"
echo "== fuzz_convert: replaying the corpus"
"$binary" -runs=0 tests/fuzz/corpus/convert
echo "== fuzz_convert: fuzzing for $seconds s"
"$binary" -max_total_time="$seconds" -max_len=16384 -print_final_stats=1 \
  -artifact_prefix="$work/crash-" "$work/corpus" tests/fuzz/corpus/convert 2>&1 |
  grep -E '^#[0-9]+ +DONE|stat::number_of_executed_units|ERROR|SUMMARY|runtime error|==[0-9]+==' || true
if ls "$work/crash-"* >/dev/null 2>&1; then
  echo "fuzz_convert found a failing input: $(ls "$work/crash-"*)"
  exit 1
fi
