// Runs the emulator in a child process whose standard output is a terminal of
// a given size (or not a terminal at all) and reads what it draws.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Starts vt100_show with output to fd, input and errors to /dev/null, in the
// given locale.
pid_t Start(int outFd, const char *locale = "C.UTF-8") {
    pid_t pid = fork();
    if (pid == 0) {
        setenv("LC_ALL", locale, 1);
        int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDERR_FILENO);
        dup2(outFd, STDOUT_FILENO);
        execl(VT100_SHOW, VT100_SHOW, static_cast<char *>(nullptr));
        _exit(127);
    }
    return pid;
}

// Reads from fd until the child has ended and nothing more comes (10 s bound).
std::string ReadAll(int fd, pid_t pid) {
    std::string out;
    bool ended = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        int ready = poll(&p, 1, ended ? 100 : 1000);
        if (ready > 0 && (p.revents & POLLIN)) {
            char buffer[4096];
            ssize_t n = read(fd, buffer, sizeof buffer);
            if (n > 0) {
                out.append(buffer, size_t(n));
                continue;
            }
        }
        if (ended)
            break;
        int status = 0;
        ended = waitpid(pid, &status, WNOHANG) == pid;
        if (ready > 0 && !(p.revents & POLLIN) && ended)
            break;
    }
    if (!ended)
        waitpid(pid, nullptr, 0);
    return out;
}

// Runs vt100_show on a 100 x 30 pseudo-terminal and returns what it drew.
std::string OnATerminal(const char *locale) {
    int master = -1, slave = -1;
    winsize size{};
    size.ws_col = 100;
    size.ws_row = 30;
    if (openpty(&master, &slave, nullptr, nullptr, &size) != 0)
        return "openpty failed";
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    pid_t pid = Start(slave, locale);
    close(slave);
    const std::string out = ReadAll(master, pid);
    close(master);
    return out;
}

// On a terminal: its size, its alternate screen (left again at the end, the
// cursor visible and the wrap on), colours, and glyphs in its character set.
TEST(Terminal, DrawsOnTheTerminalsAlternateScreenInItsCharacterSet) {
    const std::string out = OnATerminal("C.UTF-8");
    EXPECT_EQ(out.rfind("\x1b[?1049h", 0), 0u) << out;
    EXPECT_NE(out.find("size 100 300 window 100 30"), std::string::npos) << out;
    EXPECT_NE(out.find("\x1b[0;91;44mred"), std::string::npos);
    EXPECT_NE(out.find("┌─┐"), std::string::npos);
    EXPECT_NE(out.find('\a'), std::string::npos);
    EXPECT_NE(out.find("\x1b[30;1H"), std::string::npos); // the window's last row
    EXPECT_EQ(out.find("\x1b[31;1H"), std::string::npos);
    EXPECT_NE(out.find("\x1b[?7h\x1b[?25h\x1b[?1049l"), std::string::npos);
    // Where the character set has no box drawing, lines fall back to ASCII
    // and nothing above 127 is written.
    const std::string ascii = OnATerminal("C");
    EXPECT_NE(ascii.find("+-+"), std::string::npos) << ascii;
    EXPECT_EQ(std::count_if(ascii.begin(), ascii.end(), [](char c) { return c & 0x80; }), 0);
}

TEST(Terminal, WithoutATerminalTheModelIs80By25) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = Start(fds[1]);
    close(fds[1]);
    const std::string out = ReadAll(fds[0], pid);
    close(fds[0]);
    EXPECT_NE(out.find("size 80 300 window 80 25"), std::string::npos) << out;
    EXPECT_EQ(out.find("\x1b[?1049h"), std::string::npos);
}

} // namespace
