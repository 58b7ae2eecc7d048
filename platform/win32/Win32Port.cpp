// The open ports of the Win32 backend, by our own handles.
#include "Win32Port.h"
#include "../common/PortTable.h"
#include "Win32Calls.h"

namespace plat {

struct Win32Port {
    explicit Win32Port(HANDLE handle) : h(handle) {}
    ~Win32Port() { checked::ClosePort(h); }
    Win32Port(const Win32Port &) = delete;
    Win32Port &operator=(const Win32Port &) = delete;
    HANDLE h;
};

namespace {
// Never destroyed: a worker may still look a port up while the process exits.
PortTable<Win32Port> &Ports() {
    static auto *table = new PortTable<Win32Port>;
    return *table;
}
} // namespace

HeldPort::HeldPort(PortHandle port) : port_(Ports().Find(port)) {}

HeldPort::operator HANDLE() const {
    return port_ ? port_->h : nullptr;
}

PortHandle AddPort(HANDLE h) {
    return Ports().Add(std::make_shared<Win32Port>(h));
}

bool RemovePort(PortHandle port) {
    std::shared_ptr<Win32Port> removed = Ports().Remove(port);
    if (!removed)
        return false;
    CancelIoEx(removed->h, nullptr); // reads and writes of other threads end now
    return true;
}

} // namespace plat
