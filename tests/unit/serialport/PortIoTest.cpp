// Reading and writing on POSIX: the time-out modes Wine cannot show, a write
// the line cannot take, and what a vanished far end does to reads and
// writes (the cases both backends share are in PortIoSharedTest.cpp). Timing
// bounds are lower bounds that the implementation guarantees, and upper
// bounds with generous room for a loaded machine.
#include "PortFixture.h"

#include <chrono>
#include <thread>

namespace {

using serialtest::PortTest;
using serialtest::Since;
constexpr uint32_t kMaxDword = 0xFFFFFFFFu;

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
    EXPECT_TRUE(result == plat::kErrOperationAborted || result == plat::kErrInvalidHandle)
        << result;
}

} // namespace
