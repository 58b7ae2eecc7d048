#!/usr/bin/env bash
# Real kernel serial drivers: boots a small virtual machine with a 16550 UART
# (/dev/ttyS1) and a USB serial adapter (/dev/ttyUSB0) whose line goes to
# vmodem here, and runs Quenby and the device tests in it (tests/vm/init),
# with the far ends on this host (tests/vm/host.py).
# Usage: tests/vm/run.sh [BUILD_DIR]   (default: build)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
work=$build/vm
mkdir -p "$work"
rm -f "$work"/*.sock
cmake --build "$build" --target vm_guest

# Debian's current kernel, found through the meta-package (a pinned version
# leaves the mirror with the next security update). Only the image and the
# USB serial modules are taken out of the package; nothing is installed.
modules=(usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio)
sudo=$([[ $(id -u) -eq 0 ]] || echo sudo)
image() { apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-/ && !n++ {print $2}'; }
[[ -n $(image) ]] || $sudo apt-get update -qq # no package lists yet
image=$(image)
[[ -n $image ]] || { echo "vm: no kernel package found through linux-image-amd64" >&2; exit 1; }
kernel=$work/$image
if [[ ! -f $kernel/vmlinuz ]]; then
    rm -rf "$work"/linux-image-*
    mkdir -p "$kernel"
    (cd "$kernel" && { apt-get download "$image" || { $sudo apt-get update -qq && apt-get download "$image"; }; })
    wanted=('./boot/vmlinuz-*')
    for m in "${modules[@]}"; do wanted+=("*/$m.ko"); done
    dpkg-deb --fsys-tarfile "$kernel"/*.deb | tar -x -C "$kernel" --wildcards "${wanted[@]}"
    find "$kernel" -name '*.ko' -exec mv {} "$kernel/" \;
    mv "$kernel"/boot/vmlinuz-* "$kernel/vmlinuz"
    rm -rf "$kernel"/*.deb "$kernel"/boot "$kernel"/lib
fi

# The root file system: busybox, the modules, and the programs with the
# libraries they load, at the paths they have here.
root=$work/root
rm -rf "$root"
mkdir -p "$root"/{bin,dev,proc,sys,tmp,lib/modules,opt/falcrest/bin}
cp /bin/busybox "$root/bin/"
cp "$here/init" "$root/init"
for m in "${modules[@]}"; do cp "$kernel/$m.ko" "$root/lib/modules/"; done
for program in "$build/tests/vm/vm_guest_tests" "$build/console/Quenby"; do
    strip -o "$root/opt/falcrest/bin/$(basename "$program")" "$program"
    for lib in $(ldd "$program" | awk '$3 ~ /^\// {print $3} $1 ~ /^\// {print $1}'); do
        mkdir -p "$root$(dirname "$lib")"
        strip --strip-debug -o "$root$lib" "$(readlink -f "$lib")"
    done
done
(cd "$root" && find . | cpio -o -H newc --quiet) >"$work/initrd"
exec python3 -u "$here/host.py" "$kernel/vmlinuz" "$work/initrd" "$work" "$build/tools/vmodem/vmodem"
