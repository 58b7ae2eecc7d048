// The store directory: every byte read from the port (rx.bin), every event
// (events.log), and the files of each fax page and voice transfer. Without a
// directory nothing is written.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace vmodem {

class CStore {
public:
    explicit CStore(std::string dir); // creates the directory; throws on failure
    ~CStore();
    CStore(const CStore &) = delete;
    CStore &operator=(const CStore &) = delete;

    bool Enabled() const { return !dir_.empty(); }
    void AppendRx(const uint8_t *data, size_t count);
    void Event(const std::string &line);
    // Writes kind-NNN.extension (NNN counts per kind and extension from 001);
    // returns the path, or "-" without a directory.
    std::string Keep(const std::string &kind, const std::string &extension,
                     std::string_view content);

private:
    std::string dir_;
    int rxFd_ = -1;
    int eventFd_ = -1;
    std::map<std::string, int> counters_;
};

} // namespace vmodem
