// Arbitrary line rates through Linux's termios2 (BOTHER). Kept apart from the
// other serial files because the kernel's termios headers clash with the C
// library's <termios.h>.
#include "SerialPosix.h"

#include <errno.h>

#if defined(__linux__)
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>
#endif

namespace plat::posix {

#if defined(__linux__)

bool SetOtherBaud(int fd, uint32_t baud) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return false;
    tio.c_cflag &= ~tcflag_t(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ospeed = baud;
    tio.c_ispeed = baud;
    return ioctl(fd, TCSETS2, &tio) == 0;
}

bool GetOtherBaud(int fd, uint32_t &baud) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0 || (tio.c_cflag & CBAUD) != BOTHER)
        return false;
    baud = tio.c_ospeed;
    return true;
}

#else

bool SetOtherBaud(int, uint32_t) {
    errno = EINVAL;
    return false;
}

bool GetOtherBaud(int, uint32_t &) { return false; }

#endif

} // namespace plat::posix
