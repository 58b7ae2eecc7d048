// The pseudo-terminal pair of the port tests, rebuilt over a real serial
// device of the test machine: the engine opens the device, and the far end
// of its line is on the host, which writes what the test sends and keeps
// what arrives until the test asks for it. The port tests link this instead
// of PtyPair.cpp and run unchanged against the device.
//   FALCREST_TEST_PORT  the device (/dev/ttyS1, /dev/ttyUSB0)
//   FALCREST_TEST_FAR   the host's name for the far end (s1, u0)
//   FALCREST_TEST_HOST  the raw tty that carries the requests (/dev/ttyS2)
#include "Host.h"
#include "PtyPair.h"

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace vmtest {

namespace {

std::string Env(const char *name, const char *fallback) {
    const char *value = getenv(name);
    return value && *value ? value : fallback;
}

std::string Hex(const std::string &bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes)
        out += {digits[c >> 4], digits[c & 15]};
    return out;
}

std::string Unhex(const std::string &hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out += char(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

// The USB adapter's device node, or empty while there is none.
std::string Adapter() {
    std::string found;
    if (DIR *dir = opendir("/sys/bus/usb-serial/devices")) {
        while (dirent *e = readdir(dir))
            if (e->d_name[0] != '.')
                found = std::string("/dev/") + e->d_name;
        closedir(dir);
    }
    return found;
}

} // namespace

std::string Host(const std::string &request) {
    static std::mutex lock;
    static const int fd = open(Env("FALCREST_TEST_HOST", "/dev/ttyS2").c_str(), O_RDWR | O_NOCTTY);
    static FILE *answers = fdopen(fd, "r");
    std::lock_guard<std::mutex> guard(lock);
    std::string line = request + "\n", answer;
    if (!answers || write(fd, line.data(), line.size()) != ssize_t(line.size()))
        throw std::runtime_error("cannot reach the host");
    for (int c; (c = fgetc(answers)) != EOF && c != '\n';)
        answer += char(c);
    if (answer.compare(0, 2, "ok") != 0)
        throw std::runtime_error("host: " + answer + " (to: " + request.substr(0, 40) + ")");
    return answer.size() > 3 ? answer.substr(3) : "";
}

std::string FarLine() {
    return Env("FALCREST_TEST_FAR", "s1");
}

} // namespace vmtest

namespace testing_support {

using vmtest::FarLine;
using vmtest::Host;

PtyPair::PtyPair() : path_(vmtest::Env("FALCREST_TEST_PORT", "/dev/ttyS1")) {
    bool plug = access(path_.c_str(), F_OK) != 0; // an earlier test pulled the adapter out
    if (plug)
        Host("plug " + FarLine());
    // The far end's view of the port's settings, as a pty master gives it.
    // (A new adapter's node comes a little before its driver takes opens.)
    WaitUntil(
        [&] {
            path_ = plug ? vmtest::Adapter() : path_;
            return (master_ = open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) >= 0;
        },
        20000);
    if (master_ < 0)
        throw std::runtime_error("cannot open " + path_ + ": " + strerror(errno));
    // The device outlives the tests, unlike a fresh pty: each starts on a
    // plain line (a flow control left on would swallow the data's XON and
    // XOFF bytes), with nothing left over in either direction.
    termios t{};
    tcgetattr(master_, &t);
    cfmakeraw(&t);
    t.c_cflag = (t.c_cflag & ~tcflag_t(CRTSCTS)) | CLOCAL | CREAD;
    cfsetspeed(&t, B115200);
    tcsetattr(master_, TCSANOW, &t);
    tcflow(master_, TCOON);
    Host("drop " + FarLine() + " 20");
    tcflush(master_, TCIOFLUSH);
}

PtyPair::~PtyPair() {
    if (master_ >= 0)
        close(master_);
}

void PtyPair::Write(const std::string &bytes) {
    for (size_t at = 0; at < bytes.size(); at += 4096)
        Host("write " + FarLine() + " " + vmtest::Hex(bytes.substr(at, 4096)));
}

void PtyPair::Write(const std::vector<uint8_t> &bytes) {
    Write(std::string(bytes.begin(), bytes.end()));
}

std::string PtyPair::ReadAtLeast(size_t count, int timeoutMs) {
    return vmtest::Unhex(
        Host("read " + FarLine() + " " + std::to_string(count) + " " + std::to_string(timeoutMs)));
}

std::string PtyPair::ReadFor(int ms) {
    return vmtest::Unhex(Host("read " + FarLine() + " -1 " + std::to_string(ms)));
}

// The far end going away is the adapter leaving the machine.
void PtyPair::CloseFar() {
    Host("unplug " + FarLine());
    WaitUntil([&] { return access(path_.c_str(), F_OK) != 0; }, 20000);
    if (master_ >= 0)
        close(master_);
    master_ = -1;
}

} // namespace testing_support
