#!/usr/bin/env bash
# The Windows developer kits, used from their zips alone as a Windows
# developer would:
#   - each zip unpacks into one folder with the kit's layout;
#   - the DLLs, Quenby.exe and the example import only system DLLs and each
#     other;
#   - Falcrest.lib names every export of the kit's header, and a program
#     linked against it the MSVC way (clang and lld-link) imports each by its
#     plain name;
#   - examples/at_ok builds with the kit's Makefile and the MinGW compiler of
#     the kit's architecture;
#   - win64: at_ok.exe under wine64 gets OK from vmodem on COM1.
# WINEPREFIX, when set, names the Wine prefix to use (a fresh one otherwise).
#   scripts/check-winkit.sh WIN64_ZIP WIN32_ZIP VMODEM
set -euo pipefail
[[ $# -eq 3 ]] || { echo "usage: $0 WIN64_ZIP WIN32_ZIP VMODEM" >&2; exit 2; }
zip64=$(realpath "$1")
zip32=$(realpath "$2")
vmodem=$(realpath "$3")
started=$SECONDS

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
tmp=$(mktemp -d "${TMPDIR:-/tmp}/falcrest-winkit.XXXXXX")
export WINEPREFIX=${WINEPREFIX:-$tmp/wineprefix} WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
modem=""
cleanup() {
    timeout 20 "$WINESERVER" -k >/dev/null 2>&1 || true
    [[ -z $modem ]] || { kill "$modem"; wait "$modem"; } 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
fail() { echo "check-winkit: $*" >&2; exit 1; }

# Unpacks a zip into an empty folder and prints the kit's folder in it.
unpack() { # zip, folder
    mkdir "$2"
    unzip -q "$1" -d "$2" || fail "cannot unzip $1"
    local top=("$2"/*)
    [[ ${#top[@]} -eq 1 && -d ${top[0]} ]] || fail "$1 does not hold one folder"
    echo "${top[0]}"
}

check_layout() { # kit
    local f
    for f in bin/Falcrest.dll bin/Tamsel.dll bin/Quenby.exe \
        lib/Falcrest.def lib/Tamsel.def lib/libFalcrest.dll.a lib/libTamsel.dll.a \
        lib/Falcrest.lib lib/Tamsel.lib include/falcrest/Falcrest.h include/tamsel/Tamsel.h \
        doc/README.md doc/Quenby.txt doc/api/index.html \
        examples/at_ok/Makefile examples/at_ok/at_ok.cpp; do
        [[ -s $1/$f ]] || fail "$(basename "$1"): missing $f"
    done
    grep -q 'Connection failed' "$1/doc/Quenby.txt" || fail "doc/Quenby.txt is not Quenby's manual"
}

# "dll name" for every function a PE file imports by name.
imports() {
    objdump -p "$1" | awk '
        /DLL Name:/ { dll = $3; next }
        /^$/ { dll = "" }
        dll != "" && NF == 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ { print dll, $3 }'
}

# Imports only from the system and the kit.
system_dll='^(kernel32|user32|advapi32|msvcrt|winspool\.drv|api-ms-win-[a-z0-9-]+)(\.dll)?$'
check_imports() { # PE file
    local dll
    for dll in $(objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
        [[ ${dll,,} =~ $system_dll|^(falcrest|tamsel)\.dll$ ]] || fail "$(basename "$1") imports $dll"
    done
}

# The MSVC import library names every export, and links the way MSVC's
# linker does: the program then imports each by its plain name.
check_msvc_lib() { # kit, clang target, symbol prefix
    local kit=$1 name symbols imported
    symbols=$(llvm-nm "$kit/lib/Falcrest.lib" 2>/dev/null)
    for name in $exports; do
        grep -qE " __imp_$3${name}\$" <<<"$symbols" ||
            fail "$(basename "$kit"): Falcrest.lib does not name $name"
    done
    printf '#include <falcrest/Falcrest.h>\nint mainCRTStartup(void) {\n    size_t sum = 0;\n%s    Realloc(0, 0);\n    return (int)sum;\n}\n' \
        "$(printf '    sum += (size_t)&%s;\n' $exports)" >"$tmp/msvc_client.c"
    clang --target="$2" -ffreestanding -Wall -Werror -I"$kit/include" -c "$tmp/msvc_client.c" \
        -o "$tmp/msvc_client.obj" || fail "the header does not compile for $2"
    lld-link -nologo -entry:mainCRTStartup -subsystem:console -nodefaultlib "$tmp/msvc_client.obj" \
        "$kit/lib/Falcrest.lib" "$kit/lib/Tamsel.lib" -out:"$tmp/msvc_client.exe" ||
        fail "$(basename "$kit"): no MSVC-style link against Falcrest.lib"
    imported=$(imports "$tmp/msvc_client.exe" | sort)
    [[ $imported == "$({ printf 'Falcrest.dll %s\n' $exports; echo 'Tamsel.dll Realloc'; } | sort)" ]] ||
        fail "$(basename "$kit"): the MSVC-linked program imports: $imported"
}

build_example() { # kit, compiler
    timeout 300 make -s -C "$1/examples/at_ok" CXX="$2" >"$tmp/make.log" 2>&1 ||
        { cat "$tmp/make.log" >&2; fail "$(basename "$1"): at_ok does not build with $2"; }
    check_imports "$1/examples/at_ok/at_ok.exe"
    imports "$1/examples/at_ok/at_ok.exe" | grep -qx 'Falcrest.dll InitModem' ||
        fail "$(basename "$1"): at_ok.exe does not import InitModem"
}

check_kit() { # zip, folder, clang target, symbol prefix, MinGW compiler
    local kit exe
    kit=$(unpack "$1" "$2")
    check_layout "$kit"
    exports=$(grep -E '^FALCREST_API ' "$kit/include/falcrest/Falcrest.h" | sed -E 's/\(.*//; s/.*[ *]//')
    for exe in "$kit"/bin/*.dll "$kit"/bin/*.exe; do check_imports "$exe"; done
    check_msvc_lib "$kit" "$3" "$4"
    build_example "$kit" "$5"
    echo "$(basename "$kit"): layout, imports, Falcrest.lib and the example are right"
}

# The product first: 32-bit, where cdecl names carry an underscore for the
# linker but are imported plain.
check_kit "$zip32" "$tmp/win32" i686-pc-windows-msvc _ i686-w64-mingw32-g++-posix
check_kit "$zip64" "$tmp/win64" x86_64-pc-windows-msvc "" x86_64-w64-mingw32-g++-posix
kit64=$(ls -d "$tmp"/win64/*)

# ---- at_ok.exe under wine64 on COM1, mapped to the virtual modem -------------
timeout 20 "$WINESERVER" -k >/dev/null 2>&1 || true
if [[ ! -f $WINEPREFIX/system.reg ]]; then
    timeout 180 "$WINE" wineboot -i >/dev/null 2>&1 || fail "wineboot failed"
fi
link=$tmp/modem
"$vmodem" --link "$link" >"$tmp/vmodem.log" 2>&1 &
modem=$!
timeout 10 bash -c "until [[ -e $link ]]; do sleep 0.05; done" || fail "vmodem made no link"
timeout 60 "$WINE" reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$link" /f >/dev/null 2>&1 ||
    fail "cannot map COM1"
# The server reads the port map when it starts.
timeout 20 "$WINESERVER" -k >/dev/null 2>&1 || true
timeout 20 "$WINESERVER" -w >/dev/null 2>&1 || true
timeout 60 "$WINE" cmd /c exit >/dev/null 2>&1 || true
timeout 10 bash -c "until [[ \$(readlink '$WINEPREFIX/dosdevices/com1') == '$link' ]]; do sleep 0.1; done" ||
    fail "COM1 is not mapped to $link"

export WINEPATH="Z:${kit64//\//\\}\\bin"
status=0
output=$(timeout -k 5 120 "$WINE" "$kit64/examples/at_ok/at_ok.exe" COM1 20000 2>&1) || status=$?
[[ $status -eq 0 && $output == *"at_ok: OK from COM1"* ]] ||
    fail "at_ok.exe under wine64 exited with $status: $output"
echo "win64 kit: at_ok.exe got OK from vmodem on COM1 under wine64"
echo "Windows kit check passed ($((SECONDS - started)) s)"
