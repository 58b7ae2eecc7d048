#!/usr/bin/env python3
# The host side of the test machine: starts QEMU with the serial devices
# under test, prints the machine's console, keeps the far ends of the lines
# and serves the machine's requests, which come one line at a time on a
# serial port of their own (/dev/ttyS2 there) and are answered "ok [...]" or
# "error <why>":
#   hello                   the machine is up
#   write LINE HEX          bytes sent from the far end of LINE
#   read LINE MIN MS        what arrived at the far end, once MIN bytes are
#                           there or MS have passed (MIN -1: the whole time)
#   drop LINE MS            the same, thrown away
#   break LINE              a line break from the far end
#   unplug LINE, plug LINE  the USB adapter out, and back in on LINE
#   done STATUS             the machine's result, this program's exit status
# Lines: s1 ends the 16550 (/dev/ttyS1), u0 the USB adapter (/dev/ttyUSB0),
# both in sockets here; vm0 is the adapter's line to vmodem's pty.
import argparse
import json
import os
import select
import socket
import subprocess
import sys
import time

LINES = ("s1", "u0")
SOCKETS = ("con", "ctl", "mon") + LINES


def qemu_command(args, accel):
    sock = lambda name: f"socket,id={name},path={args.work}/{name}.sock"
    return [
        "qemu-system-x86_64", "-accel", accel, "-m", "256", "-nodefaults", "-display", "none",
        "-no-reboot", "-kernel", args.kernel, "-initrd", args.initrd,
        "-append", f"console=ttyS0 quiet panic=-1 no_timer_check edd=off steps={args.steps}",
        "-chardev", sock("con"), "-serial", "chardev:con",
        "-chardev", sock("s1"), "-serial", "chardev:s1",
        "-chardev", sock("ctl"), "-device", "pci-serial,chardev=ctl",
        "-device", "qemu-xhci", "-chardev", sock("u0"), "-device", "usb-serial,id=usb0,chardev=u0",
        "-chardev", f"serial,id=vm0,path={args.work}/ttyV0",
        "-chardev", sock("mon"), "-mon", "chardev=mon,mode=control",
    ]


class Machine:
    def __init__(self, args, accel):
        self.listeners = {}
        for name in SOCKETS:
            path = f"{args.work}/{name}.sock"
            if os.path.exists(path):
                os.unlink(path)
            self.listeners[name] = socket.create_server(path, family=socket.AF_UNIX)
            self.listeners[name].settimeout(10)
        print(f"vm: QEMU ({accel})")
        self.qemu = subprocess.Popen(qemu_command(args, accel), stdin=subprocess.DEVNULL)
        self.conns = {name: self.listeners[name].accept()[0] for name in SOCKETS}
        self.far = {name: bytearray() for name in LINES}
        self.requests = b""
        self.mon = self.conns["mon"].makefile("rw")
        self.mon.readline()  # the greeting
        self.qmp("qmp_capabilities")

    def stop(self):
        if self.qemu.poll() is None:
            self.qemu.kill()
            self.qemu.wait()
        for c in list(self.conns.values()) + list(self.listeners.values()):
            c.close()

    def qmp(self, command, **arguments):
        self.mon.write(json.dumps({"execute": command, "arguments": arguments}) + "\n")
        self.mon.flush()
        while True:  # events may come first
            reply = json.loads(self.mon.readline())
            if "error" in reply:
                raise RuntimeError(reply["error"]["desc"])
            if "return" in reply:
                return ""

    def plug(self, line):
        # An adapter just pulled out may leave the machine before QEMU has
        # let go of its line: the line is "in use" for a moment.
        deadline = time.monotonic() + 5
        while True:
            try:
                return self.qmp("device_add", driver="usb-serial", id="usb0", chardev=line)
            except RuntimeError as e:
                if "in use" not in str(e) or time.monotonic() > deadline:
                    raise
                time.sleep(0.1)

    def pump(self, timeout):
        """Takes what arrives within timeout; returns a whole request or None."""
        watched = {self.conns[name]: name for name in ("con", "ctl") + LINES}
        for c in select.select(list(watched), [], [], max(timeout, 0))[0]:
            data, name = c.recv(65536), watched[c]
            if not data:
                raise EOFError(f"QEMU closed {name}")
            if name == "con":
                sys.stdout.buffer.write(data)
            elif name == "ctl":
                self.requests += data
            else:
                self.far[name] += data
        if b"\n" not in self.requests:
            return None
        request, _, self.requests = self.requests.partition(b"\n")
        return request.decode()

    def read_far(self, line, least, ms):
        deadline = time.monotonic() + ms / 1000
        while (least < 0 or len(self.far[line]) < least) and time.monotonic() < deadline:
            self.pump(deadline - time.monotonic())  # the machine waits: no request comes
        # Like reads of a pty in blocks of 4096: at most a block beyond MIN.
        size = len(self.far[line]) if least < 0 else least + 4096
        data, self.far[line] = self.far[line][:size].hex(), self.far[line][size:]
        return data

    def serve(self, request):
        verb, *w = request.split()
        if verb in ("write", "read", "drop") and w[0] not in LINES:
            raise RuntimeError(f"no far end {w[0]} here")
        return {
            "hello": lambda: "",
            "write": lambda: self.conns[w[0]].sendall(bytes.fromhex(w[1])) or "",
            "read": lambda: self.read_far(w[0], int(w[1]), int(w[2])),
            "drop": lambda: self.read_far(w[0], -1, int(w[1])) and "",
            "break": lambda: self.qmp("chardev-send-break", id=w[0]),
            "unplug": lambda: self.qmp("device_del", id="usb0"),
            "plug": lambda: self.plug(w[0]),
        }[verb]()

    def run(self, deadline, boot_deadline):
        """Serves until the machine is off; its result, or None without a
        hello by boot_deadline."""
        status, booted = None, False
        try:
            while time.monotonic() < deadline:
                request = self.pump(0.5)
                if not booted and time.monotonic() > boot_deadline:
                    return None
                if request is None:
                    continue
                booted = True
                if request.startswith("done "):  # the console's last lines follow
                    status, deadline = int(request.split()[1]), time.monotonic() + 5
                    continue
                try:
                    answer = ("ok " + self.serve(request)).strip()
                except (RuntimeError, ValueError, IndexError, KeyError) as e:
                    answer = f"error {e}"
                self.conns["ctl"].sendall(answer.encode() + b"\n")
        except (EOFError, OSError) as e:  # QEMU has gone: powered off, or not
            print(f"\nvm: {e}; QEMU's exit status: {self.qemu.poll()}")
        return 1 if status is None else status


def main():
    p = argparse.ArgumentParser()
    for option in ("--kernel", "--initrd", "--work", "--vmodem"):
        p.add_argument(option, required=True)
    p.add_argument("--limit", type=int, default=240)
    p.add_argument("--steps", default=os.environ.get("FALCREST_VM_STEPS", "all"),
                   help="the steps of the machine's init to run, e.g. uart,quenby")
    args = p.parse_args()
    start = time.monotonic()
    deadline = start + args.limit
    # KVM where it works: on some hosts the guest hangs in the firmware.
    accels = [os.environ["FALCREST_VM_ACCEL"]] if os.environ.get("FALCREST_VM_ACCEL") else \
        (["kvm"] if os.access("/dev/kvm", os.R_OK | os.W_OK) else []) + ["tcg"]

    # The modem keeps what a call sends it, so that while the adapter is
    # pulled out the data flows from the machine: QEMU 7.2 can crash when the
    # adapter goes while its chardev is delivering data to it.
    link = f"{args.work}/ttyV0"
    modem = subprocess.Popen([args.vmodem, "--link", link, "--mode", "sink"],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while not os.path.exists(link) and time.monotonic() < deadline:
        time.sleep(0.05)
    status = None
    try:
        for accel in accels:
            machine = Machine(args, accel)
            try:
                status = machine.run(deadline, time.monotonic() + (6 if accel == "kvm" else args.limit))
            finally:
                machine.stop()
            if status is not None:
                break
            print(f"vm: no sign of the machine under {accel}")
    finally:
        modem.terminate()
        modem.wait()
    status = 1 if status is None else status
    print(f"vm: {'passed' if status == 0 else 'FAILED'} after {time.monotonic() - start:.0f} s")
    return status


if __name__ == "__main__":
    sys.exit(main())
