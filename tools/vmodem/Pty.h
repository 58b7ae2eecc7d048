// The pseudo-terminal vmodem answers on: a raw, non-blocking master, the
// slave's path, and optionally a symbolic link to it.
#pragma once

#include <string>

namespace vmodem {

class CPty {
public:
    CPty(); // throws on failure
    ~CPty();
    CPty(const CPty &) = delete;
    CPty &operator=(const CPty &) = delete;

    int MasterFd() const { return master_; }
    const std::string &SlavePath() const { return slavePath_; }
    // Makes link point at the slave (replacing an old link); removed again on destruction.
    void Link(const std::string &link);
    // Whether the DTE has set its side to stop sending on XOFF.
    bool DteObeysXoff() const;
    // Drops what was written to the DTE and not read yet.
    void FlushToDte();

private:
    int master_ = -1;
    int keeper_ = -1;
    std::string slavePath_;
    std::string link_;
};

} // namespace vmodem
