// Reading and writing on POSIX: the time-out modes Wine cannot show, a write
// the line cannot take, and what a vanished far end or a close does to reads
// and writes (the cases both backends share are in PortIoSharedTest.cpp).
#include "PortFixture.h"

#include <thread>

namespace {

using serialtest::PortTest;
constexpr uint32_t kMaxDword = 0xFFFFFFFFu;

// Reads of up to 16 bytes under the given time-outs while the far end writes
// "abc", from a thread: a read that waited for something else would hang.
TEST_F(PortTest, ReadTimeoutModesTakeWhatArrives) {
    struct {
        uint32_t interval, multiplier, constant;
        uint32_t count;
    } modes[] = {
        {kMaxDword, kMaxDword, 10000, 16}, // returns with the first arrival
        {0, 0, 0, 3},                      // no time-outs: the whole count
    };
    for (const auto &m : modes) {
        Timeouts(m.interval, m.multiplier, m.constant);
        char buf[16];
        uint32_t got = 0, result = 1;
        std::thread reader([&] { result = plat::ReadPort(port, buf, m.count, &got); });
        pty.Write("abc");
        reader.join();
        EXPECT_EQ(result, 0u);
        std::string read(buf, got);
        if (read.size() < 3) { // the first-arrival mode may see the bytes one by one
            ASSERT_TRUE(testing_support::WaitUntil([&] { return InQueue() > 0; }));
            EXPECT_EQ(plat::ReadPort(port, buf, 16, &got), 0u);
            read.append(buf, got);
        }
        EXPECT_EQ(read, "abc") << m.interval;
    }
}

TEST_F(PortTest, WriteTheLineCannotTakeEndsWithFewerBytes) {
    plat::CommTimeouts t;
    t.WriteTotalTimeoutConstant = 50;
    ASSERT_TRUE(plat::SetCommTimeouts(port, t));
    std::string big(1 << 20, 'w'); // far more than the far end buffers unread
    uint32_t written = 0;
    EXPECT_EQ(plat::WritePort(port, big.data(), uint32_t(big.size()), &written), 0u);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, big.size());
}

TEST_F(PortTest, VanishedFarEndFailsReadsAndWrites) {
    EngineTimeouts();
    pty.CloseFar();
    char buf[100];
    for (int i = 0; i < 2; ++i) { // every time, not 0 bytes forever
        uint32_t got = 99;
        EXPECT_EQ(plat::ReadPort(port, buf, 100, &got), plat::kErrGenFailure);
        EXPECT_EQ(got, 0u);
    }
    uint32_t written = 99;
    EXPECT_EQ(plat::WritePort(port, "x", 1, &written), plat::kErrGenFailure);
    EXPECT_EQ(written, 0u);
    EXPECT_FALSE(plat::TransmitCommChar(port, 'x'));
    EXPECT_EQ(plat::LastError(), plat::kErrGenFailure);
    EXPECT_FALSE(plat::ClearCommError(port, nullptr, nullptr));
}

// An idle reader's wait ends when bytes arrive, and not before.
TEST_F(PortTest, WaitForInputEndsOnData) {
    EXPECT_FALSE(plat::WaitForInput(port, 20));
    pty.Write("x");
    EXPECT_TRUE(plat::WaitForInput(port, 5000));
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
