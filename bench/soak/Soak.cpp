// soak: random DLE-rich data both ways through a pseudo-terminal for a given
// time at the highest rate the engine takes, every byte checked to arrive
// once and in order, with the resident set, CPU time and bytes moved sampled
// along the way. Ends with one soak-summary line; exits 1 on any data fault
// or memory growth. Rates are in kB/s (1000 bytes).
//
//   soak SECONDS [--interval S] [--tsv PATH] [--seed N]
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "FeedbackDrain.h"
#include "Memory.h"
#include "Streams.h"
#include "serial/EngineState.h"

namespace {

using Clock = std::chrono::steady_clock;

// The library's transmit queue is kept between these marks: always work for
// the transmit thread, never an unbounded backlog.
constexpr uint32_t kQueueHigh = 64 * 1024;
constexpr size_t kMaxAppend = 4096;
constexpr size_t kFarWriteChunk = 16 * 1024;
// The far end keeps at most this much unconsumed by the client: the engine's
// receive queue grows with whatever the client has not taken, and a soak
// that outran its client would measure the backlog, not the engine.
constexpr uint64_t kFarWindow = 256 * 1024;
constexpr int kDrainSeconds = 10;

std::atomic<uint64_t> gErrors{0};
std::atomic<uint64_t> gNotifiedErrors{0};

void Fault(const char *what) {
    if (gErrors.fetch_add(1) < 10)
        std::fprintf(stderr, "soak: %s\n", what);
}

// ---- The library's side -------------------------------------------------------

std::mutex gFeedbackLock; // one consumer of the feedback at a time, as Quenby
std::mutex gSendLock;
std::condition_variable gSendWake;
soak::FeedbackChecker *gReceived = nullptr;
bool gReceiveBroken = false;
std::atomic<uint64_t> gReceivedBytes{0}; // checked bytes from the far end

int Callback(uint32_t code, uint32_t error, uint32_t count) {
    (void)count;
    if (error != 0 || code == FALCREST_NOTIFY_TXFAIL) {
        if (gNotifiedErrors.fetch_add(1) < 10)
            std::fprintf(stderr, "soak: notification %u with error word %08x\n", code, error);
    }
    {
        std::lock_guard<std::mutex> guard(gFeedbackLock);
        DrainFeedback([](const char *raw, uint32_t length, const char *codes) {
            if (gReceiveBroken)
                return;
            if (!gReceived->AcceptRaw(raw, length) || (codes && !gReceived->AcceptCodes(codes))) {
                gReceiveBroken = true;
                Fault("received data differs from what the far end wrote");
            }
            gReceivedBytes = gReceived->Matched();
        });
    }
    gSendWake.notify_all();
    return 0;
}

uint64_t ReceivedBytes() {
    return gReceivedBytes;
}

// Keeps the transmit queue fed until told to stop; counts what it queued.
void Sender(uint64_t seed, std::atomic<bool> &stop, std::atomic<uint64_t> &queued) {
    soak::Generator generator(seed);
    soak::Random sizes(seed ^ 0x5A5A);
    std::string chunk;
    while (!stop) {
        if (szOutQueue.GetLength() >= kQueueHigh) {
            std::unique_lock<std::mutex> lock(gSendLock);
            gSendWake.wait_for(lock, std::chrono::milliseconds(2));
            continue;
        }
        chunk.clear();
        generator.AppendAtLeast(chunk, 1 + size_t(sizes.Next() % kMaxAppend));
        if (SendDataToModem(chunk.data(), int(chunk.size())) != 0) {
            Fault("SendDataToModem refused data");
            return;
        }
        queued += chunk.size();
    }
}

// ---- The far end --------------------------------------------------------------

struct FarEnd {
    int fd = -1;
    std::string path;
    int keeper = -1;
    soak::PlainChecker checker;
    bool broken = false;
    std::atomic<uint64_t> read{0};    // checked bytes from the library
    std::atomic<uint64_t> written{0}; // bytes written towards the library
    std::atomic<bool> stopWriting{false};
    std::atomic<bool> stop{false};
    std::atomic<bool> flushed{false}; // stopped writing with nothing pending

    explicit FarEnd(uint64_t seed) : checker(seed) {
        fd = posix_openpt(O_RDWR | O_NOCTTY);
        if (fd < 0 || grantpt(fd) != 0 || unlockpt(fd) != 0) {
            std::perror("soak: pseudo-terminal");
            std::exit(2);
        }
        path = ptsname(fd);
        termios t{};
        tcgetattr(fd, &t);
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        keeper = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    }
    ~FarEnd() {
        close(keeper);
        close(fd);
    }

    void Run(uint64_t seed) {
        soak::Generator generator(seed);
        std::string pending;
        size_t offset = 0;
        std::vector<char> buffer(64 * 1024);
        while (!stop) {
            if (offset == pending.size()) {
                pending.clear();
                offset = 0;
                if (!stopWriting)
                    generator.AppendAtLeast(pending, kFarWriteChunk);
                else
                    flushed = true;
            }
            bool room = written - ReceivedBytes() < kFarWindow;
            pollfd p{fd, short(POLLIN | (offset < pending.size() && room ? POLLOUT : 0)), 0};
            if (poll(&p, 1, room ? 20 : 1) <= 0)
                continue;
            if (p.revents & POLLIN) {
                ssize_t n = ::read(fd, buffer.data(), buffer.size());
                if (n > 0 && !broken) {
                    if (!checker.Accept(buffer.data(), size_t(n))) {
                        broken = true;
                        Fault("the far end read data that differs from what the library sent");
                    }
                    read = checker.Matched();
                }
            }
            if ((p.revents & POLLOUT) && offset < pending.size()) {
                ssize_t n = ::write(fd, pending.data() + offset, pending.size() - offset);
                if (n > 0) {
                    offset += size_t(n);
                    written += uint64_t(n);
                }
            }
        }
    }
};

// ---- Samples --------------------------------------------------------------------

uint64_t ResidentKb() {
    FILE *f = std::fopen("/proc/self/statm", "r");
    unsigned long size = 0, resident = 0;
    if (f) {
        if (std::fscanf(f, "%lu %lu", &size, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return uint64_t(resident) * uint64_t(sysconf(_SC_PAGESIZE)) / 1024;
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Options {
    double seconds = 0;
    double interval = 0;
    const char *tsv = nullptr;
    uint64_t seed = 20261206;
};

Options Parse(int argc, char **argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--interval" && i + 1 < argc)
            o.interval = std::atof(argv[++i]);
        else if (a == "--tsv" && i + 1 < argc)
            o.tsv = argv[++i];
        else if (a == "--seed" && i + 1 < argc)
            o.seed = std::strtoull(argv[++i], nullptr, 0);
        else
            o.seconds = std::atof(argv[i]);
    }
    if (o.seconds <= 0) {
        std::fprintf(stderr, "usage: soak SECONDS [--interval S] [--tsv PATH] [--seed N]\n");
        std::exit(2);
    }
    if (o.interval <= 0)
        o.interval = o.seconds >= 60 ? 5 : 1;
    return o;
}

} // namespace

int main(int argc, char **argv) {
    Options o = Parse(argc, argv);
    const uint64_t towardsFar = o.seed, towardsLibrary = o.seed * 31 + 7;
    soak::FeedbackChecker received(towardsLibrary);
    gReceived = &received;
    FarEnd far(towardsFar);
    if (InitModem(reinterpret_cast<void *>(&Callback), far.path.c_str(),
                  "baud=3000000 octs=off odsr=off xon=off") <= 0) {
        std::fprintf(stderr, "soak: InitModem failed on %s\n", far.path.c_str());
        return 2;
    }
    FILE *tsv = o.tsv ? std::fopen(o.tsv, "w") : nullptr;
    if (tsv)
        std::fprintf(tsv, "seconds\trss_kb\tcpu_pct\tsent_bytes\treceived_bytes\n");

    std::atomic<bool> stopSending{false};
    std::atomic<uint64_t> queued{0};
    Clock::time_point start = Clock::now();
    double cpuStart = CpuSeconds();
    std::thread farThread([&] { far.Run(towardsLibrary); });
    std::thread sender([&] { Sender(towardsFar, stopSending, queued); });

    std::vector<soak::Sample> samples;
    double lastCpu = cpuStart, lastAt = 0;
    for (int k = 1;; ++k) {
        double due = std::min(o.seconds, k * o.interval);
        std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(
                                                  std::chrono::duration<double>(due)));
        double now = Since(start), cpu = CpuSeconds();
        soak::Sample s{now, ResidentKb(), 100 * (cpu - lastCpu) / std::max(1e-9, now - lastAt),
                       far.read.load(), ReceivedBytes()};
        lastCpu = cpu;
        lastAt = now;
        samples.push_back(s);
        std::printf("soak-sample t=%.1f rss_kb=%llu cpu_pct=%.1f sent_bytes=%llu "
                    "received_bytes=%llu out_queue=%u in_queue=%u\n",
                    s.seconds, (unsigned long long)s.rssKb, s.cpuPct,
                    (unsigned long long)s.sentBytes, (unsigned long long)s.receivedBytes,
                    szOutQueue.GetLength(), szInQueue.GetLength());
        std::fflush(stdout);
        if (tsv)
            std::fprintf(tsv, "%.1f\t%llu\t%.1f\t%llu\t%llu\n", s.seconds,
                         (unsigned long long)s.rssKb, s.cpuPct, (unsigned long long)s.sentBytes,
                         (unsigned long long)s.receivedBytes);
        if (due >= o.seconds)
            break;
    }
    double elapsed = Since(start);
    double cpuUsed = CpuSeconds() - cpuStart;

    // Stop producing, then let everything in flight arrive: whatever has not
    // arrived by then is lost.
    stopSending = true;
    sender.join();
    far.stopWriting = true;
    Clock::time_point drainStart = Clock::now();
    while (Since(drainStart) < kDrainSeconds &&
           !(far.flushed && far.read == queued && ReceivedBytes() == far.written))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!(far.flushed && far.read == queued && ReceivedBytes() == far.written))
        std::fprintf(stderr,
                     "soak: still in flight after %d s: queued %llu, far end read %llu; far end "
                     "wrote %llu%s, client got %llu\n",
                     kDrainSeconds, (unsigned long long)queued.load(),
                     (unsigned long long)far.read.load(), (unsigned long long)far.written.load(),
                     far.flushed ? "" : " (not all)", (unsigned long long)ReceivedBytes());
    far.stop = true;
    farThread.join();
    ReleaseModem();
    if (tsv)
        std::fclose(tsv);

    uint64_t sent = far.read, got = ReceivedBytes();
    if (!far.broken && sent != queued) {
        std::fprintf(stderr, "soak: the library queued %llu bytes, the far end got %llu\n",
                     (unsigned long long)queued.load(), (unsigned long long)sent);
        Fault("bytes towards the far end lost or doubled");
    }
    if (!gReceiveBroken && got != far.written) {
        std::fprintf(stderr, "soak: the far end wrote %llu bytes, the client got %llu\n",
                     (unsigned long long)far.written.load(), (unsigned long long)got);
        Fault("bytes towards the library lost or doubled");
    }
    uint64_t errors = gErrors + gNotifiedErrors;

    soak::MemoryVerdict memory = soak::JudgeMemory(samples);
    uint64_t first = samples.front().rssKb, last = samples.back().rssKb, peak = 0;
    for (const soak::Sample &s : samples)
        peak = std::max(peak, s.rssKb);
    if (!memory.flat)
        std::fprintf(stderr, "soak: memory not flat: %s\n", memory.reason.c_str());
    std::printf("soak-summary seconds=%.0f sent_bytes=%llu received_bytes=%llu send_kbs=%.1f "
                "receive_kbs=%.1f rss_first_kb=%llu rss_last_kb=%llu rss_max_kb=%llu "
                "rss_growth_kb=%lld cpu_pct=%.1f errors=%llu\n",
                elapsed, (unsigned long long)sent, (unsigned long long)got,
                double(sent) / 1000 / elapsed, double(got) / 1000 / elapsed,
                (unsigned long long)first, (unsigned long long)last, (unsigned long long)peak,
                (long long)last - (long long)memory.baseKb, 100 * cpuUsed / elapsed,
                (unsigned long long)errors);
    return errors == 0 && memory.flat ? 0 : 1;
}
