// Printer-driver enumeration: the drivers the CUPS scheduler lists
// (`lpinfo -m`), asked through its command-line client so that no print
// library is linked. No client, no scheduler, or no answer in time: no drivers.
#include "platform/Printers.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace plat {

namespace {

constexpr size_t kMaxListing = 1 << 20; // a sane bound on the listing read

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

pid_t SpawnLister(int out) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    if (posix_spawn_file_actions_init(&actions) != 0)
        return -1;
    if (posix_spawnattr_init(&attr) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return -1;
    }
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out, 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // Its own process group, so that a time-out ends it with whatever it
    // started; signals as a fresh program expects them.
    sigset_t none;
    sigset_t defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                        POSIX_SPAWN_SETSIGDEF);

    char name[] = "lpinfo";
    char option[] = "-m";
    char *argv[] = {name, option, nullptr};
    pid_t pid = -1;
    // The administrative tools often live outside a user's PATH.
    if (posix_spawnp(&pid, "lpinfo", &actions, &attr, argv, environ) != 0 &&
        posix_spawn(&pid, "/usr/sbin/lpinfo", &actions, &attr, argv, environ) != 0)
        pid = -1;
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Waits for the child until the deadline, then ends its group; true when it
// ended by itself with status 0.
bool Reap(pid_t pid, Clock::time_point deadline) {
    int status = 0;
    for (;;) {
        const pid_t got = waitpid(pid, &status, WNOHANG);
        if (got == pid)
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (got < 0 && errno != EINTR)
            return false; // already reaped elsewhere (SIGCHLD ignored)
        if (MsLeft(deadline) == 0)
            break;
        poll(nullptr, 0, 5);
    }
    kill(-pid, SIGKILL);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return false;
}

// The listing of `lpinfo -m`, or empty.
std::string QueryDrivers(uint32_t timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return {};
    const pid_t pid = SpawnLister(fds[1]);
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return {};
    }
    std::string listing;
    bool complete = false;
    char chunk[4096];
    while (listing.size() < kMaxListing) {
        pollfd pfd{fds[0], POLLIN, 0};
        const int ready = poll(&pfd, 1, MsLeft(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break; // no answer in time
        const ssize_t got = read(fds[0], chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            complete = got == 0;
            break;
        }
        listing.append(chunk, static_cast<size_t>(got));
    }
    close(fds[0]);
    const bool succeeded = Reap(pid, complete ? deadline : Clock::now());
    return complete && succeeded ? listing : std::string();
}

// The first word of every line: the driver's name.
std::vector<std::string> DriverNames(const std::string &listing) {
    std::vector<std::string> names;
    size_t at = 0;
    while (at < listing.size()) {
        size_t end = listing.find('\n', at);
        if (end == std::string::npos)
            end = listing.size();
        const size_t first = listing.find_first_not_of(" \t\r", at);
        if (first < end) {
            size_t last = listing.find_first_of(" \t\r", first);
            if (last > end)
                last = end;
            names.push_back(listing.substr(first, last - first));
        }
        at = end + 1;
    }
    return names;
}

} // namespace

bool EnumPrinterDrivers(void *buffer, uint32_t size, uint32_t *needed, uint32_t *count,
                        uint32_t timeoutMs) {
    std::vector<std::string> names;
    try {
        names = DriverNames(QueryDrivers(timeoutMs));
    } catch (...) {
        names.clear();
    }
    uint64_t need = 0;
    for (const std::string &name : names)
        need += name.size() + 1;
    if (needed != nullptr)
        *needed = static_cast<uint32_t>(need);
    if (count != nullptr)
        *count = 0;
    if (need > size || (need > 0 && buffer == nullptr))
        return false;
    char *out = static_cast<char *>(buffer);
    for (const std::string &name : names) {
        std::memcpy(out, name.c_str(), name.size() + 1);
        out += name.size() + 1;
    }
    if (count != nullptr)
        *count = static_cast<uint32_t>(names.size());
    return true;
}

} // namespace plat
