#!/usr/bin/env bash
# Checks that Falcrest.dll exports every public function under its plain name.
set -euo pipefail
dll=$1
header="$(dirname "$0")/../include/falcrest/Falcrest.h"
exports=$(objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '{print $NF}')
status=0
for name in $(grep -E '^FALCREST_API ' "$header" | sed -E 's/\(.*//; s/.*[ *]//'); do
    if ! grep -qx "$name" <<<"$exports"; then
        echo "missing plain export: $name"
        status=1
    fi
done
if grep -E '@[0-9]+$|^_Z' <<<"$exports"; then
    echo "decorated export names found"
    status=1
fi
[[ $status -eq 0 ]] && echo "exports of $(basename "$dll"): $(wc -l <<<"$exports") plain names"
exit $status
