#!/usr/bin/env bash
# Line coverage of the suite: builds the tree unoptimised with gcov
# instrumentation, runs every test once and prints, per module, how many of
# its lines the tests execute. Fails when a module of the library, the support
# library or the emulator falls below the floor.
#
#   scripts/coverage.sh [BUILD_DIR]      (default build-cov)
#
# Only our own sources count: tests, benchmarks, fuzz targets, tools and
# generated files are left out. A header's inline code counts to the module
# whose folder holds it. Code under platform/win32 and #ifdef _WIN32 is not
# compiled here and so does not count either way. Lines the suite cannot reach
# on this platform are listed in docs/coverage.md; they stay in the figures.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build-cov}
jobs=${JOBS:-$(nproc)}
floor=${COVERAGE_FLOOR:-90}
gated=(support serial voice fax vt100)
informative=(platform console)

# Counters add up across runs: start from zero so the figures are this run's.
# (Before the build too: test discovery runs the rebuilt programs, which would
# complain about counters left by their previous versions.)
[[ -d "$build" ]] && find "$build" -name '*.gcda' -delete
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE= -DFALCREST_COVERAGE=ON >/dev/null
cmake --build "$build" -j "$jobs"
find "$build" -name '*.gcda' -delete

echo "== tests: coverage"
ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 300 -LE long

summary="$build/coverage-summary.json"
modules=("${gated[@]}" "${informative[@]}")
filter="($(IFS='|'; echo "${modules[*]}"))/"
gcovr --root "$root" --object-directory "$build" \
    --filter "$root/$filter" --exclude "$root/platform/win32/" \
    --json-summary "$summary" --txt "$build/coverage.txt" "$build" >/dev/null

python3 - "$summary" "$floor" "${gated[*]}" "${informative[*]}" <<'EOF'
import json, sys
summary, floor = sys.argv[1], float(sys.argv[2])
gated, informative = sys.argv[3].split(), sys.argv[4].split()
totals = {m: [0, 0] for m in gated + informative}
for f in json.load(open(summary))["files"]:
    module = f["filename"].split("/", 1)[0]
    if module in totals:
        totals[module][0] += f["line_total"]
        totals[module][1] += f["line_covered"]
print(f"{'module':<10} {'lines':>7} {'covered':>8} {'percent':>8}")
failed = []
for m in gated + informative:
    lines, covered = totals[m]
    pct = 100.0 * covered / lines if lines else 100.0
    note = "" if m in gated else "  (informative)"
    if m in gated and pct < floor:
        failed.append(m)
        note = f"  below {floor:g}%"
    print(f"{m + '/':<10} {lines:>7} {covered:>8} {pct:>7.1f}%{note}")
if failed:
    print("coverage below the floor: " + ", ".join(failed))
    sys.exit(1)
EOF
echo "per-file detail: $build/coverage.txt; lines the suite cannot reach: docs/coverage.md"
