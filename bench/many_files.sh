#!/usr/bin/env bash
# Times many files in one run against as many runs of one file: every cache of
# REALCACHES (default ../shared/realcaches), copied into one folder, converted
# by one run on the folder and by one run per file, alternately, RUNS times
# each (5 by default); then the same for their CSVs. Prints the medians.
#   bench/many_files.sh [build dir, default build/release]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
runs=${RUNS:-5}
real=${REALCACHES:-../shared/realcaches}
[ -x "$build/cachesift" ] || { cmake --preset release >/dev/null && cmake --build --preset release >/dev/null; }
tool=$(realpath "$build/cachesift")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Each cache under its own name, so that no two CSVs convert back to one file.
n=0
while IFS= read -r cache; do
  n=$((n + 1)) && mkdir "$work/$n" && cp "$cache" "$work/$n/"
done < <(find "$real" -name '*.wdb' | sort)
mkdir "$work/all" && for d in "$work"/[0-9]*; do cp "$d"/*.wdb "$work/all/$(basename "$d")-$(basename "$d"/*.wdb)"; done
files=("$work/all"/*.wdb)

ms() { local start; start=$(date +%s%N); "$@" >/dev/null; echo $((($(date +%s%N) - start) / 1000000)); }
median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }
each() { for f in "$@"; do "$tool" "$f"; done; }

one=() many=() back_one=() back_many=()
for _ in $(seq "$runs"); do
  one+=("$(ms "$tool" "$work/all")")
  many+=("$(ms each "${files[@]}")")
done
csvs=("$work/all"/*.csv)
for _ in $(seq "$runs"); do
  back_one+=("$(ms "$tool" "${csvs[@]}")")
  back_many+=("$(ms each "${csvs[@]}")")
done
echo "${#files[@]} caches ($(du -sh "$work/all" | cut -f1) with their CSVs), median of $runs runs:"
echo "  caches to CSV: one run $(median "${one[@]}") ms, a run per file $(median "${many[@]}") ms"
echo "  CSVs to caches: one run $(median "${back_one[@]}") ms, a run per file $(median "${back_many[@]}") ms"
