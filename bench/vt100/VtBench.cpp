// Throughput of the VT100 emulator (interpreter, backend and screen model) on
// three kinds of modem output, each beside libvterm parsing the same bytes
// into its own 80 x 25 screen in the same run:
//   (a) plain text with line ends,
//   (b) text dense with SGR and cursor sequences,
//   (c) a full-screen session (generated deterministically: frames of a
//       status display with boxes, colours, erases, inserts and scrolling).
// The bytes go in 1,000-byte chunks, as the terminal receives them. The model
// is measured without drawing, and once more drawing to /dev/null. Times are
// the thread's CPU time, best of five. Every figure is also printed as
// "result <key> <value> <unit>".
// Usage: bench_vt100 [megabytes per input, default 8]
#include "VT100.h"

#include <platform/Console.h>

#include <vterm.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <random>
#include <string>
#include <unistd.h>

namespace {

constexpr size_t kChunk = 1000;
constexpr int kRepeats = 5;
constexpr double kLineRate = 300e3; // bytes per second of a 3 Mbaud line

std::string Word(std::mt19937 &rng) {
    static const char letters[] = "etaoinshrdlucmfwypvbgkjqxz";
    std::uniform_int_distribution<int> length(1, 9), letter(0, 25);
    std::string word;
    for (int n = length(rng); n > 0; --n)
        word += letters[letter(rng)];
    return word;
}

std::string PlainText(size_t size) {
    std::mt19937 rng(1);
    std::uniform_int_distribution<int> width(10, 78);
    std::string out;
    while (out.size() < size) {
        std::string line;
        const int limit = width(rng);
        while (int(line.size()) < limit)
            line += Word(rng) + ' ';
        line.resize(size_t(limit));
        out += line + "\r\n";
    }
    return out;
}

std::string DenseSequences(size_t size) {
    std::mt19937 rng(2);
    std::uniform_int_distribution<int> row(1, 25), column(1, 70), colour(0, 7), pick(0, 9);
    std::string out;
    char buffer[64];
    while (out.size() < size) {
        switch (pick(rng)) {
        case 0:
        case 1:
            std::snprintf(buffer, sizeof buffer, "\x1b[%d;%dH", row(rng), column(rng));
            break;
        case 2:
            std::snprintf(buffer, sizeof buffer, "\x1b[1;3%d;4%dm", colour(rng), colour(rng));
            break;
        case 3:
            std::snprintf(buffer, sizeof buffer, "\x1b[0;3%dm", colour(rng));
            break;
        case 4:
            std::snprintf(buffer, sizeof buffer, "\x1b[%dA\x1b[%dC", pick(rng), pick(rng));
            break;
        case 5:
            std::snprintf(buffer, sizeof buffer, "\x1b[K");
            break;
        case 6:
            std::snprintf(buffer, sizeof buffer, "\x1b[m");
            break;
        default:
            std::snprintf(buffer, sizeof buffer, "%s ", Word(rng).c_str());
            break;
        }
        out += buffer;
    }
    return out;
}

std::string FullScreenSession(size_t size) {
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> value(0, 99999), colour(1, 7), pick(0, 5);
    std::string out;
    char buffer[128];
    for (int frame = 0; out.size() < size; ++frame) {
        if (frame % 50 == 0) {
            out += "\x1b[0m\x1b[H\x1b[2J\x1b("
                   "0lqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqq"
                   "qqqqqqqqqqqqqqqqqqqqqk\x1b(B";
            for (int r = 2; r < 24; ++r) {
                std::snprintf(buffer, sizeof buffer, "\x1b[%d;1H\x0ex\x0f\x1b[%d;80H\x0ex\x0f", r,
                              r);
                out += buffer;
            }
            out += "\x1b[24;1H\x1b("
                   "0mqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqq"
                   "qqqqqqqqqqqqj\x1b(B";
        }
        // Status line in reverse video.
        std::snprintf(buffer, sizeof buffer,
                      "\x1b[1;3H\x1b[7m load %5d  users %3d  frame %6d \x1b[m", value(rng),
                      value(rng) % 100, frame);
        out += buffer;
        // A table of coloured values, each field rewritten and the rest of the row erased.
        for (int r = 3; r < 23; ++r) {
            std::snprintf(buffer, sizeof buffer,
                          "\x1b[%d;3H\x1b[1;3%dm%-10s\x1b[0m %7d %7d %-16s\x1b[K", r, colour(rng),
                          Word(rng).c_str(), value(rng), value(rng), Word(rng).c_str());
            out += buffer;
            out += "\x1b[";
            out += std::to_string(r);
            out += ";80H\x0ex\x0f";
        }
        // A log pane that scrolls: a few lines at the bottom of the window.
        switch (pick(rng)) {
        case 0:
            out += "\x1b[12;1H\x1b[L\x1b[20;1H\x1b[M";
            break;
        case 1:
            out += "\x1b[25;1H\r\n" + Word(rng) + " " + Word(rng) + " " + Word(rng);
            break;
        case 2:
            out += "\x1b[5;1H\x1b[J";
            break;
        default:
            out += "\x1b[25;1H\x1b[2K" + Word(rng) + "\x1b[3P";
            break;
        }
    }
    return out;
}

// CPU time of this thread: the machine is shared, and waiting for a core is
// not the emulator's cost.
double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

double Seconds(const std::function<void()> &run) {
    double best = 1e30;
    for (int i = 0; i < kRepeats; ++i) {
        const double start = CpuSeconds();
        run();
        best = std::min(best, CpuSeconds() - start);
    }
    return best;
}

void FeedOurs(const std::string &bytes) {
    plat::con::model::Reset(80, 25, 300);
    vtInitVT100();
    for (size_t pos = 0; pos < bytes.size(); pos += kChunk)
        vtProcessedTextOut(bytes.data() + pos, int(std::min(kChunk, bytes.size() - pos)));
}

void FeedVterm(const std::string &bytes) {
    VTerm *vt = vterm_new(25, 80);
    vterm_set_utf8(vt, 0);
    VTermScreen *screen = vterm_obtain_screen(vt);
    vterm_screen_reset(screen, 1);
    // Its cheapest damage bookkeeping: whole scrolls, no per-cell reports.
    vterm_screen_set_damage_merge(screen, VTERM_DAMAGE_SCROLL);
    for (size_t pos = 0; pos < bytes.size(); pos += kChunk)
        vterm_input_write(vt, bytes.data() + pos, std::min(kChunk, bytes.size() - pos));
    vterm_free(vt);
}

} // namespace

int main(int argc, char **argv) {
    const double megabytes = argc > 1 ? std::atof(argv[1]) : 8.0;
    const size_t size = size_t(std::max(0.1, megabytes) * 1e6);
    const int devNull = open("/dev/null", O_WRONLY);
    struct Input {
        const char *name;
        const char *key;
        std::string bytes;
    } inputs[] = {{"(a) plain text with line ends", "plain", PlainText(size)},
                  {"(b) dense SGR and cursor sequences", "dense", DenseSequences(size)},
                  {"(c) full-screen session", "session", FullScreenSession(size)}};

    std::printf("%-36s %12s %14s %12s %10s %12s\n", "input", "ours MB/s", "ours+draw MB/s",
                "libvterm MB/s", "ours/vterm", "x 300 KB/s");
    for (const Input &input : inputs) {
        const double mb = double(input.bytes.size()) / 1e6;
        plat::con::SetRenderTarget(-1);
        const double ours = mb / Seconds([&] { FeedOurs(input.bytes); });
        plat::con::SetRenderTarget(devNull);
        const double drawn = mb / Seconds([&] { FeedOurs(input.bytes); });
        plat::con::SetRenderTarget(-1);
        const double vterm = mb / Seconds([&] { FeedVterm(input.bytes); });
        std::printf("%-36s %12.1f %14.1f %12.1f %10.2f %12.0f\n", input.name, ours, drawn, vterm,
                    ours / vterm, ours * 1e6 / kLineRate);
        std::printf("result vt100.%s.ours %.2f MB/s\n", input.key, ours);
        std::printf("result vt100.%s.ours_draw %.2f MB/s\n", input.key, drawn);
        std::printf("result vt100.%s.libvterm %.2f MB/s\n", input.key, vterm);
    }
    close(devNull);
    return 0;
}
