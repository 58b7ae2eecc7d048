// Open ports by handle, for both serial backends. A handle is given out once
// per open and not again while the process runs (the count starts over only
// after 2^31 opens, passing over handles in use), so a worker still holding
// the handle of a port that another thread closed finds nothing: never
// another port, nor an object that took over the same system handle or
// descriptor. Users hold the port while they use it; its system handle or
// descriptor is closed when the last of them lets go.
#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "platform/Serial.h"

namespace plat {

template <typename Port> class PortTable {
public:
    PortHandle Add(std::shared_ptr<Port> port) {
        std::lock_guard<std::mutex> lock(m_);
        do
            last_ = last_ >= kLastHandle ? 1 : last_ + 1;
        while (ports_.count(last_));
        ports_[last_] = std::move(port);
        return last_;
    }
    // The open port behind the handle, or null.
    std::shared_ptr<Port> Find(PortHandle handle) const {
        std::lock_guard<std::mutex> lock(m_);
        auto it = ports_.find(handle);
        return it == ports_.end() ? nullptr : it->second;
    }
    // Takes the port out of the table; null when the handle is not open.
    std::shared_ptr<Port> Remove(PortHandle handle) {
        std::lock_guard<std::mutex> lock(m_);
        auto it = ports_.find(handle);
        if (it == ports_.end())
            return nullptr;
        std::shared_ptr<Port> port = std::move(it->second);
        ports_.erase(it);
        return port;
    }

private:
    static constexpr PortHandle kLastHandle = 0x7FFFFFFF; // handles fit an int
    mutable std::mutex m_;
    std::map<PortHandle, std::shared_ptr<Port>> ports_;
    PortHandle last_ = 0;
};

} // namespace plat
