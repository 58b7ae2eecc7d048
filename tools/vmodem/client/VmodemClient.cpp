// Spawning and driving vmodem from tests.
#include "VmodemClient.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char **environ;

namespace vmodem_client {

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point end) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

} // namespace

const char *ProgramPath() {
    return VMODEM_PROGRAM;
}

std::string ReadWholeFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

CVmodem::CVmodem(const std::vector<std::string> &extraArgs) {
    char templ[] = "/tmp/vmodem-XXXXXX";
    if (!mkdtemp(templ))
        throw std::runtime_error("cannot make a temporary directory");
    dir_ = templ;
    controlPath_ = dir_ + "/control";
    storeDir_ = dir_ + "/store";

    // Ten times the line rate keeps the suite quick; every rule but time holds.
    std::vector<std::string> args = {ProgramPath(), "--control",     controlPath_, "--store",
                                     storeDir_,     "--clock-scale", "10"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("cannot make a pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) {
        close(out[0]);
        std::filesystem::remove_all(dir_);
        throw std::runtime_error(std::string("cannot start vmodem: ") + std::strerror(rc));
    }
    // The first line on stdout is the port path; the control socket exists by then.
    auto end = Clock::now() + std::chrono::seconds(10);
    std::string first;
    while (first.find('\n') == std::string::npos) {
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, MsLeft(end)) <= 0)
            break;
        char buf[256];
        ssize_t n = read(out[0], buf, sizeof buf);
        if (n <= 0)
            break;
        first.append(buf, size_t(n));
    }
    close(out[0]);
    if (first.find('\n') == std::string::npos) {
        Stop();
        std::filesystem::remove_all(dir_);
        throw std::runtime_error("vmodem did not start");
    }
    portPath_ = first.substr(0, first.find('\n'));

    control_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, controlPath_.c_str(), sizeof addr.sun_path - 1);
    if (control_ < 0 || connect(control_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        Stop();
        std::filesystem::remove_all(dir_);
        throw std::runtime_error("cannot connect to vmodem's control socket");
    }
}

CVmodem::~CVmodem() {
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

bool CVmodem::ReadLine(std::string &line, int timeoutMs) {
    auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        size_t eol = in_.find('\n');
        if (eol != std::string::npos) {
            line = in_.substr(0, eol);
            in_.erase(0, eol + 1);
            return true;
        }
        if (control_ < 0)
            return false;
        pollfd p{control_, POLLIN, 0};
        if (poll(&p, 1, MsLeft(end)) <= 0)
            return false;
        char buf[4096];
        ssize_t n = recv(control_, buf, sizeof buf, 0);
        if (n <= 0) {
            close(control_);
            control_ = -1;
            return false;
        }
        in_.append(buf, size_t(n));
    }
}

std::string CVmodem::Command(const std::string &line, int timeoutMs) {
    if (control_ < 0)
        throw std::runtime_error("vmodem's control connection is closed");
    std::string text = line + "\n";
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = send(control_, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            throw std::runtime_error("cannot send to vmodem: " + line);
        done += size_t(n);
    }
    auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string reply;
    while (ReadLine(reply, MsLeft(end))) {
        if (reply.rfind("event ", 0) == 0)
            events_.push_back(reply.substr(6));
        else
            return reply;
    }
    throw std::runtime_error("no reply from vmodem to: " + line);
}

std::string CVmodem::Ok(const std::string &line, int timeoutMs) {
    std::string reply = Command(line, timeoutMs);
    if (reply.rfind("ok", 0) != 0)
        throw std::runtime_error("vmodem refused \"" + line + "\": " + reply);
    return reply.size() > 3 ? reply.substr(3) : std::string();
}

void CVmodem::Drain(int timeoutMs) {
    std::string line;
    while (ReadLine(line, timeoutMs)) {
        if (line.rfind("event ", 0) == 0)
            events_.push_back(line.substr(6));
        timeoutMs = 0;
    }
}

std::optional<std::string> CVmodem::WaitEvent(const std::string &prefix, int timeoutMs) {
    auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t searched = 0;
    for (;;) {
        for (; searched < events_.size(); ++searched) {
            if (events_[searched].rfind(prefix, 0) == 0) {
                std::string found = events_[searched];
                events_.erase(events_.begin(), events_.begin() + long(searched) + 1);
                return found;
            }
        }
        std::string line;
        if (!ReadLine(line, MsLeft(end)))
            return std::nullopt;
        if (line.rfind("event ", 0) == 0)
            events_.push_back(line.substr(6));
    }
}

std::vector<std::string> CVmodem::TakeEvents() {
    Drain(0);
    std::vector<std::string> out;
    out.swap(events_);
    return out;
}

std::map<std::string, std::string> CVmodem::Fields(const std::string &text) {
    std::map<std::string, std::string> out;
    size_t i = 0;
    while (i < text.size()) {
        size_t end = text.find(' ', i);
        if (end == std::string::npos)
            end = text.size();
        std::string item = text.substr(i, end - i);
        size_t eq = item.find('=');
        if (eq != std::string::npos)
            out[item.substr(0, eq)] = item.substr(eq + 1);
        i = end + 1;
    }
    return out;
}

std::map<std::string, std::string> CVmodem::Report() {
    return Fields(Ok("report"));
}

bool CVmodem::WaitRx(unsigned long long count, int timeoutMs) {
    auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (std::stoull(Report()["rx"]) >= count)
            return true;
        if (Clock::now() >= end)
            return false;
        // vmodem has no event per read (that would flood at high rates), so poll gently.
        poll(nullptr, 0, 2);
    }
}

std::string CVmodem::Received() {
    std::string hex = Ok("rxhex");
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out += char(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

void CVmodem::Signal(int sig) {
    if (pid_ > 0)
        kill(pid_, sig);
}

std::optional<int> CVmodem::WaitExit(int timeoutMs) {
    if (pid_ <= 0)
        return std::nullopt;
    auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            pid_ = -1;
            return status;
        }
        if (r < 0 || Clock::now() >= end)
            return std::nullopt;
        poll(nullptr, 0, 2);
    }
}

void CVmodem::Stop() {
    if (pid_ > 0 && control_ >= 0) {
        try {
            Command("quit", 2000);
        } catch (const std::exception &) {
        }
    }
    if (pid_ > 0 && !WaitExit(3000)) {
        kill(pid_, SIGKILL);
        WaitExit(3000);
    }
    if (control_ >= 0) {
        close(control_);
        control_ = -1;
    }
}

CPort::CPort(const std::string &path, bool obeyXoff) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd_, TCSANOW, &tio);
    ObeyXoff(obeyXoff);
}

void CPort::ObeyXoff(bool obey) {
    termios tio{};
    tcgetattr(fd_, &tio);
    tio.c_iflag = obey ? tio.c_iflag | IXON : tio.c_iflag & ~tcflag_t(IXON);
    tcsetattr(fd_, TCSANOW, &tio);
}

CPort::~CPort() {
    if (fd_ >= 0)
        close(fd_);
}

void CPort::Write(std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += size_t(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            throw std::runtime_error(std::string("port write failed: ") + std::strerror(errno));
        } else {
            pollfd p{fd_, POLLOUT, 0};
            poll(&p, 1, 100);
        }
    }
}

void CPort::Fill(int waitMs) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, waitMs) <= 0)
        return;
    char buf[65536];
    ssize_t n;
    while ((n = read(fd_, buf, sizeof buf)) > 0)
        buffered_.append(buf, size_t(n));
}

std::string CPort::ReadUntil(const std::string &needle, int timeoutMs) {
    auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        size_t at = buffered_.find(needle);
        if (at != std::string::npos) {
            std::string out = buffered_.substr(0, at + needle.size());
            buffered_.erase(0, at + needle.size());
            return out;
        }
        int left = MsLeft(end);
        if (left == 0) {
            std::string out;
            out.swap(buffered_);
            return out;
        }
        Fill(left);
    }
}

std::string CPort::ReadFor(int ms) {
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    int left;
    while ((left = MsLeft(end)) > 0)
        Fill(left);
    std::string out;
    out.swap(buffered_);
    return out;
}

} // namespace vmodem_client
