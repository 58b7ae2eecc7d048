// Reading and writing with the COMMTIMEOUTS meaning: the cases both serial
// backends must answer alike, built into the POSIX suite and the Windows one
// (tests/windows/serialport).
#include "PortFixture.h"

#include <chrono>

#if defined(_WIN32)
#include "../../windows/strict/StrictWin32.h"
#endif

namespace {

using serialtest::PortTest;

#if defined(_WIN32)
constexpr double kTotalTimeoutFloorMs = 90.0; // Windows timers may round down a tick
#else
constexpr double kTotalTimeoutFloorMs = 103.0;
#endif

// With the engine's time-outs a read with nothing waits out the total (1 ms
// per byte + 3 ms) and is no failure: a read that returned at once would make
// the engine's receive loop spin.
TEST_F(PortTest, ReadWithNothingEndsAfterTheTotalTimeout) {
    Timeouts(5, 1, 3, 1, 1); // the engine's
    char buf[100];
    uint32_t got = 99;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(plat::ReadPort(port, buf, 100, &got), 0u);
    EXPECT_EQ(got, 0u);
    std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took.count(), kTotalTimeoutFloorMs);
}

// One immediate character at a time: at 300 baud one takes 33 ms, and a
// second one is refused until the first has left, which the status shows.
TEST_F(PortTest, ImmediateCharactersOneAtATimeAndFlush) {
    plat::Dcb dcb;
    ASSERT_TRUE(plat::GetCommState(port, dcb));
    dcb.BaudRate = 300;
    ASSERT_TRUE(plat::SetCommState(port, dcb));
    auto txim = [&] {
        plat::ComStat status;
        return plat::ClearCommError(port, nullptr, &status) && (status.flags & 0x40);
    };
    EXPECT_TRUE(plat::TransmitCommChar(port, 'Y'));
    EXPECT_TRUE(txim());
    EXPECT_FALSE(plat::TransmitCommChar(port, 'Z'));
#if defined(_WIN32)
    EXPECT_EQ(plat::checked::TakeBrokenRules().size(), 1u); // the test build's check caught it
#endif
    ASSERT_TRUE(testing_support::WaitUntil([&] { return !txim(); }));
    EXPECT_TRUE(plat::TransmitCommChar(port, 'Z'));
    EXPECT_EQ(pty.ReadAtLeast(2), "YZ");
    EXPECT_TRUE(plat::FlushFileBuffers(port));
}

// A closed port's handle stays dead: the next port, which the system may
// give the same descriptor or handle, gets a handle of its own.
TEST_F(PortTest, AClosedHandleNeverReachesTheNextPort) {
    const plat::PortHandle old = port;
    ASSERT_TRUE(plat::ClosePort(old));
    port = plat::OpenPort(pty.PortPath().c_str());
    ASSERT_NE(port, plat::kInvalidPort);
    EXPECT_NE(port, old);
    uint32_t n = 0;
    EXPECT_EQ(plat::WritePort(old, "x", 1, &n), plat::kErrInvalidHandle);
    EXPECT_FALSE(plat::TransmitCommChar(old, 'y'));
    EXPECT_FALSE(plat::ClosePort(old));
    EXPECT_EQ(pty.ReadFor(50), "");
}

TEST_F(PortTest, EmptyRequestsDoNothing) {
    uint32_t read = 9, written = 9;
    EXPECT_EQ(plat::ReadPort(port, nullptr, 0, &read) + plat::WritePort(port, nullptr, 0, &written),
              0u);
    EXPECT_EQ(read + written, 0u);
    EXPECT_EQ(plat::ReadPort(port, nullptr, 5, &read), plat::kErrInvalidParameter);
    EXPECT_EQ(plat::WritePort(port, nullptr, 5, &read), plat::kErrInvalidParameter);
}

} // namespace
