// What the POSIX serial files share: the table of open ports with the state
// that termios cannot hold (the DCB as applied, the time-outs, the error
// counters last seen), errno translation, and the termios helpers.
#pragma once

#include "platform/Serial.h"

#include <atomic>
#include <memory>
#include <mutex>

namespace plat::posix {

// The kernel's error counters that ClearCommError turns into line flags.
struct LineCounts {
    uint64_t overrun = 0, bufOverrun = 0, parity = 0, frame = 0, brk = 0;
};

// One open port. The descriptor is closed when the last user lets go, so a
// read still waiting on another thread never touches a reused descriptor;
// ClosePort sets closed and wakes such waits through the wake pipe.
struct Port {
    int fd = -1;
    int wake[2] = {-1, -1};
    int cancel[2] = {-1, -1}; // ends input waits without closing the port
    std::atomic<bool> closed{false};
    std::mutex m; // guards the fields below, never held across blocking I/O
    Dcb dcb;
    CommTimeouts timeouts;
    LineCounts counts;
    bool counted = false; // the driver keeps error counters (set at open)
    // When the last immediate character will have left the line, modelled as
    // on Windows, where it goes ahead of the queue: one character's time at
    // the port's rate. Until then the port refuses another and reports it
    // waiting (TXIM).
    double immediateSentMs = 0;

    Port() = default;
    Port(const Port &) = delete;
    Port &operator=(const Port &) = delete;
    ~Port();
};

// Waits up to ms (negative: no limit) for events on the port or for the port
// to be closed. 1 when the device is ready (revents filled), 0 on time-out,
// -1 when closed (errno ECANCELED) or on failure (errno set).
// With cancellable, CancelInputWait also ends the wait: the result is then
// kWaitCancelled.
constexpr int kWaitCancelled = 2;
int WaitPort(Port &port, short events, int64_t ms, short &revents, bool cancellable = false);

// The driver's transmit buffer: the serial core and the USB serial drivers
// keep one page per port.
uint32_t TransmitBuffer();

// Waits, within kFlushLimitMs, until the driver has sent what it holds.
bool Drain(Port &port);

// Milliseconds of a monotonic clock, with fractions.
double NowMs();

// Whether an immediate character is still waiting to be sent (port.m held).
bool ImmediatePending(const Port &port);

// The open port behind a handle; null (with errno EBADF) when there is none.
std::shared_ptr<Port> FindPort(PortHandle port);

// Win32 code for an errno value.
uint32_t SystemError(int err);

// Fails a call with the errno value err; returns false for brevity.
bool Fail(int err);

// termios side of the DCB (SerialTermios.cpp).
// Turns the device raw, keeping its line settings and flow control.
bool MakeRaw(int fd);
// Applies the DCB; on refusal restores the previous settings (errno set).
bool ApplyDcb(int fd, const Dcb &dcb);
// Overwrites the fields that the device itself reports.
void MergeDeviceState(int fd, Dcb &dcb);

// Rates without a B constant (SerialBaud.cpp; Linux termios2).
bool SetOtherBaud(int fd, uint32_t baud);
// The device's output rate when it was set as an arbitrary rate.
bool GetOtherBaud(int fd, uint32_t &baud);

// Reads the kernel's error counters; false where the driver keeps none.
bool ReadLineCounts(int fd, LineCounts &counts);
// Whether the counters have moved since ClearCommError last read them.
bool NewLineErrors(Port &port);

} // namespace plat::posix
