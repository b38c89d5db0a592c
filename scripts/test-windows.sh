#!/usr/bin/env bash
# Cross-builds the tool for 64-bit Windows (mingw-w64) and runs the whole suite under Wine: the
# unit tests on an English system (code page 1252) and on a Japanese one (code page 932, a
# Shift_JIS console), the end-to-end cases each on the system its `windows` file names (English
# unless it says `locale ja`). Exit status 3: the toolchain cannot be installed here.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-windows.sh

build=build/windows
jobs=$(nproc)

# One Wine prefix for the project, and one Wine server kept alive for the build (its test
# discovery runs the test programs) and the tests: a server started for each program would cost
# seconds per test.
export WINEPREFIX=$PWD/build/wine
mkdir -p "$WINEPREFIX"
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
# A server left by an earlier run may quit at any moment, or keep old state: start a new one that
# stays for the whole run.
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w 2>/dev/null || true
"$wineserver" -p
trap '"$wineserver" -k 2>/dev/null || true' EXIT
# The first program creates the prefix and starts Wine's own services, which live as long as the
# server and keep the output streams they inherited: that must not be a test's, or ctest would
# wait for it to close.
LC_ALL=C.UTF-8 scripts/wine-run.sh wineboot --init </dev/null >/dev/null 2>&1

cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DQUILLEX_WERROR=ON >/dev/null
cmake --build "$build" -j "$jobs"

# Wine now and then fails to start a program, or to end one whose test has passed: no output,
# status 1 or a timeout, whichever test it hits (about one run of the suite in ten here). A test
# that fails gets a second run under Wine; one that fails for a reason of ours fails both, and
# the native runs give none.
again=(--repeat until-pass:2)
echo "== $build: English system =="
LC_ALL=C.UTF-8 QUILLEX_WINDOWS_LOCALE=en ctest --test-dir "$build" --output-on-failure -j "$jobs" \
  "${again[@]}"
echo "== $build: Japanese system (unit tests; the end-to-end cases choose their own) =="
LC_ALL=ja_JP.UTF-8 QUILLEX_WINDOWS_LOCALE=ja ctest --test-dir "$build" --output-on-failure \
  -j "$jobs" -E '^e2e\.' "${again[@]}"
