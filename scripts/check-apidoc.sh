#!/usr/bin/env bash
# Generates the API reference from the public header with Doxygen and fails
# when an export, type or code lacks its documentation (or a block names a
# parameter that is not there).
#
# Usage: check-apidoc.sh [BUILD_DIR]   (the reference goes to BUILD_DIR/apidoc)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build}/apidoc
mkdir -p "$out"
{ cat docs/Doxyfile; echo "OUTPUT_DIRECTORY = $out"; echo "WARN_LOGFILE = $out/warnings.txt"; } | doxygen - >/dev/null ||
    { cat "$out/warnings.txt" >&2; echo "API reference: undocumented or mis-documented declarations (above)" >&2; exit 1; }
echo "API reference: $out/html/index.html"
