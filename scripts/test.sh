#!/usr/bin/env bash
# Sets up, then builds and runs the whole test suite twice: a normal build with warnings as
# errors, and an AddressSanitizer + UndefinedBehaviorSanitizer build.
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
run_suite build/sanitize -DCMAKE_BUILD_TYPE=Debug -DQUILLEX_SANITIZE=ON
