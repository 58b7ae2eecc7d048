// Console keyboard on POSIX: standard input byte by byte, with a terminal put
// into raw mode and restored on every way out (normal end, exit, signals).
#include "platform/Keyboard.h"

#include <atomic>
#include <csignal>
#include <cerrno>
#include <cstdlib>
#include <termios.h>
#include <unistd.h>

namespace plat {
namespace {

termios savedMode;
std::atomic<bool> modeSaved{false};

volatile std::sig_atomic_t interrupted = 0;

// Ctrl+C ends the key loop the way Ctrl+Break ends the program on Windows,
// but through the program's own teardown, so the port is released.
void OnInterrupt(int) { interrupted = 1; }

void RestoreOnSignal(int sig) {
    RestoreKeyboard();
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

} // namespace

void RestoreKeyboard() {
    if (modeSaved.exchange(false))
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedMode);
}

RawKeyboard::RawKeyboard() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no restart: the blocked read returns
    sigaction(SIGINT, &action, nullptr);
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &savedMode) != 0)
        return;
    termios raw = savedMode;
    // No echo, no line buffering; Ctrl+C still raises SIGINT (our Ctrl+Break).
    raw.c_lflag &= ~tcflag_t(ICANON | ECHO | IEXTEN);
    raw.c_iflag &= ~tcflag_t(ICRNL | IXON | INLCR | IGNCR);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw) != 0)
        return;
    modeSaved = true;
    std::atexit(RestoreKeyboard);
    std::signal(SIGTERM, RestoreOnSignal);
    std::signal(SIGHUP, RestoreOnSignal);
}

RawKeyboard::~RawKeyboard() { RestoreKeyboard(); }

int RawKeyboard::GetKey() {
    unsigned char c;
    for (;;) {
        if (interrupted)
            return -1;
        ssize_t n = read(STDIN_FILENO, &c, 1);
        if (n == 1)
            return c;
        if (n == 0)
            return -1;
        if (errno != EINTR)
            return -1;
    }
}

} // namespace plat
