// Pseudo-terminal pairs for the tests.
#include "PtyPair.h"

#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace testing_support {

PtyPair::PtyPair() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
        throw std::runtime_error("cannot open a pseudo-terminal");
    path_ = ptsname(master_);
    termios tio{};
    tcgetattr(master_, &tio);
    cfmakeraw(&tio);
    tcsetattr(master_, TCSANOW, &tio);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    // Holding the slave open keeps the far end from seeing hang-ups when the
    // engine closes and reopens the port.
    keeper_ = open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
}

PtyPair::~PtyPair() {
    if (keeper_ >= 0)
        close(keeper_);
    if (master_ >= 0)
        close(master_);
}

void PtyPair::Write(const std::string &bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += size_t(n);
        } else {
            pollfd p{master_, POLLOUT, 0};
            poll(&p, 1, 10);
        }
    }
}

void PtyPair::Write(const std::vector<uint8_t> &bytes) {
    Write(std::string(bytes.begin(), bytes.end()));
}

namespace {

// Reads from fd until count bytes have arrived or ms have passed.
std::string ReadUntil(int fd, size_t count, int ms) {
    std::string out;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    char buf[4096];
    while (out.size() < count && std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        ssize_t n = poll(&p, 1, 5) > 0 ? read(fd, buf, sizeof buf) : 0;
        if (n > 0)
            out.append(buf, size_t(n));
    }
    return out;
}

} // namespace

std::string PtyPair::ReadAtLeast(size_t count, int timeoutMs) {
    return ReadUntil(master_, count, timeoutMs);
}

std::string PtyPair::ReadFor(int ms) {
    return ReadUntil(master_, SIZE_MAX, ms);
}

void PtyPair::CloseFar() {
    if (keeper_ >= 0)
        close(keeper_);
    keeper_ = -1;
    if (master_ >= 0)
        close(master_);
    master_ = -1;
}

} // namespace testing_support
