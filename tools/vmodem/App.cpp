// vmodem's poll loop and its control commands.
#include "App.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

namespace vmodem {

namespace {

constexpr size_t kReadBlock = 64 * 1024;
constexpr size_t kMaxCapture = 16u << 20;
// While this much waits to go out (an echo to a DTE that does not read),
// vmodem stops reading too, as a modem's flow control would.
constexpr size_t kMaxPendingOutput = 1u << 20;

bool ParseHex(const std::string &text, std::string &out) {
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == ':' || c == '\t')
            continue;
        int v;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        else
            return false;
        if (high < 0) {
            high = v;
        } else {
            out += char(high * 16 + v);
            high = -1;
        }
    }
    return high < 0;
}

bool ParseEscaped(const std::string &text, std::string &out) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i >= text.size())
            return false;
        switch (text[i]) {
        case 'r':
            out += '\r';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case '\\':
            out += '\\';
            break;
        case 'x': {
            std::string byte;
            if (i + 2 >= text.size() || !ParseHex(text.substr(i + 1, 2), byte))
                return false;
            out += byte;
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

std::string ToHex(const std::string &bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

bool ReadFile(const std::string &path, std::string &out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

} // namespace

CApp::CApp(const SOptions &options)
    : options_(options), store_(options.store), modem_(*this, options.profile, options.clockScale) {
    if (!options_.control.empty())
        control_ = std::make_unique<CControlServer>(options_.control);
    if (!options_.link.empty())
        pty_.Link(options_.link);
    modem_.SetSpeed(options_.speed);
    if (options_.mode == EDataMode::Stream) {
        std::string bytes;
        if (!ReadFile(options_.stream, bytes))
            throw std::runtime_error("cannot read " + options_.stream);
        modem_.SetDataMode(EDataMode::Stream, bytes);
    } else {
        modem_.SetDataMode(options_.mode);
    }
}

void CApp::SendToDte(std::string_view bytes) {
    out_.append(bytes);
    WritePort();
}

void CApp::Event(const std::string &line) {
    store_.Event(line);
    if (control_)
        control_->Broadcast(line);
}

std::string CApp::Keep(const std::string &kind, const std::string &extension,
                       std::string_view content) {
    return store_.Keep(kind, extension, content);
}

void CApp::WritePort() {
    while (!out_.empty()) {
        ssize_t n = write(pty_.MasterFd(), out_.data(), out_.size());
        if (n > 0) {
            tx_ += size_t(n);
            out_.erase(0, size_t(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return; // full: the rest goes when the port can take it
        }
    }
}

void CApp::ReadPort(size_t limit) {
    static thread_local std::vector<uint8_t> buf(kReadBlock);
    ssize_t n = read(pty_.MasterFd(), buf.data(), std::min(limit, buf.size()));
    if (n <= 0)
        return;
    rx_ += size_t(n);
    store_.AppendRx(buf.data(), size_t(n));
    if (!captureFull_) {
        size_t room = kMaxCapture - captured_.size();
        captured_.append(reinterpret_cast<const char *>(buf.data()), std::min(room, size_t(n)));
        captureFull_ = captured_.size() >= kMaxCapture;
    }
    modem_.Receive(buf.data(), size_t(n), Clock::now());
}

void CApp::Run(const std::atomic<bool> &stop) {
    // SIGINT/SIGTERM are blocked except while waiting, so a stop request
    // cannot slip in between the check and the wait.
    sigset_t blocked, waitMask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &blocked, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);

    std::vector<pollfd> fds;
    while (!stop && !quit_) {
        fds.clear();
        // What the modem takes now; a DTE whose port obeys XOFF is held
        // while the modem has sent one (a port that does not keeps sending).
        size_t acceptable = modem_.Acceptable(pty_.DteObeysXoff());
        bool reading = !stalled_ && out_.size() < kMaxPendingOutput && acceptable > 0;
        short portEvents = short((reading ? POLLIN : 0) | (out_.empty() ? 0 : POLLOUT));
        fds.push_back({pty_.MasterFd(), portEvents, 0});
        if (control_)
            control_->AddPollFds(fds);
        timespec timeout{};
        timespec *wait = nullptr;
        if (auto deadline = modem_.Deadline()) {
            auto left = std::max(Clock::duration::zero(), *deadline - Clock::now());
            auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            timeout.tv_sec = ns / 1000000000;
            timeout.tv_nsec = ns % 1000000000;
            wait = &timeout;
        }
        int ready = ppoll(fds.data(), fds.size(), wait, &waitMask);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready > 0) {
            if (fds[0].revents & POLLOUT)
                WritePort();
            if (reading && (fds[0].revents & POLLIN))
                ReadPort(acceptable);
            if (control_)
                control_->Serve(fds, 1, [this](const std::string &l) { return Execute(l); });
        }
        modem_.Tick(Clock::now());
    }
    pthread_sigmask(SIG_SETMASK, &waitMask, nullptr);
}

std::string CApp::Execute(const std::string &line) {
    size_t space = line.find(' ');
    std::string cmd = line.substr(0, space);
    std::string arg = space == std::string::npos ? std::string() : line.substr(space + 1);

    if (cmd == "help")
        return "ok inject send dle ring play mode speed hangup flush stall resume report "
               "rxhex rxclear reg quit";
    if (cmd == "inject" || cmd == "send") {
        std::string bytes;
        if (!(cmd == "inject" ? ParseHex(arg, bytes) : ParseEscaped(arg, bytes)))
            return "err bad " + std::string(cmd == "inject" ? "hex" : "escape") + ": " + arg;
        SendToDte(bytes);
        return "ok " + std::to_string(bytes.size());
    }
    if (cmd == "dle") {
        if (arg.empty())
            return "err dle needs characters";
        std::string bytes;
        for (char c : arg) {
            bytes += char(kDle);
            bytes += c;
        }
        SendToDte(bytes);
        return "ok " + std::to_string(bytes.size());
    }
    if (cmd == "ring") {
        int count = 1;
        if (!arg.empty()) {
            count = std::atoi(arg.c_str());
            if (count < 1 || count > 255)
                return "err bad ring count: " + arg;
        }
        for (int i = 0; i < count; ++i)
            if (!modem_.Ring())
                return "err not waiting for a call";
        return "ok";
    }
    if (cmd == "play") {
        std::string bytes;
        if (!ReadFile(arg, bytes))
            return "err cannot read " + arg;
        SendToDte(bytes);
        return "ok " + std::to_string(bytes.size());
    }
    if (cmd == "mode") {
        if (arg == "echo")
            modem_.SetDataMode(EDataMode::Echo);
        else if (arg == "sink")
            modem_.SetDataMode(EDataMode::Sink);
        else if (arg.rfind("stream ", 0) == 0) {
            std::string bytes;
            if (!ReadFile(arg.substr(7), bytes))
                return "err cannot read " + arg.substr(7);
            modem_.SetDataMode(EDataMode::Stream, bytes);
        } else
            return "err mode echo|sink|stream <file>";
        return "ok";
    }
    if (cmd == "speed") {
        int bps = std::atoi(arg.c_str());
        if (bps < 1)
            return "err bad speed: " + arg;
        modem_.SetSpeed(bps);
        return "ok";
    }
    if (cmd == "hangup")
        return modem_.DropCarrier() ? "ok" : "err no connection";
    if (cmd == "flush") {
        out_.clear();
        pty_.FlushToDte();
        return "ok";
    }
    if (cmd == "stall" || cmd == "resume") {
        stalled_ = cmd == "stall";
        return "ok";
    }
    if (cmd == "report")
        return "ok " + modem_.Report() + " rx=" + std::to_string(rx_) +
               " tx=" + std::to_string(tx_) + " pending=" + std::to_string(out_.size()) +
               " stalled=" + (stalled_ ? "1" : "0");
    if (cmd == "rxhex")
        return "ok " + ToHex(captured_);
    if (cmd == "rxclear") {
        captured_.clear();
        captureFull_ = false;
        return "ok";
    }
    if (cmd == "reg") {
        int n = arg.empty() ? -1 : std::atoi(arg.c_str());
        if (n < 0 || n >= kRegisterCount)
            return "err bad register: " + arg;
        return "ok " + std::to_string(modem_.Register(n));
    }
    if (cmd == "quit") {
        quit_ = true;
        return "ok";
    }
    return "err unknown command: " + cmd;
}

} // namespace vmodem
