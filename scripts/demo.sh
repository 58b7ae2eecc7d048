#!/usr/bin/env bash
# The README's main command: installs what is missing, builds, starts the
# virtual modem on a pseudo-terminal and Quenby on it. Type ATI and Enter;
# Ctrl+C quits. Extra arguments go to Quenby (for instance -v).
set -euo pipefail
cd "$(dirname "$0")/.."

# Its own tree, without the tests: the demo needs only the compiler and CMake.
bash scripts/deps.sh demo >&2
cmake -S . -B build-demo -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFALCREST_TESTS=OFF \
    -DFALCREST_BENCH=OFF >/dev/null
cmake --build build-demo -j "$(nproc)" --target Quenby vmodem >&2

link=${VMODEM_LINK:-/tmp/quenby-vmodem-$$}
build-demo/tools/vmodem/vmodem --link "$link" >/dev/null 2>&1 &
modem=$!
trap 'kill $modem 2>/dev/null; wait $modem 2>/dev/null || true' EXIT
for _ in $(seq 200); do
    [[ -e $link ]] && break
    sleep 0.05
done
build-demo/console/Quenby "$@" "$link"
