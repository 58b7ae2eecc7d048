// Reading and writing a POSIX port with the COMMTIMEOUTS meaning, the
// immediate character, and the bounded wait for the driver's output.
#include "SerialPosix.h"

#include <algorithm>
#include <errno.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace plat {

namespace posix {

namespace {

constexpr uint32_t kMaxDword = 0xFFFFFFFFu;

// Whole milliseconds left until deadline, rounded up so that a wait never
// ends before it; 0 when it has passed.
int64_t Left(double deadline) {
    double left = deadline - NowMs();
    return left <= 0 ? 0 : int64_t(left) + 1;
}

// A hang-up: the far end has gone (pty master closed, carrier lost, USB
// adapter pulled). The device will not deliver again.
uint32_t HungUp() {
    errno = EIO;
    return kErrGenFailure;
}

// A non-blocking tty write returns only once the driver takes nothing more:
// handed more than the driver has room for, one call lasts until the device
// has drained the excess (seconds on a USB adapter), whatever the time-out.
// So each call is offered no more than the room left in the driver.
uint32_t Room(int fd) {
    int queued = 0;
    if (ioctl(fd, TIOCOUTQ, &queued) != 0 || queued < 0)
        queued = 0;
    uint32_t ring = TransmitBuffer();
    return uint32_t(queued) < ring ? ring - uint32_t(queued) : 1;
}

// The longest a transmitter's own FIFO takes to empty at the port's rate:
// 256 characters (FT232R's buffer; a 16550 holds 16) of 11 bits at most,
// and a few milliseconds for the driver to notice.
double HardwareFifoMs(Port &port) {
    uint32_t baud;
    {
        std::lock_guard<std::mutex> lock(port.m);
        baud = port.dcb.BaudRate;
    }
    return 256.0 * 11 * 1000 / (baud ? baud : 9600) + 5;
}

// How long the line takes for one character of the DCB's framing: a start
// bit, the data bits, parity and the stop bits.
double CharacterMs(const Dcb &dcb) {
    if (dcb.BaudRate == 0)
        return 0;
    double bits = 1.0 + dcb.ByteSize + (dcb.Parity != kNoParity ? 1 : 0) +
                  (dcb.StopBits == kOneStopBit     ? 1.0
                   : dcb.StopBits == kOne5StopBits ? 1.5
                                                   : 2.0);
    return bits * 1000.0 / dcb.BaudRate;
}

} // namespace

bool ImmediatePending(const Port &port) {
    return NowMs() < port.immediateSentMs;
}

bool Drain(Port &port) {
    double deadline = NowMs() + kFlushLimitMs;
    double hardwareDeadline = 0; // set once the driver's buffer is empty
    int pause = 1;
    while (true) {
        int queued = 0;
        if (ioctl(port.fd, TIOCOUTQ, &queued) != 0)
            return false;
        bool empty = queued == 0;
#ifdef TIOCSERGETLSR
        // The transmit ring is empty before the UART's FIFO and shift
        // register are; drivers that cannot tell answer with an error. Some
        // report a busy transmitter for ever (the ftdi driver keeps the last
        // status its adapter sent, and not every adapter sends one when
        // idle): the hardware gets the time its FIFO takes at the line's
        // rate, and never past the flush's own limit: once the driver has
        // handed everything over, a transmitter still busy then is taken as
        // the one that never says otherwise, not as a failed flush.
        unsigned lsr = 0;
        if (empty && ioctl(port.fd, TIOCSERGETLSR, &lsr) == 0 && !(lsr & TIOCSER_TEMT)) {
            if (hardwareDeadline == 0)
                hardwareDeadline = std::min(NowMs() + HardwareFifoMs(port), deadline);
            empty = NowMs() >= hardwareDeadline;
        }
#endif
        if (empty)
            return true;
        if (NowMs() >= deadline)
            return Fail(ETIMEDOUT);
        // The kernel offers no bounded wait for the drain: look again shortly.
        poll(nullptr, 0, pause);
        pause = pause < 8 ? pause * 2 : 10;
    }
}

} // namespace posix

using namespace posix;

namespace {

// What a read and a write check before they start: the port, an empty
// request and a missing buffer. Fills the port and its time-outs and returns
// true to go on; otherwise result holds what the call returns.
bool BeginTransfer(PortHandle handle, const void *buffer, uint32_t n, std::shared_ptr<Port> &port,
                   CommTimeouts &t, uint32_t &result) {
    result = 0;
    port = FindPort(handle);
    if (!port) {
        result = kErrInvalidHandle;
        return false;
    }
    if (n == 0)
        return false;
    if (!buffer) {
        errno = EINVAL;
        result = kErrInvalidParameter;
        return false;
    }
    std::lock_guard<std::mutex> lock(port->m);
    t = port->timeouts;
    return true;
}

} // namespace

uint32_t ReadPort(PortHandle handle, void *buffer, uint32_t n, uint32_t *got) {
    uint32_t ignored = 0;
    uint32_t &count = got ? *got : ignored;
    count = 0;
    std::shared_ptr<Port> port;
    CommTimeouts t;
    uint32_t early;
    if (!BeginTransfer(handle, buffer, n, port, t, early))
        return early;
    const uint32_t interval = t.ReadIntervalTimeout;
    const uint32_t multiplier = t.ReadTotalTimeoutMultiplier;
    const uint32_t constant = t.ReadTotalTimeoutConstant;
    // Return at once with what is there.
    const bool immediate = interval == kMaxDword && multiplier == 0 && constant == 0;
    // Wait up to the constant for a first byte, then return with what is there.
    const bool firstByte =
        interval == kMaxDword && multiplier == kMaxDword && constant != 0 && constant != kMaxDword;
    const bool total = !immediate && (multiplier != 0 || constant != 0);
    const bool useInterval = !immediate && !firstByte && interval != 0 && interval != kMaxDword;
    double deadline = NowMs();
    if (firstByte)
        deadline += constant;
    else if (total)
        deadline += double(multiplier) * n + constant;
    double lastByte = 0;
    bool hangUp = false;

    auto *bytes = static_cast<uint8_t *>(buffer);
    while (true) {
        if (port->closed.load()) {
            errno = ECANCELED;
            return kErrOperationAborted;
        }
        ssize_t r = read(port->fd, bytes + count, n - count);
        if (r > 0) {
            count += uint32_t(r);
            lastByte = NowMs();
            if (count == n)
                return 0;
            continue;
        }
        if (r < 0 && errno == EINTR)
            continue;
        bool nothing = r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        if (r == 0 || (nothing && hangUp) || (r < 0 && !nothing && errno == EIO))
            return count > 0 ? 0 : HungUp(); // deliver what came first
        if (!nothing)
            return count > 0 ? 0 : SystemError(errno);

        if (immediate || (firstByte && count > 0))
            return 0;
        int64_t wait = -1;
        if (firstByte || total)
            wait = Left(deadline);
        if (useInterval && count > 0) {
            int64_t gap = Left(lastByte + interval);
            wait = wait < 0 ? gap : std::min(wait, gap);
        }
        if (wait == 0)
            return 0; // time-out: no failure, the bytes so far are the result
        short revents = 0;
        // CancelInputWait (a suspension, a release) ends the read early, as
        // a time-out would, with what has arrived so far.
        int ready = WaitPort(*port, POLLIN, wait, revents, true);
        if (ready < 0)
            return SystemError(errno);
        if (ready == kWaitCancelled)
            return 0;
        if (revents & (POLLHUP | POLLERR | POLLNVAL))
            hangUp = true; // the next read tells whether data is left
    }
}

uint32_t WritePort(PortHandle handle, const void *data, uint32_t n, uint32_t *written) {
    uint32_t ignored = 0;
    uint32_t &count = written ? *written : ignored;
    count = 0;
    std::shared_ptr<Port> port;
    CommTimeouts t;
    uint32_t early;
    if (!BeginTransfer(handle, data, n, port, t, early))
        return early;
    const bool total = t.WriteTotalTimeoutMultiplier != 0 || t.WriteTotalTimeoutConstant != 0;
    const double deadline =
        NowMs() + double(t.WriteTotalTimeoutMultiplier) * n + t.WriteTotalTimeoutConstant;
    bool hangUp = false;

    auto *bytes = static_cast<const uint8_t *>(data);
    while (true) {
        if (port->closed.load()) {
            errno = ECANCELED;
            return kErrOperationAborted;
        }
        ssize_t r = write(port->fd, bytes + count, std::min(n - count, Room(port->fd)));
        if (r > 0) {
            count += uint32_t(r);
            // A device that keeps taking a little at a time must not stretch
            // the time-out either.
            if (count == n || (total && Left(deadline) == 0))
                return 0;
            continue;
        }
        if (r < 0 && errno == EINTR)
            continue;
        bool full = r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        if ((full && hangUp) || (r < 0 && errno == EIO))
            return HungUp();
        if (!full)
            return SystemError(r < 0 ? errno : EIO);
        int64_t wait = total ? Left(deadline) : -1;
        if (wait == 0)
            return 0; // time-out: completes with fewer bytes
        short revents = 0;
        int ready = WaitPort(*port, POLLOUT, wait, revents);
        if (ready < 0)
            return SystemError(errno);
        if (revents & (POLLHUP | POLLERR | POLLNVAL))
            hangUp = true;
    }
}

bool TransmitCommChar(PortHandle handle, char c) {
    auto port = FindPort(handle);
    if (!port)
        return false;
    {
        std::lock_guard<std::mutex> lock(port->m);
        if (ImmediatePending(*port))
            return Fail(EBUSY);
    }
    double deadline = NowMs() + kFlushLimitMs;
    while (true) {
        ssize_t r = write(port->fd, &c, 1);
        if (r == 1) {
            std::lock_guard<std::mutex> lock(port->m);
            port->immediateSentMs = NowMs() + CharacterMs(port->dcb);
            return true;
        }
        if (r < 0 && errno == EINTR)
            continue;
        if (r == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            return Fail(r == 0 ? EIO : errno);
        int64_t wait = Left(deadline);
        if (wait == 0)
            return Fail(ETIMEDOUT);
        short revents = 0;
        if (WaitPort(*port, POLLOUT, wait, revents) < 0)
            return false;
        if (revents & (POLLHUP | POLLERR | POLLNVAL))
            return Fail(EIO);
    }
}

bool FlushFileBuffers(PortHandle handle) {
    auto port = FindPort(handle);
    return port && Drain(*port);
}

} // namespace plat

namespace plat {

bool WaitForInput(PortHandle handle, uint32_t ms) {
    auto port = posix::FindPort(handle);
    if (!port)
        return true; // let the read report the failure
    // A line error that brings no byte (a break, which the port does not
    // pass on as data) wakes no poll: on a device that counts its errors the
    // wait is cut into slices, and new errors end it like data would.
    constexpr int64_t kErrorLookMs = 100;
    const bool counted = port->counted;
    const bool bounded = ms != 0xFFFFFFFFu; // kInfinite waits without a bound
    const double deadline = posix::NowMs() + ms;
    pollfd fds[3] = {
        {port->fd, POLLIN, 0}, {port->wake[0], POLLIN, 0}, {port->cancel[0], POLLIN, 0}};
    int r;
    bool errors = false;
    while (true) {
        int64_t left = bounded ? posix::Left(deadline) : -1;
        int64_t slice = counted && (left < 0 || left > kErrorLookMs) ? kErrorLookMs : left;
        r = poll(fds, 3, slice > 0x7FFFFFFF ? 0x7FFFFFFF : int(slice));
        if (r < 0 && errno == EINTR)
            continue;
        if (r != 0 || left == slice || (errors = posix::NewLineErrors(*port)))
            break;
    }
    if (fds[2].revents & POLLIN) {
        char drained[16];
        while (read(port->cancel[0], drained, sizeof drained) > 0) {
        }
    }
    return errors || (r > 0 && fds[0].revents != 0);
}

void CancelInputWait(PortHandle handle) {
    auto port = posix::FindPort(handle);
    if (!port)
        return;
    char one = 1;
    [[maybe_unused]] ssize_t woke = write(port->cancel[1], &one, 1);
}

} // namespace plat
