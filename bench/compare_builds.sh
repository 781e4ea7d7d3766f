#!/usr/bin/env bash
# Compares builds of the tool on the real creature cache of build 53262, its records repeated
# to 40,040 (REALCACHES, default ../shared/realcaches): in each of RUNS rounds (21 by default)
# the floor and then each build convert the cache to CSV and the CSV back, each run after a
# sync. Runs of one round are a few seconds apart, so a machine whose speed drifts from minute
# to minute shifts them alike. Prints each build's medians and their ratios to the floor's.
#   bench/compare_builds.sh <build dir> [build dir...]
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -ge 1 ] || { echo "usage: bench/compare_builds.sh <build dir> [build dir...]"; exit 2; }
runs=${RUNS:-21}
floor=$1/bench/io_floor
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/back"
python3 bench/grow_cache.py "${REALCACHES:-../shared/realcaches}/b53262/creaturecache.wdb" \
  "$work/creaturecache.wdb" 40000
"$1/cachesift" "$work/creaturecache.wdb" >/dev/null
cp "$work/creaturecache.wdb.csv" "$work/back/"
"$1/cachesift" "$work/back/creaturecache.wdb.csv" >/dev/null

# Milliseconds of wall time of a command, after a sync.
timed() {
  sync
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null
  end=$(date +%s%N)
  echo $(( (end - start) / 1000 ))
}
median() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }

declare -A times
for _ in $(seq "$runs"); do
  times[floor,out]+="$(timed "$floor" "$work/creaturecache.wdb" "$work/creaturecache.wdb.csv" \
    "$(stat -c %s "$work/creaturecache.wdb.csv")") "
  times[floor,back]+="$(timed "$floor" "$work/back/creaturecache.wdb.csv" \
    "$work/back/creaturecache.wdb" "$(stat -c %s "$work/creaturecache.wdb")") "
  for build in "$@"; do
    times[$build,out]+="$(timed "$build/cachesift" "$work/creaturecache.wdb") "
    times[$build,back]+="$(timed "$build/cachesift" "$work/back/creaturecache.wdb.csv") "
  done
done
cmp "$work/creaturecache.wdb" "$work/back/creaturecache.wdb"
for direction in out back; do
  # shellcheck disable=SC2086 # the times are words
  f=$(median ${times[floor,$direction]})
  for build in "$@"; do
    # shellcheck disable=SC2086
    awk -v d="$([ $direction = out ] && echo "cache to CSV" || echo "CSV to cache")" -v b="$build" \
        -v t="$(median ${times[$build,$direction]})" -v f="$f" -v runs="$runs" 'BEGIN {
      printf "%s  %-28s tool %.1f ms  floor %.1f ms  ratio %.2f  [median of %d]\n",
        d, b, t / 1000, f / 1000, t / f, runs }'
  done
done
