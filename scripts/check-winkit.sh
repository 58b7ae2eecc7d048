#!/usr/bin/env bash
# The Windows developer kits, used from their zips alone as a Windows
# developer would:
#   - each zip unpacks into one folder with the kit's layout;
#   - the DLLs, Quenby.exe and the example import only system DLLs and each
#     other;
#   - Falcrest.dll exports every function of the kit's header under its
#     plain name, and none decorated;
#   - a program linked against Falcrest.lib the MSVC way (clang and lld-link)
#     finds every export of the kit's header and imports each by its plain name;
#   - examples/at_ok builds with the kit's Makefile and the MinGW compiler of
#     the kit's architecture;
#   - win64: at_ok.exe under wine64 gets OK from vmodem on COM1.
# WINEPREFIX, when set, names the Wine prefix to use (a fresh one otherwise).
#   scripts/check-winkit.sh WIN64_ZIP WIN32_ZIP VMODEM
set -euo pipefail
[[ $# -eq 3 ]] || { echo "usage: $0 WIN64_ZIP WIN32_ZIP VMODEM" >&2; exit 2; }
tmp=$(mktemp -d "${TMPDIR:-/tmp}/falcrest-winkit.XXXXXX")
export WINEPREFIX=${WINEPREFIX:-$tmp/wineprefix}
source "$(dirname "$0")/wine/lib.sh"
trap 'stop_server; kill $(jobs -p) &>/dev/null || true; rm -rf "$tmp"' EXIT
trap 'exit 130' INT TERM
fail() { echo "check-winkit: $*" >&2; exit 1; }

# "dll name" for every function a PE file imports by name.
imports() {
    objdump -p "$1" | awk '/DLL Name:/ { dll = $3; next } /^$/ { dll = "" }
        dll != "" && NF == 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ { print dll, $3 }'
}

check_kit() { # zip, clang target, MinGW compiler; leaves the kit's folder in $kit
    local top f exports dll missing decorated others
    mkdir "$tmp/$2"
    unzip -q "$1" -d "$tmp/$2" || fail "cannot unzip $1"
    top=("$tmp/$2"/*)
    [[ ${#top[@]} -eq 1 && -d ${top[0]} ]] || fail "$1 does not hold one folder"
    kit=${top[0]}
    # (What the steps below use shows missing when they fail.)
    for f in bin/{Tamsel.dll,Quenby.exe} lib/{Falcrest,Tamsel}.def lib/lib{Falcrest,Tamsel}.dll.a \
        include/tamsel/Tamsel.h doc/{README.md,Quenby.txt,api/index.html}; do
        [[ -s $kit/$f ]] || fail "$(basename "$kit"): missing $f"
    done
    grep -q 'Connection failed' "$kit/doc/Quenby.txt" || fail "doc/Quenby.txt is not Quenby's manual"
    exports=$(grep -E '^FALCREST_API ' "$kit/include/falcrest/Falcrest.h" | sed -E 's/\(.*//; s/.*[ *]//' | sort)
    dll=$(objdump -p "$kit/bin/Falcrest.dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '{ print $NF }' | sort)
    missing=$(comm -23 <(echo "$exports") <(echo "$dll")) decorated=$(grep -E '@[0-9]+$|^_Z' <<<"$dll" || true)
    [[ -z $missing$decorated ]] || fail "$(basename "$kit"): Falcrest.dll lacks $missing or decorates $decorated"
    # Every export taken by address, so that the link needs each from Falcrest.lib.
    printf '#include <falcrest/Falcrest.h>\nint mainCRTStartup(void) {\n    size_t sum = 0;\n%s    Realloc(0, 0);\n    return (int)sum;\n}\n' \
        "$(printf '    sum += (size_t)&%s;\n' $exports)" >"$tmp/msvc_client.c"
    clang --target="$2" -fuse-ld=lld -nostdlib -ffreestanding -Wall -Werror -I"$kit/include" "$tmp/msvc_client.c" \
        "$kit/lib/Falcrest.lib" "$kit/lib/Tamsel.lib" -Wl,-entry:mainCRTStartup,-subsystem:console -o "$tmp/msvc_client.exe" ||
        fail "$(basename "$kit"): the header does not compile as C for $2 or link with lld-link against Falcrest.lib"
    [[ $(imports "$tmp/msvc_client.exe" | sort) == "$({ printf 'Falcrest.dll %s\n' $exports; echo 'Tamsel.dll Realloc'; } | sort)" ]] ||
        fail "$(basename "$kit"): the MSVC-linked program imports: $(imports "$tmp/msvc_client.exe")"
    timeout 300 make -s -C "$kit/examples/at_ok" CXX="$3" >"$tmp/make.log" 2>&1 ||
        { cat "$tmp/make.log" >&2; fail "$(basename "$kit"): at_ok does not build with $3"; }
    others=$(objdump -p "$kit"/bin/*.{dll,exe} "$kit/examples/at_ok/at_ok.exe" |
        sed -n 's/^[[:space:]]*DLL Name: //p' | grep -viE '^(kernel32|user32|advapi32|msvcrt|winspool\.drv|api-ms-win-[a-z0-9-]+|falcrest|tamsel)(\.dll)?$' || true)
    [[ -z $others ]] || fail "$(basename "$kit"): its programs import $others"
    echo "$(basename "$kit"): layout, imports, Falcrest.lib and the example are right"
}

# The product first: 32-bit, where cdecl names carry an underscore for the
# linker but are imported plain.
check_kit "$2" i686-pc-windows-msvc i686-w64-mingw32-g++-posix
check_kit "$1" x86_64-pc-windows-msvc x86_64-w64-mingw32-g++-posix

boot_prefix || fail "wineboot failed"
"$3" --link "$tmp/modem" &>"$tmp/vmodem.log" &
retry 10 test -e "$tmp/modem" && map_ports COM1="$tmp/modem" || fail "cannot map COM1 to vmodem"
output=$(WINEPATH="Z:${kit//\//\\}\\bin" timeout -k 5 120 "$WINE" "$kit/examples/at_ok/at_ok.exe" COM1 20000 2>&1) &&
    [[ $output == *"at_ok: OK from COM1"* ]] || fail "at_ok.exe under wine64: $output"
echo "Windows kit check passed: at_ok.exe got OK from vmodem on COM1 under wine64"
