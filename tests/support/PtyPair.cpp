// Pseudo-terminal pairs for the tests.
#include "PtyPair.h"

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
    CloseFar();
}

void PtyPair::Write(const std::string &bytes) {
    for (size_t done = 0; done < bytes.size();) {
        ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
        pollfd p{master_, POLLOUT, 0};
        if (n > 0)
            done += size_t(n);
        else
            poll(&p, 1, 10);
    }
}

// Reads what arrives until count bytes have or timeoutMs has passed.
std::string PtyPair::ReadAtLeast(size_t count, int timeoutMs) {
    std::string out;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buf[4096];
    while (out.size() < count && std::chrono::steady_clock::now() < end) {
        pollfd p{master_, POLLIN, 0};
        ssize_t n = poll(&p, 1, 5) > 0 ? read(master_, buf, sizeof buf) : 0;
        out.append(buf, size_t(n > 0 ? n : 0));
    }
    return out;
}

std::string PtyPair::ReadFor(int ms) {
    return ReadAtLeast(SIZE_MAX, ms);
}

void PtyPair::CloseFar() {
    for (int *fd : {&keeper_, &master_})
        if (*fd >= 0)
            close(*fd), *fd = -1;
}

} // namespace testing_support
