// The error state and the modem lines of a POSIX port: line errors from the
// kernel's counters, queue counts, escape functions, break and modem status.
#include "SerialPosix.h"

#include <errno.h>
#include <sys/ioctl.h>
#include <termios.h>

#if defined(__linux__)
#include <linux/serial.h>
#endif

namespace plat {

namespace posix {

namespace {

// Whether the device has modem lines at all. A pseudo-terminal has none:
// it accepts a break and drops it, so a break there is reported as not sent.
bool HasLines(int fd) {
    int lines = 0;
    return ioctl(fd, TIOCMGET, &lines) == 0;
}

bool Modem(int fd, unsigned long request, int bits) {
    return ioctl(fd, request, &bits) == 0;
}

// The line error flags for the counters that moved.
uint32_t ErrorFlags(const LineCounts &was, const LineCounts &now) {
    uint32_t flags = 0;
    if (now.overrun != was.overrun)
        flags |= kCeOverrun;
    if (now.bufOverrun != was.bufOverrun)
        flags |= kCeRxOver;
    if (now.parity != was.parity)
        flags |= kCeRxParity;
    if (now.frame != was.frame)
        flags |= kCeFrame;
    if (now.brk != was.brk)
        flags |= kCeBreak;
    return flags;
}

} // namespace

bool ReadLineCounts(int fd, LineCounts &counts) {
#if defined(__linux__) && defined(TIOCGICOUNT)
    serial_icounter_struct icount{};
    if (ioctl(fd, TIOCGICOUNT, &icount) != 0)
        return false;
    counts.overrun = uint32_t(icount.overrun);
    counts.bufOverrun = uint32_t(icount.buf_overrun);
    counts.parity = uint32_t(icount.parity);
    counts.frame = uint32_t(icount.frame);
    counts.brk = uint32_t(icount.brk);
    return true;
#else
    (void)fd;
    (void)counts;
    return false;
#endif
}

bool NewLineErrors(Port &port) {
    LineCounts now;
    if (!ReadLineCounts(port.fd, now))
        return false;
    std::lock_guard<std::mutex> lock(port.m);
    return ErrorFlags(port.counts, now) != 0;
}

} // namespace posix

using namespace posix;

bool ClearCommError(PortHandle handle, uint32_t *errors, ComStat *status) {
    if (errors)
        *errors = 0;
    if (status)
        *status = ComStat{};
    auto port = FindPort(handle);
    if (!port)
        return false;
    int fd = port->fd;
    int inQueue = 0;
    if (ioctl(fd, FIONREAD, &inQueue) != 0)
        return false; // a device that is gone has no error state to read

    uint32_t flags = 0;
    bool ctsFlow, immediate;
    {
        std::lock_guard<std::mutex> lock(port->m);
        immediate = ImmediatePending(*port);
        LineCounts now;
        if (ReadLineCounts(fd, now)) {
            flags = ErrorFlags(port->counts, now);
            port->counts = now;
        }
        ctsFlow = port->dcb.fOutxCtsFlow;
    }
    if (errors)
        *errors = flags;
    if (status) {
        int outQueue = 0;
        status->cbInQue = uint32_t(inQueue > 0 ? inQueue : 0);
        if (ioctl(fd, TIOCOUTQ, &outQueue) == 0 && outQueue > 0)
            status->cbOutQue = uint32_t(outQueue);
        int lines = 0;
        if (ctsFlow && ioctl(fd, TIOCMGET, &lines) == 0 && !(lines & TIOCM_CTS))
            status->flags |= 0x01; // CTS hold
        if (immediate)
            status->flags |= 0x40; // TXIM
    }
    return true;
}

bool EscapeCommFunction(PortHandle handle, uint32_t function) {
    auto port = FindPort(handle);
    if (!port)
        return false;
    Dcb dcb;
    {
        std::lock_guard<std::mutex> lock(port->m);
        dcb = port->dcb;
    }
    int fd = port->fd;
    // A line under handshake control is the driver's, as on Windows.
    bool rtsBusy = dcb.fRtsControl == kRtsControlHandshake || dcb.fRtsControl == kRtsControlToggle;
    bool dtrBusy = dcb.fDtrControl == kDtrControlHandshake;
    switch (function) {
    case kSetXoff:
        return tcflow(fd, TCOOFF) == 0;
    case kSetXon:
        return tcflow(fd, TCOON) == 0;
    case kSetRts:
        return rtsBusy ? Fail(EINVAL) : Modem(fd, TIOCMBIS, TIOCM_RTS);
    case kClrRts:
        return rtsBusy ? Fail(EINVAL) : Modem(fd, TIOCMBIC, TIOCM_RTS);
    case kSetDtr:
        return dtrBusy ? Fail(EINVAL) : Modem(fd, TIOCMBIS, TIOCM_DTR);
    case kClrDtr:
        return dtrBusy ? Fail(EINVAL) : Modem(fd, TIOCMBIC, TIOCM_DTR);
    case kSetBreak:
        return HasLines(fd) ? ioctl(fd, TIOCSBRK) == 0 : Fail(ENOTTY);
    case kClrBreak:
        return HasLines(fd) ? ioctl(fd, TIOCCBRK) == 0 : Fail(ENOTTY);
    default:
        return Fail(EINVAL);
    }
}

bool SetCommBreak(PortHandle handle) {
    return EscapeCommFunction(handle, kSetBreak);
}

bool ClearCommBreak(PortHandle handle) {
    return EscapeCommFunction(handle, kClrBreak);
}

bool GetCommModemStatus(PortHandle handle, uint32_t *status) {
    if (status)
        *status = 0;
    auto port = FindPort(handle);
    if (!port)
        return false;
    int lines = 0;
    if (ioctl(port->fd, TIOCMGET, &lines) != 0)
        return false;
    uint32_t bits = 0;
    if (lines & TIOCM_CTS)
        bits |= kMsCtsOn;
    if (lines & TIOCM_DSR)
        bits |= kMsDsrOn;
    if (lines & TIOCM_RNG)
        bits |= kMsRingOn;
    if (lines & TIOCM_CAR)
        bits |= kMsRlsdOn;
    if (status)
        *status = bits;
    return true;
}

bool DisableStatusInsertion(PortHandle handle) {
    return FindPort(handle) != nullptr;
}

} // namespace plat
