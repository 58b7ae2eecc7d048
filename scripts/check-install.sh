#!/usr/bin/env bash
# Installs a build into a fresh prefix, or takes an installation that is
# already there (the Debian package's /usr), and uses it the way a user would:
# the libraries carry versioned sonames, the manual pages render, a C client
# and the example build against the prefix (pkg-config and find_package), the
# example gets OK from the installed vmodem, and the installed Quenby loads
# the prefix's libraries.
#   scripts/check-install.sh BUILD_DIR
#   scripts/check-install.sh --prefix DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d "${TMPDIR:-/tmp}/falcrest-install.XXXXXX")
modem=""
trap '[[ -n $modem ]] && kill "$modem" 2>/dev/null; rm -rf "$tmp"' EXIT
fail() { echo "check-install: $*" >&2; exit 1; }
log() { "$@" >"$tmp/log" 2>&1 || { cat "$tmp/log" >&2; return 1; }; }

private=0
if [[ ${1:-} == --prefix && $# -eq 2 ]]; then
    prefix=$(cd "$2" && pwd)
elif [[ $# -eq 1 ]]; then
    private=1 prefix=$tmp/prefix
    log timeout 120 cmake --install "$1" --prefix "$prefix" || fail "cmake --install failed"
else
    echo "usage: $0 BUILD_DIR | --prefix DIR" >&2; exit 2
fi

pc=$(find "$prefix"/lib* -maxdepth 3 -path '*/pkgconfig/falcrest.pc' | head -n1)
[[ -n $pc ]] || fail "falcrest.pc not installed"
libdir=$(dirname "$(dirname "$pc")")
# The link-time name leads through the soname link to the versioned file.
for lib in Falcrest Tamsel; do
    soname=$(readelf -d "$libdir/lib$lib.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
    [[ -L $libdir/lib$lib.so && $soname == "lib$lib.so."[0-9]* && -L $libdir/$soname ]] ||
        fail "lib$lib.so has soname '$soname' or is not a link"
    [[ $(readlink -f "$libdir/lib$lib.so") == "$libdir/lib$lib.so."*.* ]] ||
        fail "lib$lib.so does not lead to a versioned file"
    loaded=$(ldd "$prefix/bin/Quenby" | awk -v l="lib$lib.so" 'index($1, l) == 1 { print $3 }')
    [[ -n $loaded && $(dirname "$(readlink -f "$loaded")") == "$(readlink -f "$libdir")" ]] ||
        fail "Quenby does not load lib$lib from the prefix"
done
readelf -d "$prefix/bin/Quenby" | grep -q 'R.*PATH.*\$ORIGIN/\.\./' || fail "Quenby has no \$ORIGIN run path"
# Only what users need: no tests, benchmarks or static archives.
if ((private)); then
    extra=$(cd "$prefix/bin" && ls | grep -vx -e Quenby -e vmodem || true)
    [[ -z $extra && -z $(find "$prefix" -name '*.a') ]] || fail "installed too much: $extra"
fi
! grep -rq FalcrestPlatform "$libdir/cmake/Falcrest" || fail "the package names the platform layer"
# Manual pages (compressed in a Debian package) render without a warning.
for page in Quenby vmodem; do
    file=$(ls "$prefix/share/man/man1/$page.1"* 2>/dev/null | head -n1)
    [[ -n $file ]] || fail "missing the manual page $page.1"
    warnings=$(zcat -f "$file" | groff -man -Tutf8 -ww -z 2>&1)
    [[ -z $warnings ]] || fail "$page.1: $warnings"
done

# The public header is plain C; a returned block goes back through Tamsel.
cat >"$tmp/c_client.c" <<'C'
#include <falcrest/Falcrest.h>
int main(void) {
    char *list = NULL;
    int n = EnumComPorts(&list);
    Realloc(list, 0);
    return n < 0;
}
C
log "${CC:-cc}" -std=c99 -pedantic -Wall -Wextra -Werror -I"$prefix/include" "$tmp/c_client.c" \
    -o "$tmp/c_client" -L"$libdir" -lFalcrest -lTamsel -Wl,-rpath,"$libdir" ||
    fail "a C client does not build against Falcrest.h"
timeout 20 "$tmp/c_client" || fail "the C client does not run"
cp -r "$root/examples/at_ok" "$tmp/at_ok-make"
PKG_CONFIG_PATH=$libdir/pkgconfig log timeout 120 make -s -C "$tmp/at_ok-make" ||
    fail "the example does not build with pkg-config"
log timeout 180 cmake -S "$root/examples/at_ok" -B "$tmp/at_ok-cmake" -G Ninja \
    -DCMAKE_PREFIX_PATH="$prefix" || fail "the example does not configure with find_package"
log timeout 180 cmake --build "$tmp/at_ok-cmake" -j2 || fail "the example does not build with find_package"

timeout 120 "$prefix/bin/vmodem" --link "$tmp/ttyV0" >/dev/null 2>&1 &
modem=$!
for _ in $(seq 100); do [[ -e $tmp/ttyV0 ]] && break; sleep 0.05; done
for program in "$tmp/at_ok-make/at_ok" "$tmp/at_ok-cmake/at_ok"; do
    output=$(timeout 30 "$program" "$tmp/ttyV0" 5000 2>&1) || true
    [[ $output == *"at_ok: OK from $tmp/ttyV0"* ]] || fail "$program printed: $output"
done
echo "install check passed"
