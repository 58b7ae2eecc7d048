// The bytes of the fax line operations, packed least significant bit first,
// reach the far end of the port with every DLE doubled and in the order of
// the calls, once the transmit gate is open; until then they wait in the
// queue.
#include <gtest/gtest.h>

#include <string>

#include "PtyPair.h"
#include "falcrest/Falcrest.h"
#include "serial/EngineState.h"

namespace {

int Quiet(uint32_t, uint32_t, uint32_t) {
    return 0;
}

} // namespace

TEST(FaxLines, ReachTheFarEndShieldedOnceTheGateOpens) {
    testing_support::PtyPair pty;
    ASSERT_GT(InitModem(reinterpret_cast<void *>(&Quiet), pty.PortPath().c_str(),
                        "baud=115200 octs=off odsr=off idsr=off xon=off"),
              0);
    // Close the gate, whatever ran before; closing it puts DLE ETX on the line.
    AbortTransfer();
    ASSERT_EQ(pty.ReadAtLeast(2, 5000), "\x10\x03");

    std::string expected;
    auto send = [&](int result, const std::string &bytes) {
        EXPECT_EQ(result, static_cast<int>(bytes.size()));
        expected += bytes;
    };
    using S = std::string;
    send(SendFAXTestLine(), S("\x00\xC8\x0A\xA4\x60\xB7\xC6\x0A", 8));
    // DLE, XON, XOFF and DLE ETX, over several transmit chunks: the page's
    // own DLE ETX must stay the only one.
    std::string bits, shielded;
    for (int i = 0; i < 300; ++i)
        bits += "0000100010001000110010000000100011000000",
            shielded += "\x10\x10\x11\x13\x10\x10\x03";
    send(SendFAXLine((bits + "1").c_str()), shielded + "\x01");
    send(SendFAXEol(), S("\x00\x08", 2));
    send(SendFAXLine("x0 0\x80"
                     "0002"),
         "\x15\x01"); // anything but '0' is a 1 bit
    send(SendFAXLine("") + SendFAXLine(nullptr), "");
    // Fill: 2 bytes for each 12 bits, a rest of r bits r / 8 rounded up.
    for (auto [gapBits, zeros] : {std::pair{6000, 1000}, {20, 3}, {25, 5}, {0, 0}, {INT32_MIN, 0}})
        send(SendFAXGap(gapBits), S(size_t(zeros), '\0'));
    send(SendFAXRTC(), S("\x00\x08\x80\x00\x08\x80\x00\x08\x80\x10\x03", 11));

    // Setting up the render port, with no printer drivers to list, queues
    // nothing; and nothing leaves while the gate is closed.
    EXPECT_EQ(SetupRenderPort(), 0);
    EXPECT_EQ(pty.ReadFor(200), "");
    EXPECT_EQ(szOutQueue.GetLength(), expected.size());
    // Opening the gate (an empty send) lets the transmit thread take them.
    ASSERT_EQ(SendDataToModem("", 0), 0);
    EXPECT_TRUE(pty.ReadAtLeast(expected.size(), 20000) == expected) << "the bytes differ";
    EXPECT_EQ(pty.ReadFor(100), "");
    ReleaseModem();
}
