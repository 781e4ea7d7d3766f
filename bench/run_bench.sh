#!/usr/bin/env bash
# Times both conversions of a ~70,000-record item cache with the release build:
# the median wall time of several runs of the whole process, the throughput in
# MB of CSV written (or read) per second, and the peak memory.
#   bench/run_bench.sh [build dir, default build/release]   (RUNS=9 by default)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
runs=${RUNS:-9}
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (apt-get install time)"; exit 1; }
if [ ! -x "$build/cachesift" ] || [ ! -x "$build/bench/make_bench_cache" ]; then
  cmake --preset release >/dev/null && cmake --build --preset release >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/back"
"$build/bench/make_bench_cache" "$work/itemcache.wdb" 70000

# Runs one conversion $runs times; prints the median seconds and the peak KiB.
measure() {
  local input=$1 times=() peak=0
  for _ in $(seq "$runs"); do
    local start end kib
    start=$(date +%s%N)
    /usr/bin/time -f '%M' -o "$work/mem" "$build/cachesift" "$input" >/dev/null
    end=$(date +%s%N)
    times+=($(( (end - start) / 1000 )))
    kib=$(tail -n 1 "$work/mem")
    (( kib > peak )) && peak=$kib
  done
  local median
  median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p")
  echo "$median $peak"
}

report() {
  local name=$1 micros=$2 kib=$3 bytes=$4
  awk -v n="$name" -v us="$micros" -v kib="$kib" -v b="$bytes" -v runs="$runs" 'BEGIN {
    printf "%-14s median %.3f s over %d runs, %.0f MB/s of CSV, peak memory %.1f MiB\n",
      n, us / 1e6, runs, b / 1e6 / (us / 1e6), kib / 1024 }'
}

read -r us kib < <(measure "$work/itemcache.wdb")
csv_bytes=$(stat -c %s "$work/itemcache.wdb.csv")
report "cache to CSV" "$us" "$kib" "$csv_bytes"

mv "$work/itemcache.wdb.csv" "$work/back/itemcache.wdb.csv"
read -r us kib < <(measure "$work/back/itemcache.wdb.csv")
report "CSV to cache" "$us" "$kib" "$csv_bytes"
echo "CSV file: $csv_bytes bytes; cache file written back: $(stat -c %s "$work/back/itemcache.wdb") bytes"
