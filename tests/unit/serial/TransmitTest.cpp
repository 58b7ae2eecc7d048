// The transmit path over a pseudo-terminal: chunking, the gate, priority
// bytes and the queue resets.
#include <gtest/gtest.h>

#include <string>

#include "PtyPair.h"
#include "serial/Engine.h"
#include "serial/Workers.h"

using testing_support::PtyPair;
using testing_support::WaitUntil;

namespace {

int IgnoreNotifications(uint32_t, uint32_t, uint32_t) { return 0; }

// WriteComm on its own: the port is open but no worker runs.
TEST(WriteCommTest, SendsAtMostOneChunkPerCall) {
    PtyPair pty;
    idComDev = plat::OpenPort(pty.PortPath().c_str());
    ASSERT_NE(idComDev.load(), plat::kInvalidPort);
    std::string data(600, 'q');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = char('a' + i % 26);
    szOutQueue.Append(data.data(), uint32_t(data.size()));

    uint32_t sizes[4];
    plat::ComStat status;
    for (uint32_t &size : sizes) {
        size = 99;
        EXPECT_EQ(WriteComm(size, &status), 0u);
    }
    EXPECT_EQ(sizes[0], 250u);
    EXPECT_EQ(sizes[1], 250u);
    EXPECT_EQ(sizes[2], 100u);
    EXPECT_EQ(sizes[3], 0u);
    EXPECT_EQ(pty.ReadAtLeast(600), data);
    plat::ClosePort(idComDev.exchange(plat::kInvalidPort));
}

// A pass that finds no port open takes nothing out of the queues.
TEST(WriteCommTest, PassesWithoutAPortTakeNothing) {
    ASSERT_EQ(idComDev.load(), plat::kInvalidPort);
    szOutQueue.Append("kept", 4);
    uint32_t written = 99;
    plat::ComStat status;
    EXPECT_EQ(WriteComm(written, &status), 0u);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(szOutQueue.GetLength(), 4u);
    szOutQueue.Reset();

    uint32_t count = 99;
    EXPECT_EQ(ReadComm(count), 0u);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(szInQueue.GetLength(), 0u);
}

class Transmit : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GT(InitModem(reinterpret_cast<void *>(&IgnoreNotifications), pty.PortPath().c_str(),
                            "baud=115200 octs=off odsr=off xon=off"),
                  0);
    }
    void TearDown() override { ReleaseModem(); }
    PtyPair pty;
};

TEST_F(Transmit, SendFunctionsRefuseWithoutAPort) {
    ReleaseModem();
    EXPECT_EQ(SendDataToModem("x", 1), FALCREST_ERR_NOPORT);
    EXPECT_EQ(SendStringToModem("x"), FALCREST_ERR_NOPORT);
    EXPECT_EQ(SendByteToModem('x'), FALCREST_ERR_NOPORT);
    EXPECT_EQ(szOutQueue.GetLength(), 0u);
    EXPECT_EQ(ShortBreak(10), 0);
    // Without a port the end-of-data pair has nowhere to go: only the queue empties.
    szOutQueue.Append("dropped", 7);
    ResetQueueAndRTC();
    EXPECT_EQ(szOutQueue.GetLength(), 0u);
    EXPECT_EQ(pty.ReadFor(50), "");
}

TEST_F(Transmit, KeysAndStringsReachTheFarEndInOrder) {
    EXPECT_EQ(SendDataToModem(nullptr, 1), FALCREST_ERR_NOPORT);
    EXPECT_EQ(SendStringToModem(nullptr), FALCREST_ERR_NOPORT);
    EXPECT_EQ(SendStringToModem("ATI\r"), 0);
    EXPECT_EQ(SendDataToModem("Z", 1), 0);
    EXPECT_EQ(pty.ReadAtLeast(5), "ATI\rZ");
}

TEST_F(Transmit, AbortClosesTheGateUntilTheNextSend) {
    EXPECT_EQ(AbortTransfer(), 1);
    EXPECT_EQ(bTransfer.load(), 0);
    EXPECT_EQ(pty.ReadAtLeast(2), "\x10\x03");
    EXPECT_EQ(PostETX(), 2);
    EXPECT_EQ(pty.ReadFor(150), "");
    EXPECT_EQ(szOutQueue.GetLength(), 2u);
    SendDataToModem("k", 1);
    EXPECT_EQ(pty.ReadAtLeast(3), "\x10\x03k");
}

TEST_F(Transmit, PriorityByteGoesAheadOfTheQueue) {
    AbortTransfer();
    pty.ReadAtLeast(2);
    PostETX();
    EXPECT_EQ(SendByteToModem(0x141), 0);
    EXPECT_EQ(pty.ReadAtLeast(1), "A");
    EXPECT_EQ(szOutQueue.GetLength(), 2u);
}

TEST_F(Transmit, ResetQueueAndRtcDropsTheQueueAndEndsTheData) {
    AbortTransfer();
    pty.ReadAtLeast(2);
    SendDataToModem("x", 0); // opens the gate with nothing queued
    AbortTransfer();
    pty.ReadAtLeast(2);
    szOutQueue.Append("dropped", 7);
    ResetQueueAndRTC();
    EXPECT_EQ(szOutQueue.GetLength(), 0u);
    EXPECT_EQ(pty.ReadAtLeast(2), "\x10\x03");
    ResetQueue();
    EXPECT_EQ(pty.ReadFor(100), "");
}

TEST_F(Transmit, EmptyStringOpensTheGateAndQueuesNothing) {
    AbortTransfer();
    pty.ReadAtLeast(2);
    EXPECT_EQ(SendStringToModem(""), 0);
    EXPECT_EQ(bTransfer.load(), 1);
    EXPECT_EQ(szOutQueue.GetLength(), 0u);
}

#if !defined(_WIN32)
// A line held as if XOFF had come: the chunk's attempts run out, the client
// hears 1126 with 15 (nothing else to report), and the thread carries on once
// SendStringToModem releases the hold. (Under Wine the held write's time-outs
// are the emulated driver's, so this runs on POSIX only.)
TEST(TransmitStall, HeldLineIsReportedAndReleasedBySendString) {
    static std::atomic<uint32_t> failure{0};
    FalcrestCallback record = [](uint32_t code, uint32_t error, uint32_t) {
        if (code == FALCREST_NOTIFY_TXFAIL)
            failure = error;
        return 0;
    };
    PtyPair pty;
    ASSERT_GT(InitModem(reinterpret_cast<void *>(record), pty.PortPath().c_str(),
                        "baud=115200 octs=off odsr=off xon=off"),
              0);
    ASSERT_TRUE(plat::EscapeCommFunction(idComDev, plat::kSetXoff));
    ASSERT_EQ(SendDataToModem("z", 1), 0); // one byte: each attempt waits about 2 ms
    EXPECT_TRUE(WaitUntil([] { return failure.load() != 0; }, 10000));
    EXPECT_EQ(failure.load(), 15u);
    EXPECT_EQ(SendStringToModem("after"), 0);
    std::string got = pty.ReadAtLeast(5);
    EXPECT_EQ(got.substr(got.size() >= 5 ? got.size() - 5 : 0), "after");
    ReleaseModem();
}
#endif

TEST_F(Transmit, LargeDataLeavesWholeAndInOrder) {
    std::string data;
    for (int i = 0; i < 20000; ++i)
        data += char(i * 7 % 251);
    EXPECT_EQ(SendDataToModem(data.data(), int(data.size())), 0);
    EXPECT_EQ(pty.ReadAtLeast(data.size(), 20000), data);
}

} // namespace
