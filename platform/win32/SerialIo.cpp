// Overlapped reads, writes and the status-insertion request on Win32. Each
// operation has its own OVERLAPPED record and event, which never leave this
// file; the port's time-outs end the waits.
#include "platform/Serial.h"

#include <windows.h>

#include "Win32Port.h"

namespace plat {

namespace {

// IOCTL_SERIAL_LSRMST_INSERT from the driver kit's serial header.
constexpr DWORD kLsrMstInsert = 0x1B007C;

// Wine completes a read whose time-out ran out with no data with
// ERROR_TIMEOUT, where Windows reports success with 0 bytes (and Wine may do
// the same for a write that timed out). A time-out is no failure here: the
// caller gets the bytes moved, possibly none, and result 0.
bool IsTimeout(DWORD error) {
    return error == ERROR_TIMEOUT;
}

// The checks both backends make before touching the device: no handle, and
// a buffer missing for a non-empty request.
uint32_t CheckRequest(PortHandle port, const void *buffer, uint32_t n) {
    if (port == kInvalidPort || port == 0)
        return kErrInvalidHandle;
    if (n && !buffer)
        return kErrInvalidParameter;
    return 0;
}

// One overlapped operation with its own manual-reset event.
class Overlapped {
public:
    Overlapped() { record_.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr); }
    ~Overlapped() {
        if (record_.hEvent)
            CloseHandle(record_.hEvent);
    }
    Overlapped(const Overlapped &) = delete;
    Overlapped &operator=(const Overlapped &) = delete;
    bool Ready() const { return record_.hEvent != nullptr; }
    OVERLAPPED *Record() { return &record_; }

    // Completes an operation that was started: waits for its event, then
    // fetches its outcome. Returns 0, or kErrCompletionFailed with count the
    // bytes moved. The end of the data (ERROR_HANDLE_EOF) is no failure.
    uint32_t Complete(HANDLE h, DWORD &count) {
        DWORD wait = WaitForSingleObject(record_.hEvent, INFINITE);
        if (wait != WAIT_OBJECT_0 && wait != WAIT_TIMEOUT) {
            Abandon(h);
            return kErrCompletionFailed;
        }
        if (GetOverlappedResult(h, &record_, &count, FALSE))
            return 0;
        if (IsTimeout(GetLastError()))
            return 0;
        if (GetLastError() == ERROR_HANDLE_EOF) {
            if (!GetOverlappedResult(h, &record_, &count, FALSE))
                count = 0;
            return 0;
        }
        if (GetLastError() == ERROR_IO_INCOMPLETE)
            Abandon(h); // still running: it must not outlive the record
        return kErrCompletionFailed;
    }

private:
    // Cancels the operation and waits until the system has let go of the
    // record and the buffer.
    void Abandon(HANDLE h) {
        DWORD ignored = 0;
        CancelIoEx(h, &record_);
        GetOverlappedResult(h, &record_, &ignored, TRUE);
    }

    OVERLAPPED record_{};
};

} // namespace

uint32_t ReadPort(PortHandle port, void *buffer, uint32_t n, uint32_t *got) {
    uint32_t ignored = 0;
    uint32_t &count = got ? *got : ignored;
    count = 0;
    if (uint32_t bad = CheckRequest(port, buffer, n))
        return bad;
    if (n == 0) // a zero-byte overlapped read may wait for data on some drivers
        return 0;
    HeldPort held(port); // open until the operation is done
    HANDLE h = held;
    Overlapped op;
    if (!op.Ready())
        return GetLastError();
    DWORD bytes = 0;
    if (ReadFile(h, buffer, n, &bytes, op.Record())) {
        count = bytes;
        return 0;
    }
    DWORD error = GetLastError();
    if (error == ERROR_HANDLE_EOF || IsTimeout(error)) {
        if (GetOverlappedResult(h, op.Record(), &bytes, FALSE))
            count = bytes;
        return 0;
    }
    if (error != ERROR_IO_PENDING)
        return error;
    uint32_t result = op.Complete(h, bytes);
    count = bytes;
    return result;
}

uint32_t WritePort(PortHandle port, const void *data, uint32_t n, uint32_t *written) {
    uint32_t ignored = 0;
    uint32_t &count = written ? *written : ignored;
    count = 0;
    if (uint32_t bad = CheckRequest(port, data, n))
        return bad;
    if (n == 0)
        return 0;
    HeldPort held(port); // open until the operation is done
    HANDLE h = held;
    Overlapped op;
    if (!op.Ready())
        return kErrInvalidHandle;
    DWORD bytes = 0;
    if (WriteFile(h, data, n, &bytes, op.Record())) {
        count = bytes;
        return 0;
    }
    DWORD error = GetLastError();
    if (IsTimeout(error))
        return 0;
    if (error != ERROR_IO_PENDING)
        return error;
    uint32_t result = op.Complete(h, bytes);
    count = bytes;
    return result;
}

bool DisableStatusInsertion(PortHandle port) {
    HeldPort held(port); // open until the operation is done
    HANDLE h = held;
    Overlapped op;
    if (!op.Ready())
        return false;
    BYTE off = 0;
    DWORD returned = 0;
    if (DeviceIoControl(h, kLsrMstInsert, &off, 1, nullptr, 0, &returned, op.Record()))
        return true;
    if (GetLastError() != ERROR_IO_PENDING)
        return false;
    return GetOverlappedResult(h, op.Record(), &returned, TRUE) != 0;
}

} // namespace plat
