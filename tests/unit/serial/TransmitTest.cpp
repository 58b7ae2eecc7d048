// The transmit path over a pseudo-terminal: the gate, priority bytes, the
// queue resets and a held line. (They start the engine's workers, so they run
// with the integration tests.)
#include <gtest/gtest.h>

#include <string>

#include "PtyPair.h"
#include "Recorder.h"
#include "serial/EngineState.h"

using testing_support::PtyPair;
using testing_support::WaitUntil;

namespace {

class Transmit : public ::testing::Test {
protected:
    void SetUp() override {
        Recorder::Instance().Reset();
        ASSERT_GT(InitModem(Recorder::Instance().Target(), pty.PortPath().c_str(),
                            "baud=115200 octs=off odsr=off xon=off"),
                  0);
    }
    void TearDown() override { ReleaseModem(); }
    PtyPair pty;
};

// The gate: an abort sends the end-of-data pair and holds what is queued
// after it; a priority byte goes ahead of the held queue; the next send opens
// the gate. Resetting drops the queue and ends the data once more.
TEST_F(Transmit, GateAbortAndPriority) {
    EXPECT_EQ(SendStringToModem("ATI\r"), 0);
    EXPECT_EQ(SendDataToModem("Z", 1), 0);
    EXPECT_EQ(pty.ReadAtLeast(5), "ATI\rZ");
    ASSERT_TRUE(WaitUntil([] { return szOutQueue.GetLength() == 0; })); // the thread let go
    EXPECT_EQ(AbortTransfer(), 1);
    EXPECT_EQ(pty.ReadAtLeast(2), "\x10\x03");
    EXPECT_EQ(PostETX(), 2);
    EXPECT_EQ(SendByteToModem(0x141), 0);
    EXPECT_EQ(pty.ReadAtLeast(1), "A");
    EXPECT_EQ(szOutQueue.GetLength(), 2u);
    EXPECT_EQ(SendDataToModem("k", 1), 0);
    EXPECT_EQ(pty.ReadAtLeast(3), "\x10\x03k");
    EXPECT_EQ(AbortTransfer(), 1);
    szOutQueue.Append("dropped", 7);
    ResetQueueAndRTC();
    EXPECT_EQ(szOutQueue.GetLength(), 0u);
    EXPECT_EQ(pty.ReadAtLeast(4), "\x10\x03\x10\x03");
    EXPECT_EQ(SendStringToModem(""), 0); // opens the gate, queues nothing
    EXPECT_EQ(bTransfer.load(), 1);

    ReleaseModem();
    szOutQueue.Append("dropped", 7); // with no port the pair has nowhere to go
    ResetQueueAndRTC();
    EXPECT_EQ(szOutQueue.GetLength(), 0u);
    EXPECT_EQ(pty.ReadFor(50), "");
}

#if !defined(_WIN32)
// A line held as if XOFF had come: the chunk's attempts run out, the client
// hears 1126 with 15 (nothing else to report) once however long the hold
// lasts, the chunk stays queued, and the thread carries on once
// SendStringToModem releases the hold. (Under Wine the held write's time-outs
// are the emulated driver's, so this runs on POSIX only.)
TEST_F(Transmit, HeldLineIsReportedOnceAndLosesNothing) {
    ASSERT_TRUE(plat::EscapeCommFunction(idComDev, plat::kSetXoff));
    ASSERT_EQ(SendDataToModem("z", 1), 0); // one byte: each attempt waits about 2 ms
    EXPECT_TRUE(WaitUntil([] { return Recorder::Instance().TxFailures() > 0; }, 10000));
    // More rounds of attempts run out unreported; each pass tells of its error word.
    EXPECT_TRUE(WaitUntil([] { return Recorder::Instance().Errors() >= 3; }, 10000));
    EXPECT_EQ(Recorder::Instance().TxFailures(), 1);
    for (const Notification &n : Recorder::Instance().Notes())
        EXPECT_TRUE(n.error == 0 || n.error == 15) << n.code << " " << n.error;
    EXPECT_EQ(szOutQueue.GetLength(), 1u);
    EXPECT_EQ(SendStringToModem("after"), 0);
    EXPECT_EQ(pty.ReadAtLeast(6), "zafter");
}
#endif

} // namespace
