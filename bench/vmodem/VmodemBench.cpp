// How fast vmodem takes in what the DTE sends. A 3 Mbaud line carries
// 300 000 bytes per second (10 bits per byte); every figure here must stay
// well above that. The page decoder is compared with netpbm's g3topbm
// decoding the same page (its figure includes starting the process).
#include "MhDecoder.h"
#include "Modem.h"
#include "VmodemClient.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

// A busy page: pbmtog3 codes a pattern of fine stripes, bits in line order.
const std::string &PageData() {
    static const std::string page = [] {
        std::string pbm = "P4\n1728 2000\n";
        for (int y = 0; y < 2000; ++y)
            for (int x = 0; x < 216; ++x)
                pbm += char((x * 7 + y * 13) % 5 == 0 ? 0xF0 >> (y % 4)
                            : (x + y) % 3             ? 0x00
                                                      : 0x81);
        std::string path = "/tmp/bench-vmodem-" + std::to_string(getpid()) + ".pbm";
        FILE *f = std::fopen(path.c_str(), "wb");
        std::fwrite(pbm.data(), 1, pbm.size(), f);
        std::fclose(f);
        std::string g3;
        FILE *p = popen(("pbmtog3 -reversebits " + path + " 2>/dev/null").c_str(), "r");
        char buf[65536];
        size_t n;
        while (p && (n = fread(buf, 1, sizeof buf, p)) > 0)
            g3.append(buf, n);
        if (p)
            pclose(p);
        std::remove(path.c_str());
        return g3;
    }();
    return page;
}

void BM_DecodePage(benchmark::State &state) {
    const std::string &g3 = PageData();
    for (auto _ : state) {
        auto page = vmodem::DecodeMhPage(reinterpret_cast<const uint8_t *>(g3.data()), g3.size());
        benchmark::DoNotOptimize(page.rows.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations() * g3.size()));
}
BENCHMARK(BM_DecodePage)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PeerG3topbm(benchmark::State &state) {
    const std::string &g3 = PageData();
    std::string path = "/tmp/bench-vmodem-" + std::to_string(getpid()) + ".g3";
    FILE *f = std::fopen(path.c_str(), "wb");
    std::fwrite(g3.data(), 1, g3.size(), f);
    std::fclose(f);
    std::string command = "g3topbm -reversebits " + path + " >/dev/null 2>&1";
    for (auto _ : state)
        benchmark::DoNotOptimize(std::system(command.c_str()));
    std::remove(path.c_str());
    state.SetBytesProcessed(int64_t(state.iterations() * g3.size()));
}
BENCHMARK(BM_PeerG3topbm)->Unit(benchmark::kMillisecond)->UseRealTime();

class CNullHost : public vmodem::IModemHost {
public:
    void SendToDte(std::string_view) override {}
    void Event(const std::string &) override {}
    std::string Keep(const std::string &, const std::string &, std::string_view) override {
        return "-";
    }
};

// The modem's receive path alone: 4 MiB of format 8 voice data, each read as
// large as the modem takes, the clock moving on as the line drains.
void BM_ModemVoiceReceive(benchmark::State &state) {
    std::string data;
    for (size_t i = 0; data.size() < (4u << 20); ++i) {
        char c = char((i * 2654435761u) >> 13);
        data += c;
        if (c == '\x10')
            data += c;
    }
    data += "\x10\x03";
    for (auto _ : state) {
        CNullHost host;
        vmodem::CModem modem(host, vmodem::DefaultRegisters(), 1000);
        auto now = vmodem::Clock::now();
        for (std::string line : {"ATE0+FCLASS=8;+VSM=8;+VLS=1\r", "AT+VTX\r"})
            modem.Receive(reinterpret_cast<const uint8_t *>(line.data()), line.size(), now);
        for (size_t i = 0; i < data.size();) {
            size_t n = std::min(modem.Acceptable(true), data.size() - i);
            modem.Receive(reinterpret_cast<const uint8_t *>(data.data()) + i, n, now);
            i += n;
            now += std::chrono::microseconds(100);
            modem.Tick(now);
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations() * data.size()));
}
BENCHMARK(BM_ModemVoiceReceive)->Unit(benchmark::kMillisecond);

// End to end: a voice stream written to vmodem's port until its OK.
void BM_PtyVoiceStream(benchmark::State &state) {
    vmodem_client::CVmodem modem({"--clock-scale", "1000"});
    vmodem_client::CPort port(modem.PortPath());
    std::string data(8u << 20, 'v');
    for (size_t i = 0; i < data.size(); i += 97)
        data[i] = char(i);
    std::string shielded;
    for (char c : data) {
        shielded += c;
        if (c == '\x10')
            shielded += c;
    }
    shielded += "\x10\x03";
    port.Write("ATE0+FCLASS=8;+VSM=8;+VLS=1\r");
    port.ReadUntil("OK\r\n");
    for (auto _ : state) {
        port.Write("AT+VTX\r");
        port.ReadUntil("CONNECT\r\n");
        port.Write(shielded);
        port.ReadUntil("OK\r\n", 60000);
    }
    state.SetBytesProcessed(int64_t(state.iterations() * shielded.size()));
}
BENCHMARK(BM_PtyVoiceStream)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
