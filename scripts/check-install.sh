#!/usr/bin/env bash
# Installs a build into a fresh prefix, or takes an installation that is
# already there (the Debian package's /usr), and uses it the way a user would:
# the files are in place, the manual pages render, the example builds against
# the prefix with pkg-config and with find_package, and both builds get OK
# from the installed vmodem; the installed Quenby loads the prefix's libraries.
#   scripts/check-install.sh BUILD_DIR
#   scripts/check-install.sh --prefix DIR
set -euo pipefail
usage() { echo "usage: $0 BUILD_DIR | --prefix DIR" >&2; exit 2; }
[[ $# -ge 1 ]] || usage
root=$(cd "$(dirname "$0")/.." && pwd)
started=$SECONDS
private=1
if [[ $1 == --prefix ]]; then
    [[ $# -eq 2 ]] || usage
    prefix=$(cd "$2" && pwd)
    private=0
else
    [[ $# -eq 1 ]] || usage
    build=$(cd "$1" && pwd)
fi

tmp=$(mktemp -d "${TMPDIR:-/tmp}/falcrest-install.XXXXXX")
modem=""
cleanup() {
    if [[ -n $modem ]]; then
        kill "$modem" 2>/dev/null || true
        wait "$modem" 2>/dev/null || true
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fail() {
    echo "check-install: $*" >&2
    exit 1
}

if ((private)); then
    prefix=$tmp/prefix
    timeout 120 cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" ||
        { cat "$tmp/install.log" >&2; fail "cmake --install failed"; }
fi

# ---- Files -------------------------------------------------------------------
pc=$(find "$prefix"/lib* -maxdepth 3 -path '*/pkgconfig/falcrest.pc' | head -n1)
[[ -n $pc ]] || fail "falcrest.pc not installed"
libdir=$(dirname "$(dirname "$pc")")

for f in include/falcrest/Falcrest.h include/tamsel/Tamsel.h; do
    [[ -f $prefix/$f ]] || fail "missing $f"
done
# Manual pages, compressed in a Debian package.
man_page() { ls "$prefix/share/man/man1/$1.1" "$prefix/share/man/man1/$1.1.gz" 2>/dev/null | head -n1; }
for page in Quenby vmodem; do
    [[ -n $(man_page $page) ]] || fail "missing the manual page $page.1"
done
for f in bin/Quenby bin/vmodem; do
    [[ -x $prefix/$f ]] || fail "missing program $f"
done
for f in FalcrestConfig.cmake FalcrestConfigVersion.cmake FalcrestTargets.cmake; do
    [[ -f $libdir/cmake/Falcrest/$f ]] || fail "missing $libdir/cmake/Falcrest/$f"
done
# Each library: the link-time name and the soname are links to the real file,
# whose soname is the versioned name.
for lib in Falcrest Tamsel; do
    so=$libdir/lib$lib.so
    [[ -L $so ]] || fail "lib$lib.so is not a symbolic link"
    soname=$(readelf -d "$so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
    [[ $soname == "lib$lib.so."[0-9]* ]] || fail "lib$lib.so has soname '$soname'"
    [[ -L $libdir/$soname ]] || fail "$soname is not a symbolic link"
    real=$(readlink -f "$so")
    [[ -f $real && ! -L $real && $real == "$libdir/lib$lib.so."*.* ]] ||
        fail "lib$lib.so does not lead to a versioned file"
done
# Only what users need: no tests, benchmarks, fuzz targets or static archives.
if ((private)); then
    extra=$(cd "$prefix/bin" && ls | grep -vx -e Quenby -e vmodem || true)
    [[ -z $extra ]] || fail "unexpected programs installed: $extra"
    [[ -z $(find "$prefix" -name '*.a') ]] || fail "static archives installed"
fi
! grep -rq FalcrestPlatform "$libdir/cmake/Falcrest" || fail "the package names the platform layer"

# Installed programs find the libraries of their own prefix.
readelf -d "$prefix/bin/Quenby" | grep -q 'R.*PATH.*\$ORIGIN/\.\./' || fail "Quenby has no \$ORIGIN run path"
for lib in Falcrest Tamsel; do
    loaded=$(ldd "$prefix/bin/Quenby" | awk -v lib="lib$lib.so" 'index($1, lib) == 1 { print $3 }')
    [[ -n $loaded && $(dirname "$(readlink -f "$loaded")") == "$(readlink -f "$libdir")" ]] ||
        { ldd "$prefix/bin/Quenby" >&2; fail "Quenby does not load lib$lib from the prefix"; }
done

# Manual pages render without a warning.
if command -v groff >/dev/null; then
    for page in Quenby vmodem; do
        warnings=$(zcat -f "$(man_page $page)" | groff -man -Tutf8 -ww -z 2>&1)
        [[ -z $warnings ]] || fail "$page.1: $warnings"
    done
fi

# ---- Building against the prefix ---------------------------------------------
# The public header is plain C.
cc=${CC:-cc}
# A C client links and releases a returned block with Tamsel's allocator.
cat >"$tmp/c_client.c" <<'C'
#include <falcrest/Falcrest.h>
#include <stdio.h>
int main(void) {
    char *list = NULL;
    int n = EnumComPorts(&list);
    printf("ports listed: %d\n", n);
    Realloc(list, 0);
    return n < 0;
}
C
"$cc" -std=c99 -pedantic -Wall -Wextra -Werror -I"$prefix/include" "$tmp/c_client.c" \
    -o "$tmp/c_client" -L"$libdir" -lFalcrest -lTamsel -Wl,-rpath,"$libdir" ||
    fail "a C client does not build against Falcrest.h"
timeout 20 "$tmp/c_client" >/dev/null || fail "the C client does not run"

export PKG_CONFIG_PATH=$libdir/pkgconfig
flags=$(pkg-config --cflags --libs falcrest) || fail "pkg-config does not know falcrest"
[[ $flags == *-lFalcrest* && $flags == *-lTamsel* && $flags == *-I*include* ]] ||
    fail "pkg-config gives '$flags'"
cp -r "$root/examples/at_ok" "$tmp/at_ok-make"
timeout 120 make -s -C "$tmp/at_ok-make" >"$tmp/make.log" 2>&1 ||
    { cat "$tmp/make.log" >&2; fail "the example does not build with pkg-config"; }
unset PKG_CONFIG_PATH

timeout 180 cmake -S "$root/examples/at_ok" -B "$tmp/at_ok-cmake" -G Ninja \
    -DCMAKE_PREFIX_PATH="$prefix" >"$tmp/cmake.log" 2>&1 &&
    timeout 180 cmake --build "$tmp/at_ok-cmake" -j2 >>"$tmp/cmake.log" 2>&1 ||
    { cat "$tmp/cmake.log" >&2; fail "the example does not build with find_package"; }

# ---- Running against the installed vmodem ------------------------------------
link=$tmp/ttyV0
timeout 120 "$prefix/bin/vmodem" --link "$link" >"$tmp/vmodem.log" 2>&1 &
modem=$!
for _ in $(seq 100); do
    [[ -e $link ]] && break
    kill -0 "$modem" 2>/dev/null || { cat "$tmp/vmodem.log" >&2; fail "vmodem did not start"; }
    sleep 0.05
done
[[ -e $link ]] || fail "vmodem made no link"

for program in "$tmp/at_ok-make/at_ok" "$tmp/at_ok-cmake/at_ok"; do
    output=$(timeout 30 "$program" "$link" 5000 2>&1) ||
        { echo "$output" >&2; fail "$program got no OK"; }
    [[ $output == *"at_ok: OK from $link"* ]] || fail "$program printed: $output"
done

echo "install check passed ($((SECONDS - started)) s)"
