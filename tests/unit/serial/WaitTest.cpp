// The wait helpers and the stop rules of the engine.
#include <gtest/gtest.h>

#include "platform/Threads.h"
#include "serial/EngineState.h"
#include "serial/Workers.h"

namespace {

TEST(WaitEventTest, SleepsWhenNoEventsExistYet) {
    ASSERT_EQ(hEvRead.load(), nullptr);
    uint64_t start = plat::NowMs();
    EXPECT_EQ(WaitEvent(20), 0);
    EXPECT_GE(plat::NowMs() - start, 19u);
}

TEST(WaitEventTest, ReportsReceiveBeforeTransmit) {
    plat::Event read(false, false), write(false, false);
    hEvRead = &read;
    hEvWrite = &write;
    read.Set();
    write.Set();
    EXPECT_EQ(WaitEvent(10), 2);
    EXPECT_EQ(WaitEvent(10), 1);
    EXPECT_EQ(WaitEvent(10), 0);
    hEvRead = nullptr;
    hEvWrite = nullptr;
}

TEST(WaitEventTest, NotifiesTheCallbackWithTheQueueLength) {
    static std::atomic<uint32_t> seen[3];
    FalcrestCallback record = [](uint32_t code, uint32_t error, uint32_t count) {
        seen[0] = code;
        seen[1] = error;
        seen[2] = count;
        return 0;
    };
    plat::Event read(false, false), write(false, false);
    hEvRead = &read;
    hEvWrite = &write;
    gpCallback = record;
    szInQueue.Append("abcd", 4);
    read.Set();
    EXPECT_EQ(WaitEvent(10), 2);
    EXPECT_EQ(seen[0].load(), 1124u);
    EXPECT_EQ(seen[2].load(), 4u);
    dwGerrWrite = 5;
    write.Set();
    EXPECT_EQ(WaitEvent(10), 1);
    EXPECT_EQ(seen[0].load(), 1124u);
    EXPECT_EQ(seen[1].load(), 5u);
    EXPECT_EQ(seen[2].load(), 0u);
    dwGerrWrite = 0;
    gpCallback = nullptr;
    hEvRead = nullptr;
    hEvWrite = nullptr;
    szInQueue.Reset();
}

// The flow thread's wait when the events are gone (a worker that outlived its
// release): it ends at once on the stop signal instead of sleeping its bound.
TEST(WaitEventTest, FlowWaitWithoutEventsEndsOnTheStopSignal) {
    ASSERT_EQ(hEvRead.load(), nullptr);
    RaiseStopSignal();
    uint64_t start = plat::NowMs();
    EXPECT_EQ(WaitEventOrStop(5000), 0);
    EXPECT_LT(plat::NowMs() - start, 2500u);
    ResetStopSignal();
    start = plat::NowMs();
    EXPECT_EQ(WaitEventOrStop(20), 0);
    EXPECT_GE(plat::NowMs() - start, 19u);
}

TEST(WaitTest, AbortWithoutPortOnlyClosesTheGate) {
    bTransfer = 1;
    EXPECT_EQ(AbortTransfer(), -1);
    EXPECT_EQ(bTransfer.load(), 0);
}

TEST(ConnectionTest, ReleaseWithNothingOpen) {
    uint64_t start = plat::NowMs();
    EXPECT_EQ(ReleaseModem(), 0);
    uint64_t took = plat::NowMs() - start;
    // It waits for what it stops (the workers, the port), not for a fixed
    // pause: with nothing open it returns at once.
    EXPECT_LT(took, 1000u); // generous for a loaded machine
    uint32_t status = 7;
    EXPECT_EQ(GetCommStatus(&status), 0);
    EXPECT_EQ(status, 0u);
}

TEST(ConnectionTest, FailuresOfInitModem) {
    EXPECT_EQ(InitModem(nullptr, nullptr, "baud=9600"), FALCREST_ERR_ARG);
    EXPECT_EQ(InitModem(nullptr, "/dev/nonexistent-port", "baud=9600"), FALCREST_ERR_PORT);
    ReleaseModem();
}

} // namespace
