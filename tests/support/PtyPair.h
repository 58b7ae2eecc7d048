// A pseudo-terminal pair for tests: the engine opens the port path, the test
// drives the far end.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace testing_support {

class PtyPair {
public:
    PtyPair(); // opens a new pair; the far end is raw and non-blocking
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    const std::string &PortPath() const { return path_; }
    int FarFd() const { return master_; }
    // Writes all bytes to the far end.
    void Write(const std::string &bytes);
    // Reads what the engine sent until count bytes have arrived or timeoutMs
    // has passed; returns what arrived.
    std::string ReadAtLeast(size_t count, int timeoutMs = 5000);
    // Reads whatever arrives within ms.
    std::string ReadFor(int ms);
    // Closes the far end (the port then sees a hang-up).
    void CloseFar();

private:
    int master_ = -1;
    int keeper_ = -1; // keeps the device alive between the engine's opens
    std::string path_;
};

// Polls cond every millisecond until it holds or timeoutMs passes.
bool WaitUntil(const std::function<bool()> &cond, int timeoutMs = 5000);

// Runs a shell command and returns its standard output.
std::string RunCommand(const std::string &command);

} // namespace testing_support
