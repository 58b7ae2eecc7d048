// Reading and writing with the COMMTIMEOUTS meaning and the round trip through
// the far end: the cases both serial backends must answer alike, built into
// the POSIX suite and the Windows one (tests/windows/serialport).
#include "PortFixture.h"

#include <thread>

#if defined(_WIN32)
#include "../../windows/strict/StrictWin32.h"
#endif

namespace {

using serialtest::Pattern;
using serialtest::PortTest;
using serialtest::Since;

#if defined(_WIN32)
constexpr double kTotalTimeoutFloorMs = 90.0; // Windows timers may round down a tick
#else
constexpr double kTotalTimeoutFloorMs = 103.0;
#endif

TEST_F(PortTest, TimeoutsReadBack) {
    EngineTimeouts();
    plat::CommTimeouts t;
    ASSERT_TRUE(plat::GetCommTimeouts(port, t));
    EXPECT_EQ(t.ReadIntervalTimeout, 5u);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 1u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 3u);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 1u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 1u);
}

TEST_F(PortTest, ReadWithNothingEndsAfterTheTotalTimeout) {
    EngineTimeouts(); // 1 ms per byte + 3 ms: 103 ms for 100 bytes
    char buf[100];
    for (int i = 0; i < 3; ++i) {
        uint32_t got = 99;
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(plat::ReadPort(port, buf, 100, &got), 0u); // a time-out is no failure
        double ms = Since(start);
        EXPECT_EQ(got, 0u);
        EXPECT_GE(ms, kTotalTimeoutFloorMs);
        EXPECT_LT(ms, 2000.0);
    }
}

TEST_F(PortTest, ReadReturnsAFullBlockAtOnce) {
    EngineTimeouts();
    std::string data = Pattern(250);
    pty.Write(data);
    ASSERT_TRUE(testing_support::WaitUntil([&] { return InQueue() == 250; }));
    char buf[100];
    std::string got;
    for (int i = 0; i < 2; ++i) {
        uint32_t n = 0;
        EXPECT_EQ(plat::ReadPort(port, buf, 100, &n), 0u);
        EXPECT_EQ(n, 100u);
        got.append(buf, n);
    }
    uint32_t n = 0; // the rest, once the gap after it has passed
    EXPECT_EQ(plat::ReadPort(port, buf, 100, &n), 0u);
    got.append(buf, n);
    EXPECT_EQ(got, data);
}

TEST_F(PortTest, TotalTimeoutWaitsForAllBytes) {
    Timeouts(0, 0, 10000);
    char buf[6];
    uint32_t got = 0;
    uint32_t result = 1;
    std::thread reader([&] { result = plat::ReadPort(port, buf, 6, &got); });
    pty.Write("abc");
    pty.Write("def");
    reader.join(); // returns when the 6 bytes are in, long before 10 s
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(std::string(buf, got), "abcdef");
}

TEST_F(PortTest, RoundTripThroughTheFarEnd) {
    EngineTimeouts();
    std::string out = Pattern(3000);
    uint32_t written = 0;
    EXPECT_EQ(plat::WritePort(port, out.data(), uint32_t(out.size()), &written), 0u);
    EXPECT_EQ(written, out.size());
    EXPECT_EQ(pty.ReadAtLeast(out.size()), out);

    std::string in = Pattern(5000).substr(1000);
    pty.Write(in);
    std::string got;
    char buf[100];
    ASSERT_TRUE(testing_support::WaitUntil([&] {
        uint32_t n = 0;
        EXPECT_EQ(plat::ReadPort(port, buf, sizeof buf, &n), 0u);
        got.append(buf, n);
        return got.size() >= in.size();
    }));
    EXPECT_EQ(got, in);
}

TEST_F(PortTest, IntervalEndsAReadAfterTheLastByte) {
    Timeouts(30, 0, 0); // no total: only the gap after a byte ends the read
    pty.Write("abc");
    ASSERT_TRUE(testing_support::WaitUntil([&] { return InQueue() == 3; }));
    char buf[100];
    uint32_t got = 0;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(plat::ReadPort(port, buf, 100, &got), 0u);
    EXPECT_EQ(std::string(buf, got), "abc");
    EXPECT_LT(Since(start), 3000.0);
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
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(plat::FlushFileBuffers(port));
    EXPECT_LT(Since(start), 1000.0);
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
