#!/usr/bin/env bash
# Installs from Debian's packages what the test command needs (everything),
# or with the argument `demo` only what the demo needs; does nothing for
# packages that are already there.
set -euo pipefail

# The demo builds and runs Quenby and vmodem: a compiler, CMake and Ninja.
demo_packages=(build-essential cmake ninja-build)

packages=(
    build-essential cmake ninja-build pkg-config
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
    llvm lld unzip lintian
    socat tmux netpbm picocom python3 python3-pyte python3-num2words libvterm-dev
    gcovr doxygen
    wine64 bsdutils
    groff-base efax mgetty-fax
    qemu-system-x86 cpio busybox-static
)
[[ ${1:-} == demo ]] && packages=("${demo_packages[@]}")

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    SUDO=""
    [[ $(id -u) -ne 0 ]] && SUDO=sudo
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
