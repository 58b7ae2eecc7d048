// Prints how fast voice data is shielded (per format, in 1000-byte blocks as
// playback reads them) and how many spoken amounts are built per second.
// Every figure is also printed as "result <key> <value> <unit>".
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "voice/Shield.h"
#include "voice/VUtil32.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

int main() {
    // 16 MiB of voice-like data with a DLE in about every 64 bytes.
    std::mt19937 rng(42);
    std::vector<uint8_t> data(16u << 20);
    for (auto &b : data)
        b = rng() % 64 == 0 ? 0x10 : uint8_t(rng());
    std::vector<uint8_t> out(2 * voice::kBlockSize);

    for (uint32_t format : {1u, 4u, 7u, 8u}) {
        size_t written = 0;
        auto start = std::chrono::steady_clock::now();
        for (size_t pos = 0; pos < data.size();) {
            uint32_t n = uint32_t(std::min<size_t>(voice::kBlockSize, data.size() - pos));
            auto r = voice::ShieldVoiceBlock(data.data() + pos, n, format, pos + n < data.size(),
                                             out.data());
            pos += r.consumed;
            written += r.written;
        }
        double s = Seconds(start);
        std::printf("shield format %u: %.0f MB/s of file data (%zu bytes out)\n", format,
                    double(data.size()) / s / 1e6, written);
        std::printf("result voice.shield.format%u %.1f MB/s\n", format,
                    double(data.size()) / s / 1e6);
    }

    const long double amounts[] = {1021.5L, 123456789012.34L, 21000, 0.5L, 999999999999.99L};
    char text[voice::kTextualNumberSize];
    const int rounds = 200000;
    size_t total = 0;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i)
        total += voice::BuildNumberText(amounts[i % 5], text, sizeof text);
    double s = Seconds(start);
    std::printf("spoken amounts: %.0f texts/s (%.2f us each, %zu bytes)\n", rounds / s,
                s / rounds * 1e6, total);
    std::printf("result voice.amounts %.0f texts/s\n", rounds / s);
    return 0;
}
