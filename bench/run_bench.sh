#!/usr/bin/env bash
# Times both conversions of a ~70,000-record item cache with the release build
# against the I/O floor, once for the built-in layout and once for the layout
# of client build 12340: bench/io_floor reads the same input and replaces the
# same (existing) target with as many bytes, flushed as the tool flushes them,
# and converts nothing. The tool and the floor run alternately, RUNS times
# each (9 by default); per direction the script prints the tool's median wall
# time, the floor's, their ratio and the tool's peak memory. Then bench/in_memory
# times the conversion steps alone on the same files, without any I/O. The same for the real
# creature and quest caches of build 53262 (REALCACHES, default ../shared/realcaches), their
# records repeated to 40,000 or more, and the creature cache to a million. Last of all, a made
# 53262 creature cache as another build's, whose layout is chosen by fit.
#   bench/run_bench.sh [build dir, default build/release]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
runs=${RUNS:-9}
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (apt-get install time)"; exit 1; }
if [ ! -x "$build/cachesift" ] || [ ! -x "$build/bench/make_bench_cache" ] ||
   [ ! -x "$build/bench/io_floor" ] || [ ! -x "$build/bench/in_memory" ]; then
  cmake --preset release >/dev/null && cmake --build --preset release >/dev/null
fi

top=$(mktemp -d)
trap 'rm -rf "$top"' EXIT

# Microseconds of wall time of a command, which runs under /usr/bin/time
# (writing its peak KiB to $work/mem), as the floor does too. Each starts after
# a sync, so that no run waits for the disk to take what the one before wrote.
timed() {
  local start end
  sync
  start=$(date +%s%N)
  /usr/bin/time -f '%M' -o "$work/mem" "$@" >/dev/null
  end=$(date +%s%N)
  echo $(( (end - start) / 1000 ))
}

median() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }

# One direction: the input, the target the tool writes, a name for the line.
direction() {
  local input=$1 target=$2 name=$3 tool=() floor=() peak=0 kib bytes
  bytes=$(stat -c %s "$target")
  for _ in $(seq "$runs"); do
    tool+=("$(timed "$build/cachesift" "$input")")
    kib=$(tail -n 1 "$work/mem")
    (( kib > peak )) && peak=$kib
    floor+=("$(timed "$build/bench/io_floor" "$input" "$target" "$bytes")")
  done
  awk -v n="$name" -v t="$(median "${tool[@]}")" -v f="$(median "${floor[@]}")" -v kib="$peak" \
      -v in_bytes="$(stat -c %s "$input")" -v out_bytes="$bytes" -v records="$records" -v runs="$runs" 'BEGIN {
    larger = in_bytes > out_bytes ? in_bytes : out_bytes
    printf "%-13s tool %.3f s  floor %.3f s  ratio %.2f  peak memory %.1f MiB (%.2f times the input, %.2f the larger file)  %.2f us a record  [median of %d]\n",
      n, t / 1e6, f / 1e6, t / f, kib / 1024, kib * 1024 / in_bytes, kib * 1024 / larger, t / records, runs }'
}

# Both directions on the cache $work/$file, made by the caller.
both_directions() {
  mkdir -p "$work/back"
  records=$("$build/cachesift" "$work/$file" | sed -n 's/^\([0-9]*\) records loaded\.$/\1/p')
  cp "$work/$file.csv" "$work/back/"
  "$build/cachesift" "$work/back/$file.csv" >/dev/null  # both targets exist from here on
  direction "$work/$file" "$work/$file.csv" "cache to CSV"
  direction "$work/back/$file.csv" "$work/back/$file" "CSV to cache"
  echo "cache file: $(stat -c %s "$work/$file") bytes; CSV file: $(stat -c %s "$work/$file.csv") bytes;" \
    "cache file written back: $(stat -c %s "$work/back/$file") bytes; load average: $(cut -d' ' -f1-3 /proc/loadavg)"
  # The inputs, as the floor has replaced the targets with zero bytes.
  "$build/bench/in_memory" "$work/$file" "$work/back/$file.csv"
}

# A made cache of the given client build (0: the built-in layout): a cache file name and record
# count, by default 70,000 items.
cache_of_build() {
  file=${2:-itemcache.wdb}
  work=$top/$1
  mkdir -p "$work"
  echo "== $file of $([ "$1" = 0 ] && echo "the built-in layout" || echo "client build $1")"
  "$build/bench/make_bench_cache" "$work/$file" "${3:-70000}" "$1" "$file" >/dev/null
  both_directions
}

# A real cache of build 53262, its records repeated to 40,000 or more (or $2).
real_cache() {
  file=$1
  work=$top/real-$1-${2:-40000}
  mkdir -p "$work"
  echo "== $file of client build 53262, real records repeated"
  python3 bench/grow_cache.py "$realcaches/b53262/$file" "$work/$file" "${2:-40000}"
  both_directions
}

# Choosing by fit: the 53262 creature cache as its build writes it, against the same records
# labelled build 9506, which no layout covers; there every creature layout of a 24-byte header
# is tried, and the one that fits, build 53262's, is the farthest from it.
by_fit() {
  local own=() fit=()
  work=$top/fit
  mkdir -p "$work"
  "$build/bench/make_bench_cache" "$work/own.wdb" 26000 53262 creaturecache.wdb >/dev/null
  cp "$work/own.wdb" "$work/fit.wdb"
  printf '\x22\x25\x00\x00' | dd of="$work/fit.wdb" bs=1 seek=4 conv=notrunc status=none
  echo "== creaturecache.wdb of build 53262 labelled 9506, against the same labelled 53262"
  "$build/cachesift" "$work/fit.wdb" | grep -F 'Layout of client build 53262, the one that fits'
  for _ in $(seq "$runs"); do
    own+=("$(timed "$build/cachesift" "$work/own.wdb")")
    fit+=("$(timed "$build/cachesift" "$work/fit.wdb")")
  done
  awk -v o="$(median "${own[@]}")" -v f="$(median "${fit[@]}")" -v runs="$runs" 'BEGIN {
    printf "cache to CSV  by fit %.3f s  by its build %.3f s  ratio %.2f  [median of %d]\n",
      f / 1e6, o / 1e6, f / o, runs }'
}

cache_of_build 0
cache_of_build 12340
realcaches=${REALCACHES:-../shared/realcaches}
if [ -d "$realcaches/b53262" ]; then
  real_cache creaturecache.wdb
  real_cache questcache.wdb
  # A cache of a million records: the time a record and the memory as for small ones.
  real_cache creaturecache.wdb 1000000
  rm -rf "$top"/real-creaturecache.wdb-1000000
else
  echo "(no $realcaches/b53262: the real caches are left out)"
fi
by_fit
