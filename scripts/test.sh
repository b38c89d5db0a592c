#!/usr/bin/env bash
# Sets up, then builds and runs the whole test suite: a normal build with warnings as errors, the
# fuzz targets briefly (when clang can be had), an AddressSanitizer + UndefinedBehaviorSanitizer
# build, and (where its toolchain can be installed) the Windows cross build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc)

run_suite() {
  local dir=$1
  shift
  echo "== $dir =="
  cmake -S . -B "$dir" -DQUILLEX_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

run_suite build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== fuzz =="
fuzz_status=0
bash scripts/fuzz.sh "${QUILLEX_FUZZ_SECONDS:-5}" || fuzz_status=$?
if [ "$fuzz_status" = 3 ]; then
  echo "fuzz: skipped the fuzz targets (no clang with libFuzzer)"
elif [ "$fuzz_status" != 0 ]; then
  exit "$fuzz_status"
fi

run_suite build/sanitize -DCMAKE_BUILD_TYPE=Debug -DQUILLEX_SANITIZE=ON

# The Windows build, unless its toolchain and Wine cannot be had on this machine (status 3).
windows=0
bash scripts/test-windows.sh || windows=$?
if [ "$windows" = 3 ]; then
  echo "Skipped the Windows build and its tests under Wine: the toolchain cannot be installed here."
elif [ "$windows" != 0 ]; then
  exit "$windows"
fi
