// The serial port on POSIX: the table of open ports, opening and closing,
// properties, state and time-outs. Reading and writing are in SerialIo.cpp,
// the error state and the modem lines in SerialLines.cpp.
#include "../common/PortTable.h"
#include "SerialPosix.h"

#include <errno.h>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace plat {

namespace posix {

namespace {

// Never destroyed: a worker may still look a port up while the process exits.
PortTable<Port> &Ports() {
    static auto *table = new PortTable<Port>;
    return *table;
}

// The line discipline's receive buffer (N_TTY_BUF_SIZE), the same on every
// Linux tty.
constexpr uint32_t kReceiveBuffer = 4096;

} // namespace

uint32_t TransmitBuffer() {
    long page = sysconf(_SC_PAGESIZE);
    return page > 0 ? uint32_t(page) : 4096u;
}

Port::~Port() {
    if (fd >= 0) {
        ioctl(fd, TIOCNXCL); // the flag outlives us on a device others keep open
        close(fd);
    }
    for (int w : wake)
        if (w >= 0)
            close(w);
    for (int c : cancel)
        if (c >= 0)
            close(c);
}

std::shared_ptr<Port> FindPort(PortHandle port) {
    auto found = Ports().Find(port);
    if (!found)
        errno = EBADF;
    return found;
}

uint32_t SystemError(int err) {
    switch (err) {
    case 0:
        return 0;
    case EBADF:
        return kErrInvalidHandle;
    case ENOENT:
        return kErrFileNotFound;
    case EACCES:
    case EPERM:
    case EBUSY:
        return kErrAccessDenied; // Windows' answer to a port already open
    case ENOMEM:
        return kErrNotEnoughMemory;
    case EINVAL:
        return kErrInvalidParameter;
    case ENOTTY:
    case EOPNOTSUPP:
        return kErrNotSupported;
    case ETIMEDOUT:
        return kErrTimeout;
    case ECANCELED:
        return kErrOperationAborted;
    default:
        return kErrGenFailure; // EIO, ENXIO, ENODEV: the device is gone
    }
}

bool Fail(int err) {
    errno = err;
    return false;
}

double NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
}

int WaitPort(Port &port, short events, int64_t ms, short &revents, bool cancellable) {
    pollfd fds[3] = {{port.fd, events, 0}, {port.wake[0], POLLIN, 0}, {port.cancel[0], POLLIN, 0}};
    revents = 0;
    while (true) {
        if (port.closed.load()) {
            errno = ECANCELED;
            return -1;
        }
        int timeout = ms < 0 ? -1 : ms > 0x7FFFFFFF ? 0x7FFFFFFF : int(ms);
        int r = poll(fds, cancellable ? 3 : 2, timeout);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return -1;
        if (port.closed.load()) {
            errno = ECANCELED;
            return -1;
        }
        if (r == 0)
            return 0;
        revents = fds[0].revents;
        if (cancellable && (fds[2].revents & POLLIN) && revents == 0) {
            char drained[16];
            while (read(port.cancel[0], drained, sizeof drained) > 0) {
            }
            return kWaitCancelled;
        }
        return 1;
    }
}

} // namespace posix

using namespace posix;

bool BuildCommDcb(const char *mode, Dcb &dcb) {
    if (ParseModeString(mode, dcb))
        return true;
    return Fail(EINVAL);
}

uint32_t LastError() {
    return SystemError(errno);
}

PortHandle OpenPort(const char *name, uint32_t *error) {
    auto fail = [&](int err) {
        errno = err;
        if (error)
            *error = SystemError(err);
        return kInvalidPort;
    };
    if (!name)
        return fail(EINVAL);
    std::string path = PortDevicePath(name);
    if (path.empty())
        return fail(ENOENT);
    // Non-blocking: a modem port must open without waiting for its carrier,
    // and every wait afterwards goes through poll with the port's time-outs.
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(errno);
    auto port = std::make_shared<Port>();
    port->fd = fd;
    int err = 0;
    if (!isatty(fd)) {
        err = ENOTTY;
    } else if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        // Held by another opener. TIOCEXCL alone does not stop root, so the
        // lock is what makes the open exclusive for our own kind.
        err = errno == EWOULDBLOCK ? EBUSY : errno;
    } else if (ioctl(fd, TIOCEXCL) != 0 || !MakeRaw(fd) ||
               pipe2(port->wake, O_CLOEXEC | O_NONBLOCK) != 0 ||
               pipe2(port->cancel, O_CLOEXEC | O_NONBLOCK) != 0) {
        err = errno;
    }
    if (err != 0) {
        if (err == EBUSY) {
            close(fd); // the exclusive flag belongs to the other opener
            port->fd = -1;
        }
        port.reset();
        return fail(err);
    }

    // The DCB starts as Windows reports a freshly opened port, with what the
    // device knows merged in.
    Dcb &dcb = port->dcb;
    dcb.fBinary = 1;
    dcb.fDtrControl = kDtrControlEnable;
    dcb.fRtsControl = kRtsControlEnable;
    dcb.XonLim = uint16_t(kReceiveBuffer / 2);
    dcb.XoffLim = uint16_t(kReceiveBuffer / 4);
    int lines = 0;
    if (ioctl(fd, TIOCMGET, &lines) == 0) {
        dcb.fDtrControl = (lines & TIOCM_DTR) ? kDtrControlEnable : kDtrControlDisable;
        dcb.fRtsControl = (lines & TIOCM_RTS) ? kRtsControlEnable : kRtsControlDisable;
    }
    MergeDeviceState(fd, dcb);
    port->counted = ReadLineCounts(fd, port->counts); // errors count from the open on

    if (error)
        *error = 0;
    return Ports().Add(port);
}

bool ClosePort(PortHandle handle) {
    std::shared_ptr<Port> port = Ports().Remove(handle);
    if (!port)
        return Fail(EBADF);
    port->closed = true;
    char one = 1;
    [[maybe_unused]] ssize_t woke = write(port->wake[1], &one, 1);
    // Let what the driver holds go out, within bounds, and drop the rest so
    // that close does not wait on a stalled line for the driver's own limit.
    Drain(*port);
    tcflush(port->fd, TCOFLUSH);
    return true; // the descriptor closes with the last user of the port
}

bool GetCommProperties(PortHandle handle, CommProperties &props) {
    if (!FindPort(handle))
        return false;
    props.dwMaxRxQueue = props.dwCurrentRxQueue = kReceiveBuffer;
    props.dwMaxTxQueue = props.dwCurrentTxQueue = TransmitBuffer();
    return true;
}

bool SetupComm(PortHandle handle, uint32_t inQueue, uint32_t outQueue) {
    if (!FindPort(handle))
        return false;
    if (inQueue > kReceiveBuffer || outQueue > TransmitBuffer())
        return Fail(EINVAL);
    return true;
}

bool GetCommState(PortHandle handle, Dcb &dcb) {
    auto port = FindPort(handle);
    if (!port)
        return false;
    Dcb state;
    {
        std::lock_guard<std::mutex> lock(port->m);
        state = port->dcb;
    }
    MergeDeviceState(port->fd, state);
    dcb = state;
    return true;
}

bool SetCommState(PortHandle handle, const Dcb &dcb) {
    auto port = FindPort(handle);
    if (!port)
        return false;
    std::lock_guard<std::mutex> lock(port->m);
    if (!ApplyDcb(port->fd, dcb))
        return false;
    port->dcb = dcb;
    port->dcb.DCBlength = sizeof(Dcb);
    return true;
}

bool GetCommTimeouts(PortHandle handle, CommTimeouts &timeouts) {
    auto port = FindPort(handle);
    if (!port)
        return false;
    std::lock_guard<std::mutex> lock(port->m);
    timeouts = port->timeouts;
    return true;
}

bool SetCommTimeouts(PortHandle handle, const CommTimeouts &timeouts) {
    auto port = FindPort(handle);
    if (!port)
        return false;
    std::lock_guard<std::mutex> lock(port->m);
    port->timeouts = timeouts;
    return true;
}

} // namespace plat
