// Spawning and driving vmodem from tests.
#include "VmodemClient.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
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
#include <utility>

extern char **environ;

namespace vmodem_client {

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point After(int ms) {
    return Clock::now() + std::chrono::milliseconds(ms);
}

int MsLeft(Clock::time_point end) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

// Appends what fd has within ms; false when nothing came or it is closed.
bool ReadInto(int fd, std::string &to, int ms) {
    pollfd p{fd, POLLIN, 0};
    char buf[65536];
    ssize_t n = poll(&p, 1, ms) > 0 ? read(fd, buf, sizeof buf) : 0;
    if (n > 0)
        to.append(buf, size_t(n));
    return n > 0;
}

} // namespace

std::string ReadWholeFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

CVmodem::CVmodem(const std::vector<std::string> &extraArgs) {
    char templ[] = "/tmp/vmodem-XXXXXX";
    if (!mkdtemp(templ))
        throw std::runtime_error("cannot make a temporary directory");
    dir_ = templ;
    storeDir_ = dir_ + "/store";
    std::string controlPath = dir_ + "/control";

    // Ten times the line rate keeps the suite quick; every rule but time holds.
    // A later --clock-scale in extraArgs wins.
    std::vector<std::string> args = {VMODEM_PROGRAM, "--control",     controlPath, "--store",
                                     storeDir_,      "--clock-scale", "10"};
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
    // The first line on stdout is the port path; the control socket exists by then.
    FILE *banner = fdopen(out[0], "r");
    char line[512] = "";
    if (rc != 0)
        pid_ = -1;
    bool started = pid_ > 0 && fgets(line, sizeof line, banner);
    fclose(banner);
    control_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, controlPath.c_str(), sizeof addr.sun_path - 1);
    if (!started || connect(control_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        Stop();
        std::filesystem::remove_all(dir_);
        throw std::runtime_error("vmodem did not start");
    }
    portPath_ = std::string(line, std::strcspn(line, "\n"));
}

CVmodem::~CVmodem() {
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

bool CVmodem::Pump(int timeoutMs) {
    if (control_ < 0 || !ReadInto(control_, in_, timeoutMs))
        return false;
    for (size_t eol; (eol = in_.find('\n')) != std::string::npos; in_.erase(0, eol + 1)) {
        if (in_.rfind("event ", 0) == 0)
            events_.push_back(in_.substr(6, eol - 6));
        else
            replies_.push_back(in_.substr(0, eol));
    }
    return true;
}

std::string CVmodem::Command(const std::string &line, int timeoutMs) {
    std::string text = line + "\n";
    if (control_ < 0 ||
        send(control_, text.data(), text.size(), MSG_NOSIGNAL) != ssize_t(text.size()))
        throw std::runtime_error("cannot send to vmodem: " + line);
    for (auto end = After(timeoutMs); replies_.empty();)
        if (!Pump(MsLeft(end)))
            throw std::runtime_error("no reply from vmodem to: " + line);
    std::string reply = replies_.front();
    replies_.erase(replies_.begin());
    return reply;
}

std::string CVmodem::Ok(const std::string &line) {
    std::string reply = Command(line);
    if (reply.rfind("ok", 0) != 0)
        throw std::runtime_error("vmodem refused \"" + line + "\": " + reply);
    return reply.size() > 3 ? reply.substr(3) : std::string();
}

std::optional<std::string> CVmodem::WaitEvent(const std::string &prefix, int timeoutMs) {
    for (auto end = After(timeoutMs);;) {
        for (size_t i = 0; i < events_.size(); ++i)
            if (events_[i].rfind(prefix, 0) == 0) {
                std::string found = events_[i];
                events_.erase(events_.begin(), events_.begin() + long(i) + 1);
                return found;
            }
        if (!Pump(MsLeft(end)))
            return std::nullopt;
    }
}

std::map<std::string, std::string> CVmodem::Fields(const std::string &text) {
    std::map<std::string, std::string> out;
    for (size_t i = 0; i < text.size();) {
        size_t end = std::min(text.find(' ', i), text.size());
        size_t eq = text.find('=', i);
        if (eq < end)
            out[text.substr(i, eq - i)] = text.substr(eq + 1, end - eq - 1);
        i = end + 1;
    }
    return out;
}

int CVmodem::Stop() {
    int status = -1;
    if (pid_ > 0 && kill(pid_, SIGTERM) == 0)
        waitpid(pid_, &status, 0);
    pid_ = -1;
    if (control_ >= 0)
        close(control_);
    control_ = -1;
    return status;
}

CPort::CPort(const std::string &path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd_, TCSANOW, &tio);
    ObeyXoff(true);
}

void CPort::ObeyXoff(bool obey) {
    termios tio{};
    tcgetattr(fd_, &tio);
    tio.c_iflag = obey ? tio.c_iflag | IXON : tio.c_iflag & ~tcflag_t(IXON);
    tcsetattr(fd_, TCSANOW, &tio);
}

CPort::~CPort() {
    close(fd_);
}

void CPort::Write(std::string_view bytes) {
    for (size_t done = 0; done < bytes.size();) {
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

std::string CPort::ReadUntil(const std::string &needle, int timeoutMs) {
    for (auto end = After(timeoutMs);;) {
        size_t at = needle.empty() ? std::string::npos : buffered_.find(needle);
        if (at != std::string::npos) {
            std::string out = buffered_.substr(0, at + needle.size());
            buffered_.erase(0, at + needle.size());
            return out;
        }
        if (MsLeft(end) == 0)
            return std::exchange(buffered_, {});
        ReadInto(fd_, buffered_, MsLeft(end));
    }
}

} // namespace vmodem_client
