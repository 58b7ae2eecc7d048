// The terminal given back on every way out, and taken again after a stop.
// Everything a signal handler calls here is async-signal-safe: tcsetattr,
// write, sigaction, sigprocmask and raise on state set up beforehand.
#include "ConsoleTerminal.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <string_view>
#include <unistd.h>

namespace plat::term {
namespace {

termios savedMode;
termios rawMode;
std::atomic<bool> keyboardRaw{false};
std::atomic<int> screenFd{-1}; // the terminal drawn on in its alternate screen
std::atomic<bool> terminalChanged{false};
int wakePipe[2] = {-1, -1};

constexpr std::string_view kEnterScreen = "\x1b[?1049h\x1b[H\x1b[2J";
constexpr std::string_view kLeaveScreen = "\x1b[0m\x1b[r\x1b[?7h\x1b[?25h\x1b[?1049l";

void WriteAll(int fd, std::string_view bytes) {
    const char *text = bytes.data();
    size_t length = bytes.size();
    while (length > 0) {
        const ssize_t n = ::write(fd, text, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        text += n;
        length -= size_t(n);
    }
}

// The keyboard's mode and the screen the terminal shows, one way or the other.
void Switch(const termios &mode, std::string_view screen) {
    if (keyboardRaw)
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &mode);
    const int fd = screenFd;
    if (fd >= 0)
        WriteAll(fd, screen);
}

void GiveBack() {
    Switch(savedMode, kLeaveScreen);
}

void TakeAgain() {
    Switch(rawMode, kEnterScreen);
}

void OnEnd(int sig) {
    GiveBack();
    std::signal(sig, SIG_DFL);
    std::raise(sig); // delivered once this handler returns
}

void OnChange(int) {
    const int saved = errno;
    terminalChanged = true;
    Wake();
    errno = saved;
}

void Handle(int sig, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(sig, &action, nullptr);
}

// Stopped from outside: the terminal goes back to the shell while stopped,
// and is taken again (and everything redrawn) when the program continues.
void OnStop(int) {
    const int saved = errno;
    GiveBack();
    std::signal(SIGTSTP, SIG_DFL);
    sigset_t stop, previous;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &stop, &previous);
    std::raise(SIGTSTP);
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    Handle(SIGTSTP, OnStop);
    TakeAgain();
    OnChange(SIGCONT);
    errno = saved;
}

void LeaveAtExit() {
    LeaveAlternateScreen();
}

} // namespace

void SetKeyboardModes(const termios &saved, const termios &raw) {
    savedMode = saved;
    rawMode = raw;
    keyboardRaw = true;
}

void RestoreKeyboardMode() {
    if (keyboardRaw.exchange(false))
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedMode);
}

void EnterAlternateScreen(int fd) {
    int expected = -1;
    if (!screenFd.compare_exchange_strong(expected, fd))
        return;
    WriteAll(fd, kEnterScreen);
    static std::once_flag registered;
    std::call_once(registered, [] { std::atexit(LeaveAtExit); });
    InstallSignalHandlers();
}

void LeaveAlternateScreen() {
    const int fd = screenFd.exchange(-1);
    if (fd >= 0)
        WriteAll(fd, kLeaveScreen);
}

void InstallSignalHandlers() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        if (pipe(wakePipe) == 0) {
            for (int fd : wakePipe) {
                fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
                fcntl(fd, F_SETFD, FD_CLOEXEC);
            }
        }
        Handle(SIGTERM, OnEnd);
        Handle(SIGHUP, OnEnd);
        Handle(SIGTSTP, OnStop);
        Handle(SIGCONT, OnChange);
        Handle(SIGWINCH, OnChange);
    });
}

int WakeFd() {
    return wakePipe[0];
}

void Wake() {
    if (wakePipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] ssize_t n = ::write(wakePipe[1], &byte, 1);
    }
}

bool TakeTerminalChanged() {
    return terminalChanged.exchange(false);
}

} // namespace plat::term
