// The open ports of the Win32 backend, by our own handles (PortTable.h).
#pragma once

#include <windows.h>

#include <memory>

#include "platform/Serial.h"

namespace plat {

struct Win32Port;

// A port in use by one call, or one operation: its system handle stays open
// while this lives. A handle that is not open gives a null system handle,
// which the system refuses with ERROR_INVALID_HANDLE.
class HeldPort {
public:
    explicit HeldPort(PortHandle port);
    operator HANDLE() const;

private:
    std::shared_ptr<Win32Port> port_;
};

// Takes an opened system handle into the table.
PortHandle AddPort(HANDLE h);
// Takes the port out of the table and ends the I/O other threads wait for on
// it; its system handle is closed when the last user lets go. False when the
// handle is not open.
bool RemovePort(PortHandle port);

} // namespace plat
