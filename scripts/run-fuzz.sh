#!/usr/bin/env bash
# Runs every fuzz target built in the given folder: first over the inputs kept
# in fuzz/<folder>/regressions/, then for FUZZ_SECONDS (default 20) with its
# corpus kept in the build folder (corpus-<target>). An input that crashes,
# leaks, hangs or runs out of memory is copied into
# fuzz/<folder>/regressions/ as <target>-<kind>-<hash>; the script then goes
# on with the other targets and fails at the end.
set -uo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-fuzz}
seconds=${FUZZ_SECONDS:-20}
shopt -s nullglob
failed=()
targets=("$dir"/fuzz/*/fuzz_*)
((${#targets[@]})) || { echo "no fuzz targets in $dir/fuzz" >&2; exit 1; }
for target in "${targets[@]}"; do
    [[ -x $target && -f $target ]] || continue
    name=$(basename "$target")
    folder=$(basename "$(dirname "$target")")
    regressions=fuzz/$folder/regressions
    corpus=$dir/corpus-$name
    artifacts=$dir/artifacts-$name
    mkdir -p "$corpus" "$artifacts"
    rm -f "$artifacts"/*

    kept=("$regressions"/*)
    if ((${#kept[@]})); then
        echo "-- $name: ${#kept[@]} kept inputs"
        if ! "$target" -runs=1 "${kept[@]}" >"$artifacts/replay.log" 2>&1; then
            tail -30 "$artifacts/replay.log"
            failed+=("$name (kept input)")
            continue
        fi
    fi

    echo "-- $name (${seconds}s)"
    # The kept inputs seed the corpus; only the first folder is written to.
    seeds=()
    [[ -d $regressions ]] && seeds=("$regressions")
    "$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$artifacts/" \
        "$corpus" "${seeds[@]}" >"$artifacts/fuzz.log" 2>&1
    status=$?
    grep -E '^(#[0-9]+.*(DONE|INITED)|stat::number_of_executed_units|stat::peak_rss_mb)' \
        "$artifacts/fuzz.log" | tail -3
    found=("$artifacts"/crash-* "$artifacts"/leak-* "$artifacts"/timeout-* "$artifacts"/oom-*)
    if ((status != 0 || ${#found[@]})); then
        tail -40 "$artifacts/fuzz.log"
        mkdir -p "$regressions"
        for input in "${found[@]}"; do
            base=$(basename "$input")
            cp "$input" "$regressions/$name-$base"
            echo "kept $regressions/$name-$base"
        done
        failed+=("$name")
    fi
done
if ((${#failed[@]})); then
    echo "fuzzing failed: ${failed[*]}"
    exit 1
fi
echo "fuzzing passed"
