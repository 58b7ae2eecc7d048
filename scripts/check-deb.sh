#!/usr/bin/env bash
# The Debian package, used as a Linux user would: lintian finds no error in
# it, it installs with dpkg, the example builds against /usr with pkg-config
# and with find_package and gets OK from the packaged vmodem, the packaged
# Quenby answers ATI in a terminal; then it is purged again. The machine is
# left as it was, on failure too. Needs root (or sudo) for dpkg.
#   scripts/check-deb.sh PACKAGE.deb
set -euo pipefail
[[ $# -eq 1 ]] || { echo "usage: $0 PACKAGE.deb" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
deb=$(realpath "$1")
started=$SECONDS
SUDO=""
[[ $(id -u) -ne 0 ]] && SUDO=sudo

fail() { echo "check-deb: $*" >&2; exit 1; }

name=$(dpkg-deb -f "$deb" Package)
known() { dpkg-query -W "$name" >/dev/null 2>&1; }

# ---- The package itself --------------------------------------------------------
report=$(lintian --fail-on error "$deb" 2>&1) || { echo "$report" >&2; fail "lintian reports errors"; }
echo "lintian: no errors, $(grep -c '^W:' <<<"$report" || true) warnings"

depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *libc6* && $depends == *libstdc++6* ]] || fail "computed dependencies: '$depends'"

# ---- Installed -----------------------------------------------------------------
known && fail "dpkg knows $name already: this check would replace and purge it"
# Purged, not only removed: dpkg would otherwise remember the package for
# its maintainer scripts.
remove() { ! known || $SUDO dpkg -P "$name" >/dev/null || echo "check-deb: could not remove $name" >&2; }
trap remove EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
$SUDO dpkg -i "$deb" >/dev/null || fail "dpkg -i failed"

bash "$root/scripts/check-install.sh" --prefix /usr
bash "$root/tests/integration/quenby/tmux_session.sh" /usr/bin/Quenby /usr/bin/vmodem

remove
! known || fail "dpkg still knows $name"
for f in /usr/bin/Quenby /usr/include/falcrest/Falcrest.h; do
    [[ ! -e $f ]] || fail "$f is left behind"
done
echo "Debian package check passed ($((SECONDS - started)) s)"
