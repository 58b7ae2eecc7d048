// Reading and writing with the COMMTIMEOUTS meaning, the round trip through
// the far end, and what a vanished far end does to reads and writes. Timing
// bounds are lower bounds that the implementation guarantees, and upper
// bounds with generous room for a loaded machine.
#include "PortHelpers.h"

#include <chrono>
#include <thread>

namespace {

using serialtest::PortTest;
constexpr uint32_t kMaxDword = 0xFFFFFFFFu;

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

std::string Pattern(size_t n) {
    std::string s(n, 0);
    for (size_t i = 0; i < n; ++i)
        s[i] = char(i * 7 + i / 251);
    return s;
}

TEST_F(PortTest, ReadWithNothingEndsAfterTheTotalTimeout) {
    EngineTimeouts(); // 1 ms per byte + 3 ms: 103 ms for 100 bytes
    char buf[100];
    uint32_t got = 99;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(plat::ReadPort(port, buf, 100, &got), 0u);
    double ms = Since(start);
    EXPECT_EQ(got, 0u);
    EXPECT_GE(ms, 103.0);
    EXPECT_LT(ms, 2000.0);
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

TEST_F(PortTest, ImmediateReadTakesWhatIsThere) {
    Timeouts(kMaxDword, 0, 0);
    char buf[16];
    uint32_t got = 99;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(plat::ReadPort(port, buf, 16, &got), 0u);
    EXPECT_EQ(got, 0u);
    EXPECT_LT(Since(start), 500.0);
    pty.Write("xyz");
    ASSERT_TRUE(testing_support::WaitUntil([&] { return InQueue() == 3; }));
    EXPECT_EQ(plat::ReadPort(port, buf, 16, &got), 0u);
    EXPECT_EQ(std::string(buf, got), "xyz");
}

TEST_F(PortTest, FirstByteModeReturnsWithTheFirstArrival) {
    Timeouts(kMaxDword, kMaxDword, 10000);
    char buf[16];
    uint32_t got = 0;
    uint32_t result = 1;
    auto start = std::chrono::steady_clock::now();
    std::thread reader([&] { result = plat::ReadPort(port, buf, 16, &got); });
    pty.Write("k");
    reader.join();
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(std::string(buf, got), "k");
    EXPECT_LT(Since(start), 5000.0);

    Timeouts(kMaxDword, kMaxDword, 50); // and nothing at all: the constant ends it
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(plat::ReadPort(port, buf, 16, &got), 0u);
    EXPECT_EQ(got, 0u);
    EXPECT_GE(Since(start), 50.0);
}

TEST_F(PortTest, IntervalEndsAReadAfterTheLastByte) {
    Timeouts(30, 0, 0); // no total: only the gap after a byte ends the read
    pty.Write("abc");
    char buf[100];
    uint32_t got = 0;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(plat::ReadPort(port, buf, 100, &got), 0u);
    EXPECT_EQ(std::string(buf, got), "abc");
    EXPECT_GE(Since(start), 30.0);
    EXPECT_LT(Since(start), 3000.0);
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

TEST_F(PortTest, NoTimeoutsWaitForTheWholeCount) {
    Timeouts(0, 0, 0);
    char buf[4];
    uint32_t got = 0;
    uint32_t result = 1;
    std::thread reader([&] { result = plat::ReadPort(port, buf, 4, &got); });
    pty.Write("12");
    pty.Write("34");
    reader.join();
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(std::string(buf, got), "1234");
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

TEST_F(PortTest, WriteTheLineCannotTakeEndsWithFewerBytes) {
    plat::CommTimeouts t;
    t.WriteTotalTimeoutConstant = 50;
    ASSERT_TRUE(plat::SetCommTimeouts(port, t));
    std::string big(1 << 20, 'w'); // far more than the far end buffers unread
    uint32_t written = 0;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(plat::WritePort(port, big.data(), uint32_t(big.size()), &written), 0u);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, big.size());
    EXPECT_GE(Since(start), 50.0);
    EXPECT_LT(Since(start), 3000.0);
}

TEST_F(PortTest, VanishedFarEndFailsReadsAndWrites) {
    EngineTimeouts();
    pty.CloseFar();
    char buf[100];
    for (int i = 0; i < 3; ++i) { // every time, at once, not 0 bytes forever
        uint32_t got = 99;
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(plat::ReadPort(port, buf, 100, &got), plat::kErrGenFailure);
        EXPECT_EQ(got, 0u);
        EXPECT_LT(Since(start), 100.0);
    }
    uint32_t written = 99;
    EXPECT_EQ(plat::WritePort(port, "x", 1, &written), plat::kErrGenFailure);
    EXPECT_EQ(written, 0u);
    EXPECT_FALSE(plat::TransmitCommChar(port, 'x'));
    EXPECT_EQ(plat::LastError(), plat::kErrGenFailure);
    EXPECT_FALSE(plat::ClearCommError(port, nullptr, nullptr));
}

TEST_F(PortTest, ClosingWakesAWaitingRead) {
    Timeouts(0, 0, 0); // would wait for ever
    uint32_t result = 0;
    std::thread reader([&] {
        char buf[8];
        uint32_t got = 0;
        result = plat::ReadPort(port, buf, 8, &got);
    });
    plat::ClosePort(port);
    port = plat::kInvalidPort;
    reader.join();
    // Aborted when the read was waiting, or no port when it came too late.
    EXPECT_TRUE(result == plat::kErrOperationAborted || result == plat::kErrInvalidHandle) << result;
}

TEST_F(PortTest, ImmediateCharacterAndFlush) {
    EXPECT_TRUE(plat::TransmitCommChar(port, 'Z'));
    EXPECT_EQ(pty.ReadAtLeast(1), "Z");
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(plat::FlushFileBuffers(port));
    EXPECT_LT(Since(start), 1000.0);
}

TEST_F(PortTest, EmptyRequestsDoNothing) {
    uint32_t n = 9;
    EXPECT_EQ(plat::ReadPort(port, nullptr, 0, &n), 0u);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(plat::WritePort(port, nullptr, 0, &n), 0u);
    EXPECT_EQ(plat::ReadPort(port, nullptr, 5, &n), plat::kErrInvalidParameter);
}

} // namespace
