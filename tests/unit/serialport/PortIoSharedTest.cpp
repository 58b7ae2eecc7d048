// Reading and writing with the COMMTIMEOUTS meaning and the round trip through
// the far end: the cases both serial backends must answer alike, built into
// the POSIX suite and the Windows one (tests/windows/serialport).
#include "PortFixture.h"

namespace {

using serialtest::PortTest;

#if defined(_WIN32)
constexpr double kTotalTimeoutFloorMs = 90.0; // Windows timers may round down a tick
#else
constexpr double kTotalTimeoutFloorMs = 103.0;
#endif

// The engine's time-outs read back, and a read with nothing waits out the
// total (1 ms per byte + 3 ms) and is no failure: a read that returned at
// once would make the engine's receive loop spin.
TEST_F(PortTest, ReadWithNothingEndsAfterTheTotalTimeout) {
    EngineTimeouts();
    plat::CommTimeouts t;
    ASSERT_TRUE(plat::GetCommTimeouts(port, t));
    EXPECT_EQ(std::vector<uint32_t>({t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                                     t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                                     t.WriteTotalTimeoutConstant}),
              std::vector<uint32_t>({5, 1, 3, 1, 1}));
    char buf[100];
    uint32_t got = 99;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(plat::ReadPort(port, buf, 100, &got), 0u);
    EXPECT_EQ(got, 0u);
    EXPECT_GE(serialtest::Since(start), kTotalTimeoutFloorMs);
}

// Out in one write, in through full blocks at once and the rest after the
// gap that follows it.
TEST_F(PortTest, RoundTripThroughTheFarEnd) {
    EngineTimeouts();
    std::string out = serialtest::Pattern(3000);
    uint32_t written = 0;
    EXPECT_EQ(plat::WritePort(port, out.data(), uint32_t(out.size()), &written), 0u);
    EXPECT_EQ(written, out.size());
    EXPECT_EQ(pty.ReadAtLeast(out.size()), out);

    std::string in = serialtest::Pattern(5000).substr(1000, 250);
    pty.Write(in);
    ASSERT_TRUE(testing_support::WaitUntil([&] { return InQueue() == in.size(); }));
    std::string got;
    char buf[100];
    for (uint32_t expected : {100u, 100u, 50u}) {
        uint32_t n = 0;
        EXPECT_EQ(plat::ReadPort(port, buf, sizeof buf, &n), 0u);
        EXPECT_EQ(n, expected);
        got.append(buf, n);
    }
    EXPECT_EQ(got, in);
}

TEST_F(PortTest, ImmediateCharacterAndFlush) {
    EXPECT_TRUE(plat::TransmitCommChar(port, 'Z'));
    EXPECT_EQ(pty.ReadAtLeast(1), "Z");
    EXPECT_TRUE(plat::FlushFileBuffers(port));
}

TEST_F(PortTest, EmptyRequestsDoNothing) {
    uint32_t n = 9;
    EXPECT_EQ(plat::ReadPort(port, nullptr, 0, &n), 0u);
    EXPECT_EQ(n, 0u);
    n = 9;
    EXPECT_EQ(plat::WritePort(port, nullptr, 0, &n), 0u);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(plat::ReadPort(port, nullptr, 5, &n), plat::kErrInvalidParameter);
    EXPECT_EQ(plat::WritePort(port, nullptr, 5, &n), plat::kErrInvalidParameter);
}

} // namespace
