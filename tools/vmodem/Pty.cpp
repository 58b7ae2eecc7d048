// Pseudo-terminal set-up for vmodem.
#include "Pty.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace vmodem {

CPty::CPty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
        throw std::runtime_error(std::string("cannot open a pseudo-terminal: ") +
                                 std::strerror(errno));
    const char *name = ptsname(master_);
    if (!name)
        throw std::runtime_error("pseudo-terminal has no name");
    slavePath_ = name;
    // vmodem keeps the slave open itself: while no client has it open the
    // master would otherwise report hang-ups and lose what was written.
    keeper_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (keeper_ < 0)
        throw std::runtime_error("cannot open " + slavePath_ + ": " + std::strerror(errno));
    // Raw from the start: a line discipline that echoed or cooked would
    // corrupt the conversation before the client sets its own modes.
    termios tio{};
    tcgetattr(keeper_, &tio);
    cfmakeraw(&tio);
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    tcsetattr(keeper_, TCSANOW, &tio);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

CPty::~CPty() {
    if (!link_.empty())
        unlink(link_.c_str());
    if (keeper_ >= 0)
        close(keeper_);
    if (master_ >= 0)
        close(master_);
}

bool CPty::DteObeysXoff() const {
    // The master shares the slave's settings: IXON there is the DTE's
    // driver stopping its output on XOFF.
    termios t{};
    return tcgetattr(master_, &t) == 0 && (t.c_iflag & IXON) != 0;
}

void CPty::FlushToDte() {
    tcflush(keeper_, TCIFLUSH);
}

void CPty::Link(const std::string &link) {
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode))
            throw std::runtime_error(link + " exists and is not a symbolic link");
        unlink(link.c_str());
    }
    if (symlink(slavePath_.c_str(), link.c_str()) != 0)
        throw std::runtime_error("cannot link " + link + ": " + std::strerror(errno));
    link_ = link;
}

} // namespace vmodem
