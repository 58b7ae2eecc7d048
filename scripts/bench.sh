#!/usr/bin/env bash
# Runs every benchmark of the native build and prints its figures, with the
# peer programs' figures beside ours where a peer does the same work.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
bash scripts/deps.sh >&2
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" >&2

for bench in bench_serial bench_vt100 bench_fax_pages bench_voice bench_vmodem; do
    exe=$(find "$build/bench" -type f -name "$bench" -perm -u+x | head -1)
    [[ -n $exe ]] || continue
    echo "== $bench"
    "$exe"
done
echo "== idle CPU"
bash bench/serial/idle_cpu.sh "$build" 10
