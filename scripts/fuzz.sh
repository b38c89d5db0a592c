#!/usr/bin/env bash
# Builds the libFuzzer targets (those of fuzz/, and the reader's) with clang and runs each, one after the other, for a given
# time on its seed corpus (copied, so the repository's corpus only grows by hand).
#   usage: scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]     (default: 60 s, every target)
# QUILLEX_FUZZ_RUNS=N also ends a target after N executions (the long runs: 3600 s or 10^7).
# Installs what the build needs (scripts/setup.sh), and clang and its runtime libraries, through
# apt-get when missing (as root or with password-less sudo). Exits 3 when clang cannot be had, 1 on a finding (the reproducer is kept in
# build/fuzz/findings/TARGET/), 0 otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh  # CMake and the libraries the targets link
seconds=${1:-60}
shift || true

have_clang() {
  command -v clang++ >/dev/null 2>&1 &&
    echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' |
      clang++ -x c++ -fsanitize=fuzzer,address,undefined -o /dev/null - >/dev/null 2>&1
}
if ! have_clang; then
  if [ "$(id -u)" = 0 ]; then
    sudo=()
  elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    sudo=(sudo -n)
  else
    echo "fuzz: clang with libFuzzer is missing and cannot be installed here" >&2
    exit 3
  fi
  echo "Installing: clang libclang-rt-dev"
  { "${sudo[@]+"${sudo[@]}"}" apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive "${sudo[@]+"${sudo[@]}"}" apt-get install -y -qq clang libclang-rt-dev; } ||
    { echo "fuzz: installing clang failed" >&2; exit 3; }
  have_clang || { echo "fuzz: clang cannot build a fuzz target" >&2; exit 3; }
fi

build=build/fuzz
CXX=clang++ cmake -S . -B "$build" -DQUILLEX_FUZZ=ON -DQUILLEX_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if ! cmake --build "$build" -j 2 >"$build/build.log" 2>&1; then
  cat "$build/build.log"
  exit 1
fi

# Every target has a seed corpus folder of its name.
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for dir in fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi
# The pipeline targets write files on every run: a memory file system makes them several times
# faster.
if [ -z "${TMPDIR-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
  export TMPDIR=/dev/shm
fi
runs=()
if [ -n "${QUILLEX_FUZZ_RUNS-}" ]; then
  runs=(-runs="$QUILLEX_FUZZ_RUNS")
fi
status=0
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  findings="$build/findings/$target"
  mkdir -p "$corpus" "$findings"
  cp -n fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null || true
  # Standard output and error of the tool's own code are closed (its error lines would flood the
  # log); libFuzzer keeps its own report.
  binary=$(find "$build" -name "$target" -type f -perm -u+x | head -n 1)
  if [ -z "$binary" ]; then
    echo "$target: no such fuzz target in $build"
    status=1
    continue
  fi
  if "$binary" "$corpus" -max_total_time="$seconds" "${runs[@]+"${runs[@]}"}" -close_fd_mask=3 \
      -max_len=4096 -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$findings/" \
      -print_final_stats=1 >"$build/$target.log" 2>&1; then
    echo "$target: $(grep -E '^stat::number_of_executed_units' "$build/$target.log" | awk '{print $2}') runs, no finding"
  else
    echo "$target: FINDING, see $build/$target.log and $findings/"
    grep -E 'ERROR|SUMMARY|deadly signal|Test unit written' "$build/$target.log" | head -5
    status=1
  fi
done
exit $status
