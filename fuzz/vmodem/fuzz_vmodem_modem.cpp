// Fuzzes the modem with what a DTE could send: the first byte of each record
// says how many bytes follow and how far the clock moves before them.
#include "Modem.h"

#include <cstdint>

namespace {

class CNullHost : public vmodem::IModemHost {
public:
    void SendToDte(std::string_view) override {}
    void Event(const std::string &) override {}
    std::string Keep(const std::string &, const std::string &, std::string_view) override {
        return "-";
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    CNullHost host;
    vmodem::Registers profile = vmodem::DefaultRegisters();
    profile[12] = 1;
    vmodem::CModem modem(host, profile, 100); // calls complete within a few records
    auto now = vmodem::Clock::time_point{};
    size_t i = 0;
    while (i < size) {
        uint8_t head = data[i++];
        size_t n = std::min<size_t>(head & 0x3F, size - i);
        now += std::chrono::milliseconds((head >> 6) * 15);
        modem.Tick(now);
        modem.Receive(data + i, n, now);
        i += n;
        if (head == 0xFF)
            modem.Ring();
        if (head == 0xFE)
            modem.DropCarrier();
    }
    return 0;
}
