// The DCB in termios terms: raw mode, line rate, character format, XON/XOFF
// and CTS/RTS flow control, and the DTR and RTS lines.
#include "SerialPosix.h"

#include <errno.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#if defined(__linux__)
#include <sys/sysmacros.h>
#endif

namespace plat::posix {

namespace {

struct Speed {
    speed_t constant;
    uint32_t baud;
};

constexpr Speed kSpeeds[] = {
    {B50, 50},           {B75, 75},           {B110, 110},         {B134, 134},
    {B150, 150},         {B200, 200},         {B300, 300},         {B600, 600},
    {B1200, 1200},       {B1800, 1800},       {B2400, 2400},       {B4800, 4800},
    {B9600, 9600},       {B19200, 19200},     {B38400, 38400},
#ifdef B57600
    {B57600, 57600},
#endif
#ifdef B115200
    {B115200, 115200},
#endif
#ifdef B230400
    {B230400, 230400},
#endif
#ifdef B460800
    {B460800, 460800},
#endif
#ifdef B500000
    {B500000, 500000},   {B576000, 576000},   {B921600, 921600},   {B1000000, 1000000},
    {B1152000, 1152000}, {B1500000, 1500000}, {B2000000, 2000000},
#endif
#ifdef B2500000
    {B2500000, 2500000}, {B3000000, 3000000}, {B3500000, 3500000}, {B4000000, 4000000},
#endif
};

bool SpeedConstant(uint32_t baud, speed_t &out) {
    for (const Speed &s : kSpeeds)
        if (s.baud == baud) {
            out = s.constant;
            return true;
        }
    return false;
}

// The device's output rate, whether set by constant or as an arbitrary rate.
bool DeviceBaud(int fd, const termios &t, uint32_t &baud) {
    speed_t constant = cfgetospeed(&t);
    for (const Speed &s : kSpeeds)
        if (s.constant == constant) {
            baud = s.baud;
            return true;
        }
    return GetOtherBaud(fd, baud);
}

#ifdef CMSPAR
constexpr tcflag_t kMarkSpace = CMSPAR;
#else
constexpr tcflag_t kMarkSpace = 0;
#endif

constexpr tcflag_t kFormatBits = CSIZE | CSTOPB | PARENB | PARODD | kMarkSpace | CRTSCTS;

// Character size and parity that a Linux pseudo-terminal keeps to itself:
// it has no line, and recent kernels force CS8 without parity on it.
tcflag_t LineOnlyBits(int fd) {
#if defined(__linux__)
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 &&
        major(st.st_rdev) <= 143)
        return CSIZE | PARENB;
#else
    (void)fd;
#endif
    return 0;
}

void Raw(termios &t) {
    t.c_iflag &= ~tcflag_t(BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXANY);
    // A UART receives a break as a NUL that it flags; the driver still counts
    // the break for ClearCommError, but the NUL must not reach the data, as
    // it does not on Windows.
    t.c_iflag |= IGNBRK;
#ifdef IUCLC
    t.c_iflag &= ~tcflag_t(IUCLC);
#endif
#ifdef IMAXBEL
    t.c_iflag &= ~tcflag_t(IMAXBEL);
#endif
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN | TOSTOP);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
}

bool Valid(const Dcb &dcb) {
    if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > kSpaceParity ||
        dcb.StopBits > kTwoStopBits)
        return false;
    // The combinations that Windows refuses too.
    if (dcb.StopBits == kOne5StopBits && dcb.ByteSize != 5)
        return false;
    if (dcb.StopBits == kTwoStopBits && dcb.ByteSize == 5)
        return false;
    // Windows refuses equal start and stop characters whether or not software
    // flow control is on; so do we, or code that only works here would pass.
    if (dcb.XonChar == dcb.XoffChar)
        return false;
    if ((dcb.Parity == kMarkParity || dcb.Parity == kSpaceParity) && kMarkSpace == 0)
        return false;
    return true;
}

// Within the 3% that a UART tolerates: drivers write back the rate they made.
bool CloseEnough(uint32_t asked, uint32_t got) {
    uint64_t diff = asked > got ? asked - got : got - asked;
    return diff * 100 <= uint64_t(asked) * 3;
}

void SetLine(int fd, int bit, bool on) {
    // Pseudo-terminals have no modem lines: the failure is not the state's.
    ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bit);
}

} // namespace

bool MakeRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return false;
    Raw(t);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

bool ApplyDcb(int fd, const Dcb &dcb) {
    if (!Valid(dcb))
        return Fail(EINVAL);
    termios old{};
    if (tcgetattr(fd, &old) != 0)
        return false;
    uint32_t oldOther = 0;
    bool hadOther = GetOtherBaud(fd, oldOther);

    termios t = old;
    Raw(t);
    t.c_cflag &= ~kFormatBits;
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= kSizes[dcb.ByteSize - 5];
    if (dcb.StopBits != kOneStopBit)
        t.c_cflag |= CSTOPB; // with 5 data bits a UART makes that 1.5
    switch (dcb.Parity) {
    case kOddParity:
        t.c_cflag |= PARENB | PARODD;
        break;
    case kEvenParity:
        t.c_cflag |= PARENB;
        break;
    case kMarkParity:
        t.c_cflag |= PARENB | PARODD | kMarkSpace;
        break;
    case kSpaceParity:
        t.c_cflag |= PARENB | kMarkSpace;
        break;
    default:
        break;
    }
    if (dcb.fOutxCtsFlow || dcb.fRtsControl == kRtsControlHandshake)
        t.c_cflag |= CRTSCTS;
    t.c_iflag &= ~tcflag_t(IXON | IXOFF | INPCK | IGNPAR);
    if (dcb.fOutX)
        t.c_iflag |= IXON;
    if (dcb.fInX)
        t.c_iflag |= IXOFF;
    if (dcb.fParity)
        t.c_iflag |= INPCK;
    t.c_cc[VSTART] = cc_t(dcb.XonChar);
    t.c_cc[VSTOP] = cc_t(dcb.XoffChar);

    speed_t constant;
    bool standard = SpeedConstant(dcb.BaudRate, constant);
    if (standard) {
        cfsetispeed(&t, constant);
        cfsetospeed(&t, constant);
    }

    bool applied = tcsetattr(fd, TCSANOW, &t) == 0 && (standard || SetOtherBaud(fd, dcb.BaudRate));
    int err = errno;
    if (applied) {
        // tcsetattr succeeds when any part was taken: check that all was.
        termios now{};
        uint32_t baud = 0;
        tcflag_t checked = kFormatBits & ~LineOnlyBits(fd);
        applied = tcgetattr(fd, &now) == 0 && (now.c_cflag & checked) == (t.c_cflag & checked) &&
                  DeviceBaud(fd, now, baud) && CloseEnough(dcb.BaudRate, baud);
        err = EINVAL;
    }
    if (!applied) {
        tcsetattr(fd, TCSANOW, &old);
        if (hadOther)
            SetOtherBaud(fd, oldOther);
        return Fail(err);
    }

    SetLine(fd, TIOCM_DTR, dcb.fDtrControl != kDtrControlDisable);
    SetLine(fd, TIOCM_RTS, dcb.fRtsControl != kRtsControlDisable);
    return true;
}

void MergeDeviceState(int fd, Dcb &dcb) {
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return;
    uint32_t baud;
    if (DeviceBaud(fd, t, baud))
        dcb.BaudRate = baud;
    if (!LineOnlyBits(fd)) { // else the DCB's own format is the only one there is
        switch (t.c_cflag & CSIZE) {
        case CS5:
            dcb.ByteSize = 5;
            break;
        case CS6:
            dcb.ByteSize = 6;
            break;
        case CS7:
            dcb.ByteSize = 7;
            break;
        default:
            dcb.ByteSize = 8;
            break;
        }
        if (!(t.c_cflag & PARENB))
            dcb.Parity = kNoParity;
        else if (t.c_cflag & kMarkSpace)
            dcb.Parity = (t.c_cflag & PARODD) ? kMarkParity : kSpaceParity;
        else
            dcb.Parity = (t.c_cflag & PARODD) ? kOddParity : kEvenParity;
    }
    if (!(t.c_cflag & CSTOPB))
        dcb.StopBits = kOneStopBit;
    else
        dcb.StopBits = dcb.ByteSize == 5 ? kOne5StopBits : kTwoStopBits;
    dcb.fParity = (t.c_iflag & INPCK) != 0;
    dcb.fOutX = (t.c_iflag & IXON) != 0;
    dcb.fInX = (t.c_iflag & IXOFF) != 0;
    dcb.XonChar = char(t.c_cc[VSTART]);
    dcb.XoffChar = char(t.c_cc[VSTOP]);
    if (t.c_cflag & CRTSCTS) {
        if (!dcb.fOutxCtsFlow && dcb.fRtsControl != kRtsControlHandshake)
            dcb.fOutxCtsFlow = 1;
    } else {
        dcb.fOutxCtsFlow = 0;
        if (dcb.fRtsControl == kRtsControlHandshake)
            dcb.fRtsControl = kRtsControlEnable;
    }
    dcb.fBinary = 1; // there is no other mode
}

} // namespace plat::posix
