#!/usr/bin/env bash
# Sets up, builds and runs every test of the project:
#   1. unit and end-to-end tests (debug build);
#   2. the same under AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. the end-to-end tests under valgrind's memcheck (errors and leaks fail);
#   4. the fuzz targets: seed corpus replay and FUZZ_SECONDS (60) each.
set -euo pipefail
cd "$(dirname "$0")/.."
bash .ci/setup

step() { printf '\n==== %s\n' "$*"; }

step "Unit and end-to-end tests"
cmake --preset debug
cmake --build --preset debug
ctest --preset debug

step "The same under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset asan
cmake --build --preset asan
ctest --preset asan

step "End-to-end runs under valgrind memcheck"
CACHESIFT_TOOL="valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=all $PWD/build/debug/cachesift" \
  build/debug/tests/cachesift_tests --gtest_filter='EndToEnd.*'

step "Fuzzing"
tests/fuzz/run_fuzz.sh "${FUZZ_SECONDS:-60}"

step "All tests passed"
