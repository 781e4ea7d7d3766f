#!/usr/bin/env bash
# Sets up, builds and runs every test of the project:
#   1. unit and end-to-end tests (debug build);
#   2. the tool's CSV files opened and saved in LibreOffice Calc (headless);
#   3. the unit and end-to-end tests under AddressSanitizer and
#      UndefinedBehaviorSanitizer;
#   4. the end-to-end tests under valgrind's memcheck (errors and leaks fail);
#   5. the Windows build, cross-built, with its version resource checked and
#      the end-to-end tests run against cachesift.exe under Wine, and both
#      packages;
#   6. the fuzz target: seed corpus replay, then FUZZ_SECONDS (120) of fuzzing;
#   7. real caches that the game client wrote, from ../shared/realcaches and
#      ../shared/realcaches-todo (or the folders in REAL_CACHES), where they exist.
set -euo pipefail
cd "$(dirname "$0")/.."
bash .ci/setup

step() { printf '\n==== %s\n' "$*"; }

# Runs a test command, keeping its output to count the tests at the end.
results=$(mktemp)
trap 'rm -f "$results"' EXIT
counted() {
  "$@" 2>&1 | tee -a "$results"
  return "${PIPESTATUS[0]}"
}

step "Code follows .clang-format"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

step "Unit and end-to-end tests"
cmake --preset debug
cmake --build --preset debug
counted ctest --preset debug

step "CSV files through LibreOffice Calc"
counted bash tests/spreadsheet/libreoffice.sh build/debug/cachesift build/debug/samples/make_samples

step "Unit and end-to-end tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset asan
cmake --build --preset asan
counted ctest --preset asan

step "End-to-end runs under valgrind memcheck"
CACHESIFT_TOOL="valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=all $PWD/build/debug/cachesift" \
  counted bash tests/app/end_to_end.sh build/debug/cachesift samples

step "cachesift.exe under Wine"
cmake --preset windows
cmake --build --preset windows

step "Version resource of cachesift.exe"
version=$(sed -n 's/^project(cachesift VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
resource=$(x86_64-w64-mingw32-windres -i build/windows/cachesift.exe -O rc)
for value in '"ProductName", "cachesift"' '"FileDescription", "cachesift: ' \
             "\"FileVersion\", \"$version\"" "\"ProductVersion\", \"$version\"" \
             '"LegalCopyright", "Copyright (c) ' '"Comments", "Free software under the MIT License'; do
  grep -qF "VALUE $value" <<<"$resource" || { echo "cachesift.exe lacks VALUE $value"; exit 1; }
done
echo "cachesift.exe carries version $version, its description, copyright and license"
export WINEPREFIX="$PWD/build/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Setting up the Wine prefix (once)"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
fi
CACHESIFT_WINDOWS=1 CACHESIFT_TOOL="wine $PWD/build/windows/cachesift.exe" \
  counted bash tests/app/end_to_end.sh build/debug/cachesift samples
wineserver -k || true

step "Packages"
cmake --build --preset windows --target package
cmake --preset release
cmake --build --preset release --target package
# Each carries the folder of the user's layout files, beside the program, and the built-in ones.
zip=$(unzip -l build/windows/cachesift-*-windows-x64.zip) tgz=$(tar -tzf build/release/cachesift-*-linux-*.tar.gz)
grep -q 'cachesift-[^/]*/layouts/README.txt' <<<"$zip" && grep -q '/built-in-layouts/creature-53262.layout' <<<"$zip" &&
  grep -q '/bin/layouts/README.txt' <<<"$tgz" && grep -q '/built-in-layouts/quest-53262.layout' <<<"$tgz" ||
  { echo "a package lacks its layouts folders"; exit 1; }
echo "both packages carry the layouts folder and the built-in layout files"

step "Fuzzing"
tests/fuzz/run_fuzz.sh "${FUZZ_SECONDS:-120}"

step "Real client caches"
folders=()
for folder in ${REAL_CACHES:-../shared/realcaches ../shared/realcaches-todo}; do
  if [ -d "$folder" ]; then folders+=("$folder"); else echo "NOT RUN: no folder of real client caches at $folder"; fi
done
if [ ${#folders[@]} -gt 0 ]; then
  counted python3 tests/realcaches/check_real_caches.py build/debug/cachesift "${folders[@]}"
fi

step "All tests passed"
passed=$(awk '/tests passed, 0 tests failed out of/ {n += $NF}
              /^\[  PASSED  \] [0-9]+ tests?\./ {n += $4}
              /^[0-9]+ passed, 0 failed$/ {n += $1} END {print n + 0}' "$results")
skipped=$(awk '/^\[  SKIPPED \] [0-9]+ tests?,/ {n += $4} END {print n + 0}' "$results")
echo "$passed passed, 0 failed, $skipped skipped"
