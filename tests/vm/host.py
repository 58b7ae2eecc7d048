#!/usr/bin/env python3
# The host side of the test machine: a vmodem behind the machine's USB serial
# adapter, QEMU, the machine's console on stdout, an echo at the far end of
# its 16550, and the machine's requests, one a line on a serial port of their
# own (/dev/ttyS2 there), answered "ok" or "error <why>":
#   break            a line break from the 16550's far end
#   unplug, plug     the USB adapter out, and back in
#   done STATUS      the machine's result, this program's exit status
# Usage: host.py KERNEL INITRD WORK_DIR VMODEM. FALCREST_VM_ACCEL=kvm speeds
# it up where the guest does not hang in KVM's firmware (the default is tcg).
import json, os, select, socket, subprocess, sys, time

kernel, initrd, work, vmodem = sys.argv[1:5]
start = time.monotonic()
deadline, status = start + 240, 1
# The modem keeps what a call sends it: QEMU 7.2 can crash when the adapter
# goes while its line is delivering data to it.
modem = subprocess.Popen([vmodem, "--link", f"{work}/ttyV0", "--mode", "sink"],
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
servers = {name: socket.create_server(f"{work}/{name}.sock", family=socket.AF_UNIX)
           for name in ("con", "s1", "ctl", "mon")}
for server in servers.values():
    server.settimeout(10)
while not os.path.exists(f"{work}/ttyV0") and time.monotonic() < deadline:
    time.sleep(0.05)
sock = lambda name: ["-chardev", f"socket,id={name},path={work}/{name}.sock"]
qemu = subprocess.Popen([
    "qemu-system-x86_64", "-accel", os.environ.get("FALCREST_VM_ACCEL", "tcg"), "-m", "256",
    "-nodefaults", "-display", "none", "-no-reboot", "-kernel", kernel, "-initrd", initrd,
    "-append", "console=ttyS0 quiet panic=-1 no_timer_check edd=off",
    *sock("con"), "-serial", "chardev:con", *sock("s1"), "-serial", "chardev:s1",
    *sock("ctl"), "-device", "pci-serial,chardev=ctl", "-device", "qemu-xhci",
    "-chardev", f"serial,id=vm0,path={work}/ttyV0", "-device", "usb-serial,id=usb0,chardev=vm0",
    *sock("mon"), "-mon", "chardev=mon,mode=control"], stdin=subprocess.DEVNULL)


def qmp(command, **arguments):
    mon.write(json.dumps({"execute": command, "arguments": arguments}) + "\n")
    mon.flush()
    while True:  # events may come first
        reply = json.loads(mon.readline())
        if "error" in reply:
            raise RuntimeError(reply["error"]["desc"])
        if "return" in reply:
            return


def plug():  # QEMU lets go of the line of an adapter just pulled out a moment later
    for _ in range(50):
        try:
            return qmp("device_add", driver="usb-serial", id="usb0", chardev="vm0")
        except RuntimeError as e:
            if "in use" not in str(e):
                raise
            time.sleep(0.1)


try:
    c = {name: server.accept()[0] for name, server in servers.items()}
    mon = c["mon"].makefile("rw")
    mon.readline()  # the greeting
    qmp("qmp_capabilities")
    verbs = {"break": lambda: qmp("chardev-send-break", id="s1"),
             "unplug": lambda: qmp("device_del", id="usb0"), "plug": plug}
    requests = b""
    while time.monotonic() < deadline:
        for s in select.select([c["con"], c["s1"], c["ctl"]], [], [], 0.5)[0]:
            data = s.recv(65536)
            if not data:
                raise EOFError("QEMU closed a line")
            if s is c["con"]:
                sys.stdout.buffer.write(data)
            elif s is c["s1"]:
                s.sendall(data)
            else:
                requests += data
        while b"\n" in requests:
            request, _, requests = requests.partition(b"\n")
            verb, *words = request.decode().split()
            if verb == "done":  # the console's last lines follow
                status, deadline = int(words[0]), time.monotonic() + 5
                continue
            try:
                verbs[verb]()
                answer = "ok"
            except (RuntimeError, KeyError) as e:
                answer = f"error {e}"
            c["ctl"].sendall(answer.encode() + b"\n")
except (EOFError, OSError) as e:  # QEMU has gone: powered off, or not
    print(f"\nvm: {e}; QEMU's exit status: {qemu.poll()}")
finally:
    qemu.kill()
    modem.terminate()
    qemu.wait()
    modem.wait()
print(f"vm: {'passed' if status == 0 else 'FAILED'} after {time.monotonic() - start:.0f} s")
sys.exit(status)
