// The bytes of the fax line operations, packed least significant bit first,
// reach the far end of the port with every DLE doubled and in the order of
// the calls, once the transmit gate is open; until then they wait in the
// queue.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "PtyPair.h"
#include "falcrest/Falcrest.h"
#include "serial/EngineState.h"

using testing_support::PtyPair;
using testing_support::WaitUntil;

namespace {

int Quiet(uint32_t, uint32_t, uint32_t) {
    return 0;
}

// The bit text packed least significant bit first, each DLE doubled.
std::string Shielded(const std::string &bits) {
    std::string bytes;
    for (size_t at = 0; at < bits.size(); at += 8) {
        char byte = 0;
        for (size_t i = 0; i < 8 && at + i < bits.size(); ++i)
            byte = static_cast<char>(byte | (bits[at + i] != '0') << i);
        bytes.append(byte == '\x10' ? 2 : 1, byte);
    }
    return bytes;
}

} // namespace

TEST(FaxLines, ReachTheFarEndShieldedOnceTheGateOpens) {
    PtyPair pty;
    ASSERT_GT(InitModem(reinterpret_cast<void *>(&Quiet), pty.PortPath().c_str(),
                        "baud=115200 octs=off odsr=off idsr=off xon=off"),
              0);
    // Close the gate, whatever ran before; closing it puts DLE ETX on the line.
    AbortTransfer();
    ASSERT_EQ(pty.ReadAtLeast(2, 5000), "\x10\x03");

    // A page's worth of lines: the test line, coded lines rich in DLE, XON
    // and XOFF bytes, fill across several transmit chunks, EOLs and RTC.
    std::string expected;
    auto send = [&](int result, const std::string &bytes) {
        EXPECT_EQ(result, static_cast<int>(bytes.size()));
        expected += bytes;
    };
    send(SendFAXTestLine(), std::string("\x00\xC8\x0A\xA4\x60\xB7\xC6\x0A", 8));
    std::mt19937 rng(42);
    for (int line = 0; line < 20; ++line) {
        std::string bits;
        const int length = 8 * (1 + static_cast<int>(rng() % 300)) - static_cast<int>(rng() % 8);
        for (int i = 0; i < length; ++i) {
            // Mostly the bits of DLE (0x10), XON (0x11) and XOFF (0x13).
            static const char *kBytes[] = {"00001000", "10001000", "11001000"};
            bits += rng() % 4 != 0 ? kBytes[rng() % 3][i % 8] : static_cast<char>('0' + rng() % 2);
        }
        send(SendFAXLine(bits.c_str()), Shielded(bits));
        send(SendFAXEol(), std::string("\x00\x08", 2));
    }
    // Anything but '0' is a 1 bit; no text is no bytes.
    send(SendFAXLine("x0 0\x80"
                     "0002"),
         "\x15\x01");
    send(SendFAXLine("") + SendFAXLine(nullptr), "");
    // Fill: 2 bytes for each 12 bits, a rest of r bits r / 8 rounded up.
    for (auto [bits, bytes] : {std::pair{6000, 1000}, {20, 3}, {25, 5}, {0, 0}, {INT32_MIN, 0}})
        send(SendFAXGap(bits), std::string(size_t(bytes), '\0'));
    send(SendFAXRTC(), std::string("\x00\x08\x80\x00\x08\x80\x00\x08\x80\x10\x03", 11));

    // Nothing leaves while the gate is closed.
    EXPECT_EQ(pty.ReadFor(200), "");
    EXPECT_EQ(szOutQueue.GetLength(), expected.size());

    // Opening the gate (an empty send) lets the transmit thread take them.
    ASSERT_EQ(SendDataToModem("", 0), 0);
    const std::string arrived = pty.ReadAtLeast(expected.size(), 20000);
    EXPECT_EQ(arrived.size(), expected.size());
    EXPECT_TRUE(arrived == expected) << "the bytes differ";
    EXPECT_EQ(pty.ReadFor(100), "");
    ReleaseModem();
}
