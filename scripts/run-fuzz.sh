#!/usr/bin/env bash
# Runs every fuzz target built in the given folder for a short while.
set -euo pipefail
dir=$1
seconds=${FUZZ_SECONDS:-20}
shopt -s nullglob
for target in "$dir"/fuzz/*/fuzz_*; do
    [[ -x $target ]] || continue
    name=$(basename "$target")
    corpus="$dir/corpus-$name"
    mkdir -p "$corpus"
    echo "-- $name (${seconds}s)"
    "$target" -max_total_time="$seconds" -print_final_stats=0 "$corpus" 2>&1 | tail -2
done
