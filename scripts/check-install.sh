#!/usr/bin/env bash
# An installation used the way a user would: either a build installed into a
# fresh prefix, or the Debian package installed with dpkg into /usr (after
# lintian finds no error in it) and purged again afterwards, leaving the
# machine as it was, on failure too (needs root or sudo). The libraries carry
# versioned sonames, the manual pages render, the example builds against the
# prefix (pkg-config and find_package) and gets OK from the installed vmodem,
# and the installed Quenby loads the prefix's libraries (and, from the
# package, answers ATI in a terminal).
#   scripts/check-install.sh BUILD_DIR
#   scripts/check-install.sh --deb PACKAGE.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d "${TMPDIR:-/tmp}/falcrest-install.XXXXXX")
fail() { echo "check-install: $*" >&2; exit 1; }
log() { "$@" >"$tmp/log" 2>&1 || { cat "$tmp/log" >&2; return 1; }; }
sudo=$( ((EUID)) && echo sudo || true)
known() { dpkg-query -W "$name" &>/dev/null; }
# Purged, not only removed: dpkg would otherwise remember the package for
# its maintainer scripts.
purge() { [[ -z ${installing:-} ]] || ! known || $sudo dpkg -P "$name" >/dev/null || echo "check-install: could not purge $name" >&2; }
trap 'purge; kill $(jobs -p) &>/dev/null || true; rm -rf "$tmp"' EXIT
trap 'exit 130' INT TERM

if [[ ${1:-} == --deb && $# -eq 2 ]]; then
    package=$(realpath "$2") prefix=/usr
    report=$(lintian --fail-on error "$package" 2>&1) || { echo "$report" >&2; fail "lintian reports errors"; }
    echo "lintian: no errors, $(grep -c '^W:' <<<"$report" || true) warnings"
    name=$(dpkg-deb -f "$package" Package)
    ! known || fail "dpkg knows $name already: this check would replace and purge it"
    installing=1 && $sudo dpkg -i "$package" >/dev/null || fail "dpkg -i failed"
elif [[ $# -eq 1 ]]; then
    prefix=$tmp/prefix
    log timeout 120 cmake --install "$1" --prefix "$prefix" || fail "cmake --install failed"
    # Only what users need: no tests, benchmarks or static archives.
    extra=$(ls "$prefix/bin" | grep -vx -e Quenby -e vmodem || true)
    [[ -z $extra && -z $(find "$prefix" -name '*.a') ]] || fail "installed too much: $extra"
else
    echo "usage: $0 BUILD_DIR | --deb PACKAGE.deb" >&2; exit 2
fi

pc=$(find "$prefix"/lib* -maxdepth 3 -path '*/pkgconfig/falcrest.pc' | grep -m1 .) || fail "falcrest.pc not installed"
libdir=${pc%/pkgconfig/falcrest.pc}
# Quenby loads the prefix's libraries by their versioned sonames, which lead
# to versioned files, as the link-time names do.
for lib in Falcrest Tamsel; do
    loaded=$(ldd "$prefix/bin/Quenby" | awk -v l="lib$lib.so." 'index($1, l) == 1 { print $1, $3 }')
    [[ $loaded == "lib$lib.so."[0-9]*" "* && -L ${loaded#* } && -L $libdir/lib$lib.so &&
        $(readlink -f "${loaded#* }") == "$(readlink -f "$libdir")/lib$lib.so."*.* &&
        $(readlink -f "$libdir/lib$lib.so") == "$(readlink -f "${loaded#* }")" ]] ||
        fail "Quenby loads '$loaded' for lib$lib, not the prefix's versioned library through links"
done
# Manual pages (compressed in a Debian package) render without a warning.
for page in Quenby vmodem; do
    warnings=$(zcat -f "$prefix/share/man/man1/$page.1"* | groff -man -Tutf8 -ww -z 2>&1) &&
        [[ -z $warnings ]] || fail "the manual page $page.1 is missing or warns: $warnings"
done

cp -r "$root/examples/at_ok" "$tmp/at_ok-make"
PKG_CONFIG_PATH=$libdir/pkgconfig log timeout 120 make -s -C "$tmp/at_ok-make" ||
    fail "the example does not build with pkg-config"
log timeout 180 cmake -S "$root/examples/at_ok" -B "$tmp/at_ok-cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" &&
    log timeout 180 cmake --build "$tmp/at_ok-cmake" -j2 || fail "the example does not build with find_package"
timeout 120 "$prefix/bin/vmodem" --link "$tmp/ttyV0" &>/dev/null &
for _ in $(seq 100); do [[ -e $tmp/ttyV0 ]] && break; sleep 0.05; done
for program in "$tmp/at_ok-make/at_ok" "$tmp/at_ok-cmake/at_ok"; do
    output=$(timeout 30 "$program" "$tmp/ttyV0" 5000 2>&1) || true
    [[ $output == *"at_ok: OK from $tmp/ttyV0"* ]] || fail "$program printed: $output"
done

if [[ -n ${package:-} ]]; then
    bash "$root/tests/integration/quenby/tmux_session.sh" /usr/bin/Quenby /usr/bin/vmodem
    purge
    ! known && [[ ! -e /usr/bin/Quenby ]] || fail "the purge left $name behind"
fi
echo "install check passed"
