#!/usr/bin/env bash
# Long fuzz runs: builds the fuzz targets with clang and runs each for
# SECONDS (default 60), corpora kept in the build folder between runs.
# Usage: scripts/fuzz.sh [SECONDS] [BUILD_DIR]   (default build-fuzz)
# A crashing input is copied into fuzz/<folder>/regressions/ (see
# run-fuzz.sh) and the script fails.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
dir=${2:-build-fuzz}
bash scripts/deps.sh >&2
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DFALCREST_FUZZ=ON -DFALCREST_TESTS=OFF -DFALCREST_BENCH=OFF >/dev/null
cmake --build "$dir" -j "${JOBS:-$(nproc)}"
start=$(date +%s)
FUZZ_SECONDS=$seconds bash scripts/run-fuzz.sh "$dir"
echo "fuzzing took $(($(date +%s) - start)) s"
