#!/usr/bin/env bash
# Long fuzz runs: builds the fuzz targets with clang and runs each for
# SECONDS (default 60), corpora kept in the build folder between runs.
# Usage: scripts/fuzz.sh [SECONDS] [BUILD_DIR]   (default build-fuzz)
# A crashing input is copied into fuzz/<folder>/regressions/ (see
# run-fuzz.sh) and the script fails. Then the VT100 emulator meets libvterm
# on random streams for SECONDS more (a native test build in BUILD_DIR-diff);
# a differing stream is printed shrunk, with the seed to run it again.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
dir=${2:-build-fuzz}
bash scripts/deps.sh >&2
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DFALCREST_FUZZ=ON -DFALCREST_TESTS=OFF -DFALCREST_BENCH=OFF >/dev/null
cmake --build "$dir" -j "${JOBS:-$(nproc)}"
start=$(date +%s)
status=0
FUZZ_SECONDS=$seconds bash scripts/run-fuzz.sh "$dir" || status=$?
cmake -S . -B "$dir-diff" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFALCREST_BENCH=OFF >/dev/null
cmake --build "$dir-diff" -j "${JOBS:-$(nproc)}" --target vt100_differential_test
seed=${VT100_DIFF_SEED:-$RANDOM$RANDOM}
echo "-- VT100 beside libvterm for ${seconds}s, seed $seed"
VT100_DIFF_SECONDS=$seconds VT100_DIFF_SEED=$seed \
    "$dir-diff/tests/unit/vt100/vt100_differential_test" --gtest_filter='*Random*' || status=1
echo "fuzzing took $(($(date +%s) - start)) s"
exit $status
