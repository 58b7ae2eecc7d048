// Spawning and driving vmodem from tests.
#include "VmodemClient.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace vmodem_client {

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point After(int ms) {
    return Clock::now() + std::chrono::milliseconds(ms);
}

// Reads fd into buffered until that holds needle, then takes out and returns
// all up to and including it; takes and returns all there is once the time
// is out (an empty needle reads the whole time).
std::string ReadUntil(int fd, std::string &buffered, const std::string &needle,
                      Clock::time_point end) {
    size_t at = 0;
    char buf[65536];
    pollfd p{fd, POLLIN, 0};
    while (needle.empty() || (at = buffered.find(needle)) == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        ssize_t n =
            left.count() > 0 && poll(&p, 1, int(left.count())) > 0 ? read(fd, buf, sizeof buf) : 0;
        if (n <= 0 && Clock::now() >= end)
            return std::exchange(buffered, {});
        buffered.append(buf, size_t(std::max<ssize_t>(n, 0)));
    }
    std::string out = buffered.substr(0, at + needle.size());
    buffered.erase(0, at + needle.size());
    return out;
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
    // Ten times the line rate keeps the suite quick; every rule but time holds.
    // A later --clock-scale in extraArgs wins. The shell prints its process
    // id, which vmodem takes over, and vmodem its port once its control
    // socket exists.
    std::string command = "echo $$; exec " VMODEM_PROGRAM " --clock-scale 10 --control " + dir_ +
                          "/control --store " + dir_ + "/store";
    for (const std::string &arg : extraArgs)
        command += " '" + arg + "'";
    char line[512] = "";
    out_ = popen(command.c_str(), "re");
    pid_ = out_ && fgets(line, sizeof line, out_) ? std::atoi(line) : -1;
    if (pid_ > 0 && fgets(line, sizeof line, out_))
        portPath_.assign(line, std::strcspn(line, "\n"));
    sockaddr_un addr{AF_UNIX, {}};
    std::strncpy(addr.sun_path, (dir_ + "/control").c_str(), sizeof addr.sun_path - 1);
    control_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (portPath_.empty() || connect(control_, reinterpret_cast<sockaddr *>(&addr), sizeof addr)) {
        Stop();
        std::filesystem::remove_all(dir_);
        throw std::runtime_error("vmodem did not start");
    }
}

CVmodem::~CVmodem() {
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

std::string CVmodem::Command(const std::string &line, int timeoutMs) {
    std::string text = line + "\n", reply;
    if (send(control_, text.data(), text.size(), MSG_NOSIGNAL) != ssize_t(text.size()))
        throw std::runtime_error("cannot send to vmodem: " + line);
    for (auto end = After(timeoutMs);
         (reply = ReadUntil(control_, in_, "\n", end)).rfind("event ", 0) == 0;)
        events_.push_back(reply);
    if (!reply.ends_with('\n'))
        throw std::runtime_error("no reply from vmodem to: " + line);
    return reply.substr(0, reply.size() - 1);
}

std::string CVmodem::Ok(const std::string &line) {
    std::string reply = Command(line);
    if (reply.rfind("ok", 0) != 0)
        throw std::runtime_error("vmodem refused \"" + line + "\": " + reply);
    return reply.size() > 3 ? reply.substr(3) : std::string();
}

std::optional<std::string> CVmodem::WaitEvent(const std::string &prefix, int timeoutMs) {
    auto end = After(timeoutMs);
    for (size_t i = 0;; ++i) {
        std::string line = i < events_.size() ? events_[i] : ReadUntil(control_, in_, "\n", end);
        if (!line.ends_with('\n'))
            return std::nullopt;
        if (i == events_.size())
            events_.push_back(line);
        if (line.rfind("event " + prefix, 0) == 0) {
            events_.erase(events_.begin(), events_.begin() + long(i) + 1);
            return line.substr(6, line.size() - 7);
        }
    }
}

std::map<std::string, std::string> CVmodem::Fields(const std::string &text) {
    std::map<std::string, std::string> out;
    std::istringstream words(text);
    for (std::string w; words >> w;)
        if (size_t eq = w.find('='); eq != std::string::npos)
            out[w.substr(0, eq)] = w.substr(eq + 1);
    return out;
}

int CVmodem::Stop() {
    if (pid_ > 0)
        kill(pid_, SIGTERM);
    int status = out_ ? pclose(out_) : -1;
    close(control_);
    out_ = nullptr;
    pid_ = control_ = -1;
    return status;
}

CPort::CPort(const std::string &path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    if (fd_ < 0)
        throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    ObeyXoff(true);
}

CPort::~CPort() {
    close(fd_);
}

void CPort::ObeyXoff(bool obey) {
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tio.c_iflag = obey ? tio.c_iflag | IXON : tio.c_iflag & ~tcflag_t(IXON);
    tcsetattr(fd_, TCSANOW, &tio);
}

void CPort::Write(std::string_view bytes) {
    for (ssize_t n = 0; !bytes.empty(); bytes.remove_prefix(size_t(std::max<ssize_t>(n, 0))))
        if ((n = write(fd_, bytes.data(), bytes.size())) < 0 && errno != EINTR)
            throw std::runtime_error(std::string("port write failed: ") + std::strerror(errno));
}

std::string CPort::ReadUntil(const std::string &needle, int timeoutMs) {
    return vmodem_client::ReadUntil(fd_, buffered_, needle, After(timeoutMs));
}

} // namespace vmodem_client
