// PrepareFaxPage on pages of 864 x 1100 pixels (all white, text, 50% noise),
// beside netpbm's pbmtog3 coding the same page at 1728 pels a line, in the
// same run; the coder's speed beside a memory copy of the same bitmap; and
// the peak memory of PrepareFaxPage on a page of 864 x 2200.
//
// Each PrepareFaxPage pass writes the bitmap file afresh (the coding is done
// in place) and prepares it. Each pbmtog3 pass is one run of the program
// from a PBM file to a G3 file; its start-up, a run on a page of a single
// row, is taken off pair by pair, the two runs one after the other. Every
// figure is also printed as "result <key> <value> <unit>".
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "falcrest/Falcrest.h"
#include "fax/FaxCodes.h"

extern char **environ;

#if defined(__GLIBC__)
// The heap in use while it is counted: every allocation of the process goes
// through these, which hand it on to the C library's own.
#include <malloc.h>

extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void __libc_free(void *);
}

namespace {
struct HeapCount {
    bool counting;
    long live;
    long peak;
} gHeap;

void CountHeap(long change) {
    if (gHeap.counting) {
        gHeap.live += change;
        gHeap.peak = std::max(gHeap.peak, gHeap.live);
    }
}

long Usable(void *p) {
    return p != nullptr ? long(malloc_usable_size(p)) : 0;
}
} // namespace

extern "C" void *malloc(size_t n) {
    void *p = __libc_malloc(n);
    CountHeap(Usable(p));
    return p;
}

extern "C" void *calloc(size_t n, size_t size) {
    void *p = __libc_calloc(n, size);
    CountHeap(Usable(p));
    return p;
}

extern "C" void *realloc(void *p, size_t n) {
    const long before = Usable(p);
    void *q = __libc_realloc(p, n);
    if (q != nullptr || n == 0)
        CountHeap(Usable(q) - before);
    return q;
}

extern "C" void free(void *p) {
    CountHeap(-Usable(p));
    __libc_free(p);
}
#endif

namespace {

constexpr int kWidth = 864;
constexpr int kHeight = 1100;
constexpr int kTallHeight = 2200; // for the peak memory
constexpr int kRowBytes = kWidth / 8;
constexpr uint32_t kOffset = 62;
constexpr int kRounds = 4;
constexpr double kSecondsPerRound = 0.4;

using Clock = std::chrono::steady_clock;

// Bit 1 white, most significant bit leftmost.
struct Page {
    std::string name;
    std::string key;
    int height = kHeight;
    std::vector<uint8_t> bits = std::vector<uint8_t>(size_t(kRowBytes) * height, 0xFF);
    void SetBlack(int x, int y) {
        bits[size_t(y) * kRowBytes + x / 8] &= uint8_t(~(0x80 >> (x % 8)));
    }
    bool Black(int x, int y) const {
        return !((bits[size_t(y) * kRowBytes + x / 8] >> (7 - x % 8)) & 1);
    }
};

Page White(int height) {
    return Page{"all white", "white", height};
}

Page Noise(int height) {
    Page p{"50% noise", "noise", height};
    std::mt19937 rng(1);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < kWidth; ++x)
            if (rng() & 1)
                p.SetBlack(x, y);
    return p;
}

// Lines of prose rendered by pbmtext, repeated down the page.
Page Text(const std::string &dir, int height) {
    Page p{"text", "text", height};
    const std::string source = dir + "/text.txt";
    FILE *f = std::fopen(source.c_str(), "w");
    const char *line = "The quick brown fox jumps over the lazy dog; 0123456789 (fax) page text.";
    for (int i = 0; i < 8; ++i)
        std::fprintf(f, "%s %d\n", line, i);
    std::fclose(f);
    const std::string command = "pbmtext < " + source + " 2>/dev/null";
    FILE *in = popen(command.c_str(), "r");
    if (in == nullptr)
        return p;
    std::string pbm;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0)
        pbm.append(chunk, n);
    pclose(in);
    int w = 0;
    int h = 0;
    int used = 0;
    if (std::sscanf(pbm.c_str(), "P4 %d %d%n", &w, &h, &used) != 2 || w <= 0 || h <= 0) {
        std::fprintf(stderr, "pbmtext gave no image; the text page stays blank\n");
        return p;
    }
    const size_t at = size_t(used) + 1;
    const int rowBytes = (w + 7) / 8;
    if (pbm.size() < at + size_t(rowBytes) * h)
        return p;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < kWidth && x < w; ++x) {
            const int sy = y % h;
            if ((uint8_t(pbm[at + size_t(sy) * rowBytes + x / 8]) >> (7 - x % 8)) & 1)
                p.SetBlack(x, y);
        }
    return p;
}

std::vector<uint8_t> PageFile(const Page &p) {
    std::vector<uint8_t> file(kOffset + p.bits.size(), 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            file[at + i] = uint8_t(v >> (8 * i));
    };
    std::copy(p.bits.begin(), p.bits.end(), file.begin() + kOffset);
    file[0] = 'B';
    file[1] = 'M';
    put32(2, uint32_t(file.size()));
    put32(10, kOffset);
    put32(14, 40);
    put32(18, kWidth);
    put32(22, uint32_t(p.height));
    return file;
}

// The same page at 1728 pels a line, each pixel doubled, as raw PBM (1 black).
std::vector<uint8_t> Pbm(const Page &p, int rows) {
    const std::string header = "P4\n1728 " + std::to_string(rows) + "\n";
    std::vector<uint8_t> out(header.begin(), header.end());
    for (int y = 0; y < rows; ++y) {
        uint8_t row[216] = {};
        for (int x = 0; x < kWidth; ++x)
            if (p.Black(x, y))
                for (int pel : {2 * x, 2 * x + 1})
                    row[pel / 8] |= uint8_t(0x80 >> (pel % 8));
        out.insert(out.end(), row, row + sizeof row);
    }
    return out;
}

// Writes the file and gives it exactly that length. Not by truncating it to
// 0 first: some file systems then write the old data out when the file is
// closed, a cost of the benchmark's loop rather than of the work measured.
void WriteFile(const std::string &path, const std::vector<uint8_t> &bytes) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT, 0644);
    if (fd < 0 || write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size()) ||
        ftruncate(fd, off_t(bytes.size())) != 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
    close(fd);
}

// The durations of a piece of work, gathered in rounds that alternate with
// the other pieces', so that a change in the machine's load falls on all.
struct Times {
    std::vector<double> seconds;
    double MedianMs() {
        if (seconds.empty())
            return 0;
        std::nth_element(seconds.begin(), seconds.begin() + seconds.size() / 2, seconds.end());
        return 1000 * seconds[seconds.size() / 2];
    }
};

template <typename F> double Seconds(F &&body) {
    const Clock::time_point start = Clock::now();
    body();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

template <typename F> void Measure(Times &times, double forSeconds, F &&body) {
    const Clock::time_point start = Clock::now();
    int runs = 0;
    for (Clock::time_point now = start;
         std::chrono::duration<double>(now - start).count() < forSeconds || runs < 3; ++runs) {
        body();
        const Clock::time_point end = Clock::now();
        times.seconds.push_back(std::chrono::duration<double>(end - now).count());
        now = end;
    }
}

void PreparePage(const Page &p, const std::vector<uint8_t> &file, const std::string &path) {
    WriteFile(path, file);
    if (PrepareFaxPage(path.c_str()) != 1) {
        std::fprintf(stderr, "PrepareFaxPage refused the %s page\n", p.name.c_str());
        std::exit(1);
    }
}

void Pbmtog3(const std::string &in, const std::string &out) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    // Every run writes the same bytes: no truncation needed (see WriteFile).
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT, 0644);
    char name[] = "pbmtog3";
    char option[] = "-reversebits";
    char *argv[] = {name, option, nullptr};
    pid_t pid = -1;
    int status = 0;
    if (posix_spawnp(&pid, "pbmtog3", &actions, nullptr, argv, environ) != 0 ||
        waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "pbmtog3 failed\n");
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
}

// Megabytes of bitmap a second, coded in memory and copied, best of the
// rounds (the copy is what a coder that reads every byte once cannot beat).
void CoderSpeed(const Page &p, double &coder, double &copy) {
    std::vector<uint8_t> target(p.bits.size());
    auto megabytesPerSecond = [&](auto &&body) {
        double best = 0;
        for (int round = 0; round < kRounds; ++round) {
            Times times;
            Measure(times, kSecondsPerRound / 4, body);
            best = std::max(best, p.bits.size() / 1e6 / (times.MedianMs() / 1000));
        }
        return best;
    };
    coder = megabytesPerSecond([&] {
        char *coded = nullptr;
        uint32_t n = 0;
        CodeFaxPage(reinterpret_cast<const char *>(p.bits.data()), kWidth, p.height, UINT32_MAX,
                    coded, n);
        Realloc(coded, 0);
    });
    copy = megabytesPerSecond([&] {
        std::memcpy(target.data(), p.bits.data(), p.bits.size());
        asm volatile("" : : "r"(target.data()) : "memory"); // the copy is not optimised away
    });
}

// The heap PrepareFaxPage takes at most, above what it started with, in
// bytes; -1 where the allocator cannot be followed.
long PeakHeap(const Page &p, const std::string &path) {
    WriteFile(path, PageFile(p));
#if defined(__GLIBC__)
    gHeap = {true, 0, 0};
    const bool prepared = PrepareFaxPage(path.c_str()) == 1;
    gHeap.counting = false;
    return prepared ? gHeap.peak : -1;
#else
    return -1;
#endif
}

} // namespace

// Argument: the folder for the page files (default /tmp).
int main(int argc, char **argv) {
    std::string pattern = std::string(argc > 1 ? argv[1] : "/tmp") + "/bench-fax-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror(pattern.c_str());
        return 1;
    }
    const std::string dir = pattern;
    const std::vector<Page> pages = {White(kHeight), Text(dir, kHeight), Noise(kHeight)};
    const std::string bmp = dir + "/page.bmp";
    const std::string pbm = dir + "/page.pbm";
    const std::string g3 = dir + "/page.g3";
    const std::string rowPbm = dir + "/row.pbm";
    const std::string rowG3 = dir + "/row.g3";

    std::printf(
        "PrepareFaxPage vs pbmtog3, pages of %d x %d pixels (%d pels a line), files in %s\n",
        kWidth, kHeight, 2 * kWidth, dir.c_str());
    std::printf("ms a page, medians; pbmtog3's start-up is its run on a page of one row, and\n"
                "what is left is the median over pairs of runs, page and row in turn\n");
    std::printf("%-10s %10s %10s %10s %14s %8s\n", "page", "Falcrest", "pbmtog3", "start-up",
                "pbmtog3 less", "ratio");
    for (const Page &p : pages) {
        const std::vector<uint8_t> file = PageFile(p);
        WriteFile(pbm, Pbm(p, kHeight));
        WriteFile(rowPbm, Pbm(p, 1));
        PreparePage(p, file, bmp); // warm up every side
        Pbmtog3(pbm, g3);
        Pbmtog3(rowPbm, rowG3);
        Times ours;
        Times theirs;
        Times startup;
        Times net; // each pair's page run less its row run
        for (int round = 0; round < kRounds; ++round) {
            Measure(ours, kSecondsPerRound, [&] { PreparePage(p, file, bmp); });
            // pbmtog3 in pairs, the page and the row in turn, so that the load
            // of the moment falls on both runs of a pair.
            for (const Clock::time_point start = Clock::now();
                 Clock::now() - start < std::chrono::duration<double>(2 * kSecondsPerRound);) {
                const double page = Seconds([&] { Pbmtog3(pbm, g3); });
                const double row = Seconds([&] { Pbmtog3(rowPbm, rowG3); });
                theirs.seconds.push_back(page);
                startup.seconds.push_back(row);
                net.seconds.push_back(page - row);
            }
        }
        const double oursMs = ours.MedianMs();
        const double theirsMs = theirs.MedianMs();
        const double startupMs = startup.MedianMs();
        const double netMs = net.MedianMs();
        std::printf("%-10s %10.3f %10.3f %10.3f %14.3f %7.2fx\n", p.name.c_str(), oursMs, theirsMs,
                    startupMs, netMs, netMs / oursMs);
        std::printf("result fax.%s.ours_ms %.4f ms\n", p.key.c_str(), oursMs);
        std::printf("result fax.%s.pbmtog3_ms %.4f ms\n", p.key.c_str(), theirsMs);
        std::printf("result fax.%s.pbmtog3_startup_ms %.4f ms\n", p.key.c_str(), startupMs);
        std::printf("result fax.%s.pbmtog3_net_ms %.4f ms\n", p.key.c_str(), netMs);
        std::printf("result fax.%s.ratio %.3f x\n", p.key.c_str(), netMs / oursMs);
    }

    std::printf(
        "\nThe coder alone on the same bitmaps (%d bytes), in memory, beside a copy of them\n",
        kRowBytes * kHeight);
    std::printf("%-10s %14s %14s %10s\n", "page", "coder MB/s", "memcpy MB/s", "share");
    for (const Page &p : pages) {
        double coder = 0;
        double copy = 0;
        CoderSpeed(p, coder, copy);
        std::printf("%-10s %14.0f %14.0f %9.1f%%\n", p.name.c_str(), coder, copy,
                    100 * coder / copy);
        std::printf("result fax.%s.coder_mbs %.1f MB/s\n", p.key.c_str(), coder);
        std::printf("result fax.%s.memcpy_mbs %.1f MB/s\n", p.key.c_str(), copy);
    }

    std::printf("\nPeak heap of PrepareFaxPage on pages of %d x %d, beside the page file it\n"
                "maps (%d KiB), KiB\n",
                kWidth, kTallHeight, (int(kOffset) + kRowBytes * kTallHeight) / 1024);
    std::printf("%-10s %10s %10s\n", "page", "peak heap", "coded");
    for (const Page &p : {White(kTallHeight), Text(dir, kTallHeight), Noise(kTallHeight)}) {
        const long peak = PeakHeap(p, bmp);
        std::ifstream prepared(bmp, std::ios::binary | std::ios::ate);
        const long coded = long(prepared.tellg()) - long(kOffset);
        std::printf("%-10s %10.1f %10.1f\n", p.name.c_str(), peak / 1024.0, coded / 1024.0);
        std::printf("result fax.%s.peak_heap_kb %.1f KiB\n", p.key.c_str(), peak / 1024.0);
        std::printf("result fax.%s.coded_kb %.1f KiB\n", p.key.c_str(), coded / 1024.0);
    }

    const std::string cleanup = "rm -rf " + dir;
    return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
