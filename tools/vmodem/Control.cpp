// Unix socket server of the control channel.
#include "Control.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace vmodem {

namespace {

constexpr size_t kMaxCommandLine = 1 << 20;

} // namespace

CControlServer::CControlServer(std::string path) : path_(std::move(path)) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path_.size() >= sizeof addr.sun_path)
        throw std::runtime_error("control path too long: " + path_);
    std::memcpy(addr.sun_path, path_.c_str(), path_.size() + 1);
    struct stat st {};
    if (lstat(path_.c_str(), &st) == 0 && S_ISSOCK(st.st_mode))
        unlink(path_.c_str()); // left over from an earlier run
    listen_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listen_ < 0 || bind(listen_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        listen(listen_, 8) != 0)
        throw std::runtime_error("cannot listen on " + path_ + ": " + std::strerror(errno));
}

CControlServer::~CControlServer() {
    for (SClient &c : clients_)
        close(c.fd);
    if (listen_ >= 0) {
        close(listen_);
        unlink(path_.c_str());
    }
}

void CControlServer::AddPollFds(std::vector<pollfd> &fds) const {
    fds.push_back({listen_, POLLIN, 0});
    for (const SClient &c : clients_)
        fds.push_back({c.fd, short(POLLIN | (c.out.empty() ? 0 : POLLOUT)), 0});
}

void CControlServer::Flush(SClient &client) {
    while (!client.out.empty()) {
        ssize_t n = send(client.fd, client.out.data(), client.out.size(), MSG_NOSIGNAL);
        if (n > 0) {
            client.out.erase(0, size_t(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                client.closed = true;
            return;
        }
    }
}

void CControlServer::Serve(const std::vector<pollfd> &fds, size_t first, const Executor &execute) {
    // Clients accepted during this pass have no entry in fds yet.
    size_t known = clients_.size();
    for (size_t k = 0; k < known && first + 1 + k < fds.size(); ++k) {
        SClient &c = clients_[k];
        short ev = fds[first + 1 + k].revents;
        if (ev & (POLLIN | POLLHUP | POLLERR)) {
            char buf[4096];
            ssize_t n = recv(c.fd, buf, sizeof buf, 0);
            if (n > 0) {
                c.in.append(buf, size_t(n));
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                c.closed = true;
            }
        }
        size_t eol;
        while (!c.closed && (eol = c.in.find('\n')) != std::string::npos) {
            std::string line = c.in.substr(0, eol);
            c.in.erase(0, eol + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.empty())
                continue;
            // The executor may broadcast events, which append to this
            // client's output before its reply: events come first, in order.
            std::string reply = execute(line);
            clients_[k].out += reply + "\n";
        }
        SClient &cur = clients_[k];
        if (cur.in.size() > kMaxCommandLine)
            cur.closed = true;
        Flush(cur);
    }
    if (fds[first].revents & POLLIN) {
        int fd;
        while ((fd = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)) >= 0)
            clients_.push_back({fd, {}, {}});
    }
    for (size_t k = 0; k < clients_.size();) {
        if (clients_[k].closed) {
            close(clients_[k].fd);
            clients_.erase(clients_.begin() + long(k));
        } else {
            ++k;
        }
    }
}

void CControlServer::Broadcast(const std::string &line) {
    for (SClient &c : clients_) {
        if (c.closed)
            continue;
        c.out += "event " + line + "\n";
        Flush(c);
    }
}

} // namespace vmodem
