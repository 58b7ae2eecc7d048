// Pages per second of PrepareFaxPage on A4 pages of 864 x 1100 pixels (all
// white, text, 50% noise), the preparation of the file included, beside
// netpbm's pbmtog3 coding the equivalent 1728-pel page in the same run.
//
// Each PrepareFaxPage pass writes the bitmap file afresh (the coding is done
// in place) and prepares it. Each pbmtog3 pass is one run of the program
// from a PBM file to a G3 file; its start-up alone is measured on a page of
// one row and shown apart. Every figure is also printed as
// "result <key> <value> <unit>".
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "falcrest/Falcrest.h"

extern char **environ;

namespace {

constexpr int kWidth = 864;
constexpr int kHeight = 1100;
constexpr int kRowBytes = kWidth / 8;
constexpr uint32_t kOffset = 62;
constexpr int kRounds = 4;
constexpr double kSecondsPerRound = 0.4;

using Clock = std::chrono::steady_clock;

// Bit 1 white, most significant bit leftmost.
struct Page {
    std::string name;
    std::string key;
    std::vector<uint8_t> bits = std::vector<uint8_t>(size_t(kRowBytes) * kHeight, 0xFF);
    void SetBlack(int x, int y) {
        bits[size_t(y) * kRowBytes + x / 8] &= uint8_t(~(0x80 >> (x % 8)));
    }
    bool Black(int x, int y) const {
        return !((bits[size_t(y) * kRowBytes + x / 8] >> (7 - x % 8)) & 1);
    }
};

Page Noise() {
    Page p{"50% noise", "noise"};
    std::mt19937 rng(1);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            if (rng() & 1)
                p.SetBlack(x, y);
    return p;
}

// Lines of prose rendered by pbmtext, repeated down the page.
Page Text(const std::string &dir) {
    Page p{"text", "text"};
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
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth && x < w; ++x) {
            const int sy = y % h;
            if ((uint8_t(pbm[at + size_t(sy) * rowBytes + x / 8]) >> (7 - x % 8)) & 1)
                p.SetBlack(x, y);
        }
    return p;
}

std::vector<uint8_t> PageFile(const Page &p) {
    std::vector<uint8_t> file(kOffset, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            file[at + i] = uint8_t(v >> (8 * i));
    };
    file.insert(file.end(), p.bits.begin(), p.bits.end());
    file[0] = 'B';
    file[1] = 'M';
    put32(2, uint32_t(file.size()));
    put32(10, kOffset);
    put32(14, 40);
    put32(18, kWidth);
    put32(22, kHeight);
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

// Runs per second of a piece of work, measured in rounds that alternate with
// the other side's, so that a change in the machine's load falls on both.
struct Rate {
    int runs = 0;
    double seconds = 0;
    double PerSecond() const { return seconds > 0 ? runs / seconds : 0; }
};

template <typename F> void Measure(Rate &rate, double forSeconds, F &&body) {
    const Clock::time_point start = Clock::now();
    double elapsed = 0;
    int runs = 0;
    do {
        body();
        ++runs;
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    } while (elapsed < forSeconds || runs < 3);
    rate.runs += runs;
    rate.seconds += elapsed;
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

} // namespace

// Argument: the folder for the page files (default /tmp).
int main(int argc, char **argv) {
    std::string pattern = std::string(argc > 1 ? argv[1] : "/tmp") + "/bench-fax-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror(pattern.c_str());
        return 1;
    }
    const std::string dir = pattern;
    const std::vector<Page> pages = {Page{"all white", "white"}, Text(dir), Noise()};

    std::printf(
        "PrepareFaxPage vs pbmtog3, pages of %d x %d pixels (%d pels a line), files in %s\n",
        kWidth, kHeight, 2 * kWidth, dir.c_str());
    std::printf("%-10s %16s %16s %8s\n", "page", "Falcrest pg/s", "pbmtog3 pg/s", "ratio");
    const std::string bmp = dir + "/page.bmp";
    const std::string pbm = dir + "/page.pbm";
    const std::string g3 = dir + "/page.g3";
    for (const Page &p : pages) {
        const std::vector<uint8_t> file = PageFile(p);
        WriteFile(pbm, Pbm(p, kHeight));
        PreparePage(p, file, bmp); // warm up both
        Pbmtog3(pbm, g3);
        Rate ours;
        Rate theirs;
        for (int round = 0; round < kRounds; ++round) {
            Measure(ours, kSecondsPerRound, [&] { PreparePage(p, file, bmp); });
            Measure(theirs, kSecondsPerRound, [&] { Pbmtog3(pbm, g3); });
        }
        std::printf("%-10s %16.1f %16.1f %7.1fx\n", p.name.c_str(), ours.PerSecond(),
                    theirs.PerSecond(), ours.PerSecond() / theirs.PerSecond());
        std::printf("result fax.%s.ours %.2f pages/s\n", p.key.c_str(), ours.PerSecond());
        std::printf("result fax.%s.pbmtog3 %.2f pages/s\n", p.key.c_str(), theirs.PerSecond());
    }
    // What of pbmtog3's time is its start-up: a page of a single white row.
    WriteFile(dir + "/row.pbm", Pbm(Page{"one row", "row"}, 1));
    Rate startup;
    Measure(startup, kSecondsPerRound, [&] { Pbmtog3(dir + "/row.pbm", dir + "/row.g3"); });
    std::printf("pbmtog3 on a one-row page (start-up): %.1f runs/s (%.2f ms a run)\n",
                startup.PerSecond(), 1000.0 / startup.PerSecond());
    std::printf("result fax.pbmtog3_startup %.3f ms\n", 1000.0 / startup.PerSecond());

    const std::string cleanup = "rm -rf " + dir;
    return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
