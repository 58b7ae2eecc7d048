// Reading on POSIX: the time-out modes Wine cannot show, waiting for input,
// and what a vanished far end does to reads and writes (the cases both
// backends share are in PortIoSharedTest.cpp).
#include "PortFixture.h"

#include <thread>

namespace {

using serialtest::PortTest;

// Reads while the far end writes "abc", from a thread (a read that waited
// for something else would hang): up to 16 bytes with MAXDWORD interval and
// multiplier (back with the first arrival), exactly 3 without time-outs (the
// whole count), up to 16 with only an interval (the gap after a byte ends it).
TEST_F(PortTest, ReadTimeoutModesTakeWhatArrives) {
    const uint32_t most = 0xFFFFFFFFu;
    const uint32_t modes[][4] = {{16, most, most, 10000}, {3, 0, 0, 0}, {16, 30, 0, 0}};
    for (const auto &[count, interval, multiplier, constant] : modes) {
        Timeouts(interval, multiplier, constant);
        char buf[16];
        uint32_t got = 0, result = 1;
        std::thread reader([&, count = count] { result = plat::ReadPort(port, buf, count, &got); });
        pty.Write("abc");
        reader.join();
        EXPECT_EQ(result, 0u);
        std::string read(buf, got);
        // The first-arrival mode may see the bytes one by one.
        while (read.size() < 3 && plat::ReadPort(port, buf, 16, &got) == 0 && got)
            read.append(buf, got);
        EXPECT_EQ(read, "abc") << interval;
    }
}

// An idle reader's wait ends when bytes arrive, and not before; once the far
// end has gone, reads fail every time (not 0 bytes for ever), and so do writes.
TEST_F(PortTest, WaitForInputAndAVanishedFarEnd) {
    EXPECT_FALSE(plat::WaitForInput(port, 20));
    pty.Write("x");
    EXPECT_TRUE(plat::WaitForInput(port, 5000));
    Timeouts(5, 1, 3, 1, 1); // the engine's
    char buf[100];
    uint32_t got = 99, written = 99;
    ASSERT_EQ(plat::ReadPort(port, buf, 100, &got), 0u);
    pty.CloseFar();
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(plat::ReadPort(port, buf, 100, &got), plat::kErrGenFailure);
    EXPECT_EQ(plat::WritePort(port, "x", 1, &written), plat::kErrGenFailure);
    EXPECT_EQ(got + written, 0u);
    EXPECT_FALSE(plat::TransmitCommChar(port, 'x'));
    EXPECT_EQ(plat::LastError(), plat::kErrGenFailure);
    EXPECT_FALSE(plat::ClearCommError(port, nullptr, nullptr));
}

} // namespace
