// Test-side client of vmodem: starts a vmodem process with its own control
// socket and store directory, sends control commands, collects its events,
// and opens its port as the DTE would. Failures throw std::runtime_error.
#pragma once

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace vmodem_client {

class CVmodem {
public:
    // Starts vmodem (VMODEM_PROGRAM) with --control and --store in a fresh
    // temporary directory, plus extraArgs (which hold no single quote);
    // returns once its port exists.
    explicit CVmodem(const std::vector<std::string> &extraArgs = {});
    ~CVmodem(); // Stop(), then removes the temporary directory
    CVmodem(const CVmodem &) = delete;
    CVmodem &operator=(const CVmodem &) = delete;

    const std::string &PortPath() const { return portPath_; }
    const std::string &Dir() const { return dir_; } // the temporary directory

    // Sends one control command; returns its reply line ("ok ..." or
    // "err ..."). Events arriving meanwhile are kept for WaitEvent.
    std::string Command(const std::string &line, int timeoutMs = 5000);
    // Command that must succeed: returns the reply's text after "ok".
    std::string Ok(const std::string &line);
    // Waits for the next event that starts with prefix (without "event ");
    // consumes it and every event before it. Empty on time-out.
    std::optional<std::string> WaitEvent(const std::string &prefix, int timeoutMs = 5000);
    // Ends vmodem with SIGTERM and returns its wait status (-1 when it was
    // not running). Idempotent.
    int Stop();

    // Parses "key=value key=value" into a map.
    static std::map<std::string, std::string> Fields(const std::string &text);

private:
    std::string dir_, portPath_, in_; // in_: what came from the control socket
    FILE *out_ = nullptr;             // vmodem's standard output
    pid_t pid_ = -1;
    int control_ = -1;
    std::vector<std::string> events_; // lines of the events not waited for yet
};

// vmodem's port seen from the DTE: opened raw; writes block while the modem
// does not take the bytes, and by default while it has sent XOFF.
class CPort {
public:
    explicit CPort(const std::string &path);
    ~CPort();
    CPort(const CPort &) = delete;
    CPort &operator=(const CPort &) = delete;

    // Raw, and whether output stops at XOFF (turning it off also ends a stop).
    void ObeyXoff(bool obey);
    void Write(std::string_view bytes);
    // Reads until what arrived contains needle; returns everything up to and
    // including it (the rest stays for the next read), or all that arrived
    // if the time ran out. An empty needle reads for the whole time.
    std::string ReadUntil(const std::string &needle, int timeoutMs = 5000);

private:
    int fd_ = -1;
    std::string buffered_;
};

// Reads a whole file; empty when it cannot be read.
std::string ReadWholeFile(const std::string &path);

} // namespace vmodem_client
