#!/usr/bin/env bash
# Sets up, builds the tool and runs it on the bundled example; the outputs land in build/example.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DQUILLEX_TESTS=OFF >/dev/null
cmake --build build/release --target zorb-quillex -j "$(nproc)"

mkdir -p build/example
echo "== binary output =="
build/release/zorb-quillex -o build/example examples/messages.csv
echo "== source output =="
build/release/zorb-quillex -s -o build/example examples/messages.csv
echo "Outputs are in build/example."
