// Files of the store directory, written with plain POSIX calls.
#include "Store.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace vmodem {

namespace {

void WriteAll(int fd, const char *data, size_t count) {
    while (count > 0) {
        ssize_t n = write(fd, data, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // a full disk loses store output, never the modem
        data += n;
        count -= size_t(n);
    }
}

} // namespace

CStore::CStore(std::string dir) : dir_(std::move(dir)) {
    if (dir_.empty())
        return;
    if (mkdir(dir_.c_str(), 0777) != 0 && errno != EEXIST)
        throw std::runtime_error("cannot create " + dir_ + ": " + std::strerror(errno));
    rxFd_ = open((dir_ + "/rx.bin").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    eventFd_ = open((dir_ + "/events.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (rxFd_ < 0 || eventFd_ < 0)
        throw std::runtime_error("cannot write into " + dir_ + ": " + std::strerror(errno));
}

CStore::~CStore() {
    if (rxFd_ >= 0)
        close(rxFd_);
    if (eventFd_ >= 0)
        close(eventFd_);
}

void CStore::AppendRx(const uint8_t *data, size_t count) {
    if (rxFd_ >= 0)
        WriteAll(rxFd_, reinterpret_cast<const char *>(data), count);
}

void CStore::Event(const std::string &line) {
    if (eventFd_ < 0)
        return;
    std::string text = line + "\n";
    WriteAll(eventFd_, text.data(), text.size());
}

std::string CStore::Keep(const std::string &kind, const std::string &extension,
                         std::string_view content) {
    if (dir_.empty())
        return "-";
    int number = ++counters_[kind + "." + extension];
    char name[64];
    std::snprintf(name, sizeof name, "/%s-%03d.%s", kind.c_str(), number, extension.c_str());
    std::string path = dir_ + name;
    // Written under a temporary name and renamed, so a reader that sees the
    // file (after the event) sees all of it.
    std::string temp = path + ".part";
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return "-";
    WriteAll(fd, content.data(), content.size());
    close(fd);
    if (rename(temp.c_str(), path.c_str()) != 0)
        return "-";
    return path;
}

} // namespace vmodem
