#!/usr/bin/env bash
# The soak: data both ways through the serial engine for SECONDS, every byte
# checked, memory and CPU sampled; fails on any data fault or memory growth.
#   bash scripts/soak.sh SECONDS [BUILD_DIR]    (BUILD_DIR defaults to build)
# Samples go to BUILD_DIR/soak.tsv; the last line printed is the summary.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: soak.sh SECONDS [BUILD_DIR]}
build=${2:-build}
cmake --build "$build" --target soak >/dev/null
exe=$(find "$build/bench" -type f -name soak -perm -u+x | head -1)
[[ -n $exe ]] || { echo "soak: no soak program in $build (benchmarks off?)" >&2; exit 2; }
exec "$exe" "$seconds" --tsv "$build/soak.tsv"
