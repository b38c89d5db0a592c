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
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DQUILLEX_WERROR=ON >/dev/null
cmake --build "$build" -j "$jobs"

# One Wine prefix for the project, and one Wine server kept alive for the whole run: a server
# started for each program would cost seconds per test.
export WINEPREFIX=$PWD/build/wine
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
LC_ALL=C.UTF-8 scripts/wine-run.sh wineboot --init >/dev/null 2>&1
"$wineserver" -p
trap '"$wineserver" -k 2>/dev/null || true' EXIT

echo "== $build: English system =="
LC_ALL=C.UTF-8 QUILLEX_WINDOWS_LOCALE=en ctest --test-dir "$build" --output-on-failure -j "$jobs"
echo "== $build: Japanese system (unit tests; the end-to-end cases choose their own) =="
LC_ALL=ja_JP.UTF-8 QUILLEX_WINDOWS_LOCALE=ja ctest --test-dir "$build" --output-on-failure \
  -j "$jobs" -E '^e2e\.'
