// Console keyboard on POSIX: standard input byte by byte, with a terminal put
// into raw mode and given back on every way out (ConsoleTerminal.cpp).
#include "platform/Keyboard.h"

#include "ConsoleTerminal.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace plat {
namespace {

volatile std::sig_atomic_t interrupted = 0;

// Ctrl+C ends the key loop the way Ctrl+Break ends the program on Windows,
// but through the program's own teardown, so the port is released. Any thread
// may take the signal: the pipe wakes the one waiting for a key.
void OnInterrupt(int) {
    const int saved = errno;
    interrupted = 1;
    term::Wake();
    errno = saved;
}

void DrainWakeFd() {
    char bytes[64];
    while (read(term::WakeFd(), bytes, sizeof bytes) > 0) {
    }
}

} // namespace

void RestoreKeyboard() {
    term::RestoreKeyboardMode();
}

const char *QuitKeyName() {
    return "Ctrl+C";
}

RawKeyboard::RawKeyboard() {
    term::InstallSignalHandlers();
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    termios saved{};
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved) != 0)
        return;
    termios raw = saved;
    // No echo, no line buffering, CR stays CR; Ctrl+C still raises SIGINT,
    // Ctrl+Z and the other suspend keys are keys for the modem.
    raw.c_lflag &= ~tcflag_t(ICANON | ECHO | IEXTEN);
    raw.c_iflag &= ~tcflag_t(ICRNL | IXON | INLCR | IGNCR);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    raw.c_cc[VSUSP] = _POSIX_VDISABLE;
    if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw) != 0)
        return;
    term::SetKeyboardModes(saved, raw);
    std::atexit(RestoreKeyboard);
}

RawKeyboard::~RawKeyboard() {
    RestoreKeyboard();
}

int RawKeyboard::GetKey() {
    for (;;) {
        if (interrupted)
            return -1;
        if (term::TakeTerminalChanged())
            return kTerminalChanged;
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {term::WakeFd(), POLLIN, 0}};
        if (poll(fds, fds[1].fd >= 0 ? 2 : 1, -1) < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (fds[1].revents & POLLIN) {
            DrainWakeFd();
            continue;
        }
        if (!fds[0].revents)
            continue;
        unsigned char c;
        const ssize_t n = read(STDIN_FILENO, &c, 1);
        if (n == 1)
            return c;
        if (n == 0 || errno != EINTR)
            return -1;
    }
}

} // namespace plat
