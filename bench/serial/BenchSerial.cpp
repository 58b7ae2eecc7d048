// Serial engine figures over a pseudo-terminal: receive throughput unpaced and
// paced at line rates with the backlog in the receive queue, latency both
// ways, and transmit throughput unpaced and into a line paced at 3 Mbaud.
// The client drains the way Quenby does.
// Every figure is also printed as "result <key> <value> <unit>".
// Usage: bench_serial [seconds per paced run, default 3] [latency samples, default 300]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "FeedbackDrain.h"
#include "serial/EngineState.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Far {
    int fd = -1;
    std::string path;
    int keeper = -1;
    Far() {
        fd = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(fd);
        unlockpt(fd);
        path = ptsname(fd);
        termios t{};
        tcgetattr(fd, &t);
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
        keeper = open(path.c_str(), O_RDWR | O_NOCTTY);
    }
    ~Far() {
        close(keeper);
        close(fd);
    }
};

std::mutex gLock;
std::string gReceived;
std::atomic<uint64_t> gLastArrival{0};

uint64_t NowNs() {
    return uint64_t(
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
            .count());
}

int Drain(uint32_t, uint32_t, uint32_t) {
    std::lock_guard<std::mutex> g(gLock);
    DrainFeedback([](const char *raw, uint32_t length, const char *) {
        if (length) {
            gReceived.append(raw, length);
            gLastArrival = NowNs();
        }
    });
    return 0;
}

std::string Payload(size_t n) {
    std::string s(n, 0);
    for (size_t i = 0; i < n; ++i)
        s[i] = char('0' + (i * 13) % 64); // no DLE, no NUL: every byte is text
    return s;
}

void WriteAll(int fd, const std::string &data, double bytesPerSecond) {
    auto start = Clock::now();
    size_t done = 0;
    const size_t piece = bytesPerSecond > 0 ? 256 : 65536;
    while (done < data.size()) {
        if (bytesPerSecond > 0) {
            auto due = start + std::chrono::duration<double>(double(done) / bytesPerSecond);
            std::this_thread::sleep_until(due);
        }
        ssize_t n = write(fd, data.data() + done, std::min(piece, data.size() - done));
        if (n > 0)
            done += size_t(n);
        else {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, 5);
        }
    }
}

void Receive(Far &far, const char *label, size_t bytes, double baud) {
    {
        std::lock_guard<std::mutex> g(gLock);
        gReceived.clear();
    }
    double rate = baud > 0 ? baud / 10.0 : 0;
    std::string data = Payload(bytes);
    std::atomic<bool> sampling{true};
    uint32_t maxBacklog = 0;
    std::thread sampler([&] {
        while (sampling) {
            maxBacklog = std::max(maxBacklog, szInQueue.GetLength());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    auto start = Clock::now();
    WriteAll(far.fd, data, rate);
    for (;;) {
        {
            std::lock_guard<std::mutex> g(gLock);
            if (gReceived.size() >= bytes)
                break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    sampling = false;
    sampler.join();
    bool intact;
    {
        std::lock_guard<std::mutex> g(gLock);
        intact = gReceived == data;
    }
    const double rateKBs = double(bytes) / seconds / 1000.0;
    std::printf("receive %-10s %8zu bytes  %9.1f KB/s  max backlog %6u bytes  %s\n", label, bytes,
                rateKBs, maxBacklog, intact ? "intact" : "CORRUPTED");
    std::printf("result serial.receive.%s.rate %.1f KB/s\n", label, rateKBs);
    std::printf("result serial.receive.%s.backlog_max %u bytes\n", label, maxBacklog);
    std::printf("result serial.receive.%s.intact %d bool\n", label, intact ? 1 : 0);
}

void Percentiles(const char *label, const char *key, std::vector<double> &us) {
    std::sort(us.begin(), us.end());
    const double median = us[us.size() / 2];
    const double p99 = us[us.size() * 99 / 100];
    std::printf("latency %-22s median %7.1f us   p99 %7.1f us   (%zu samples)\n", label, median,
                p99, us.size());
    std::printf("result serial.latency.%s.median %.1f us\n", key, median);
    std::printf("result serial.latency.%s.p99 %.1f us\n", key, p99);
}

int gSamples = 300;

void LatencyFarToCallback(Far &far) {
    std::vector<double> us;
    for (int i = 0; i < gSamples; ++i) {
        size_t before;
        {
            std::lock_guard<std::mutex> g(gLock);
            before = gReceived.size();
        }
        uint64_t sent = NowNs();
        (void)!write(far.fd, "x", 1);
        for (;;) {
            {
                std::lock_guard<std::mutex> g(gLock);
                if (gReceived.size() > before)
                    break;
            }
            std::this_thread::yield();
        }
        us.push_back(double(gLastArrival - sent) / 1000.0);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    Percentiles("far end -> callback", "far_to_callback", us);
}

void LatencyKeyToFar(Far &far) {
    std::vector<double> us;
    char c;
    for (int i = 0; i < gSamples; ++i) {
        uint64_t sent = NowNs();
        SendDataToModem("k", 1);
        pollfd p{far.fd, POLLIN, 0};
        poll(&p, 1, 2000);
        (void)!read(far.fd, &c, 1);
        us.push_back(double(NowNs() - sent) / 1000.0);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    Percentiles("key -> far end", "key_to_far", us);
}

// Sends bytes and reads them at the far end, as fast as they come or paced
// as a line of the given rate would take them (10 bits a byte). A paced line
// kept full reads at its rate; a transmit thread that falls behind leaves it
// idle and the rate falls below.
void Transmit(Far &far, const char *label, size_t bytes, double baud) {
    std::string data = Payload(bytes);
    const double line = baud > 0 ? baud / 10.0 : 0;
    auto start = Clock::now();
    SendDataToModem(data.data(), int(data.size()));
    size_t got = 0;
    static char buf[65536];
    while (got < bytes) {
        size_t want = sizeof buf;
        if (line > 0) {
            double due = std::chrono::duration<double>(Clock::now() - start).count() * line;
            if (double(got) + 1 > due) {
                std::this_thread::sleep_for(std::chrono::microseconds(500));
                continue;
            }
            want = std::min(want, size_t(due) - got);
        }
        pollfd p{far.fd, POLLIN, 0};
        if (poll(&p, 1, 2000) <= 0)
            break;
        ssize_t n = read(far.fd, buf, std::min(want, bytes - got));
        if (n > 0)
            got += size_t(n);
    }
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double rateKBs = double(got) / seconds / 1000.0;
    std::printf("transmit %-10s %8zu bytes  %9.1f KB/s\n", label, got, rateKBs);
    std::printf("result serial.transmit.%s.rate %.1f KB/s\n", label, rateKBs);
    std::printf("result serial.transmit.%s.complete %d bool\n", label, got == bytes ? 1 : 0);
}

} // namespace

int main(int argc, char **argv) {
    const double paced = argc > 1 ? std::max(0.5, std::atof(argv[1])) : 3.0;
    if (argc > 2)
        gSamples = std::max(10, std::atoi(argv[2]));
    Far far;
    if (InitModem(reinterpret_cast<void *>(&Drain), far.path.c_str(),
                  "baud=3000000 octs=off odsr=off xon=off") <= 0) {
        std::fprintf(stderr, "cannot open %s\n", far.path.c_str());
        return 1;
    }
    Receive(far, "unpaced", 8u << 20, 0);
    for (double baud : {115200.0, 921600.0, 3000000.0})
        Receive(far, std::to_string(int(baud)).c_str(), size_t(baud / 10 * paced), baud);
    LatencyFarToCallback(far);
    LatencyKeyToFar(far);
    Transmit(far, "unpaced", 8u << 20, 0);
    Transmit(far, "3000000", size_t(300000 * paced), 3000000);
    ReleaseModem();
    return 0;
}
