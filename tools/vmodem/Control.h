// The control channel: a Unix stream socket on which tests send one command
// per line and get one reply line ("ok ..." or "err ...") per command, in
// order. Event lines ("event ...") go to every connected client as they happen.
#pragma once

#include <functional>
#include <poll.h>
#include <string>
#include <vector>

namespace vmodem {

class CControlServer {
public:
    using Executor = std::function<std::string(const std::string &line)>;

    explicit CControlServer(std::string path); // throws on failure
    ~CControlServer();
    CControlServer(const CControlServer &) = delete;
    CControlServer &operator=(const CControlServer &) = delete;

    // Appends this server's descriptors to fds.
    void AddPollFds(std::vector<pollfd> &fds) const;
    // Serves the descriptors from fds[first] on, as added by AddPollFds.
    void Serve(const std::vector<pollfd> &fds, size_t first, const Executor &execute);
    void Broadcast(const std::string &line);

private:
    struct SClient {
        int fd;
        std::string in, out;
        bool closed = false;
    };
    void Flush(SClient &client);

    std::string path_;
    int listen_ = -1;
    std::vector<SClient> clients_;
};

} // namespace vmodem
