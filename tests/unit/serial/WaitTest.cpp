// The wait helpers and the stop rules of the engine.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/Threads.h"
#include "serial/EngineState.h"
#include "serial/Workers.h"

namespace {

// Receive is reported before transmit, each with what the client is told:
// the queue length for received data, the error word for transmit.
TEST(WaitEventTest, ReportsReceiveBeforeTransmitToTheCallback) {
    static std::atomic<uint32_t> seen[3];
    gpCallback = [](uint32_t code, uint32_t error, uint32_t count) {
        seen[0] = code, seen[1] = error, seen[2] = count;
        return 0;
    };
    plat::Event read(false, false), write(false, false);
    hEvRead = &read, hEvWrite = &write;
    szInQueue.Append("abcd", 4);
    dwGerrWrite = 5;
    read.Set(), write.Set();
    EXPECT_EQ(WaitEvent(10), 2);
    EXPECT_EQ(std::vector<uint32_t>(seen, seen + 3), std::vector<uint32_t>({1124, 0, 4}));
    EXPECT_EQ(WaitEvent(10), 1);
    EXPECT_EQ(std::vector<uint32_t>(seen + 1, seen + 3), std::vector<uint32_t>({5, 0}));
    EXPECT_EQ(WaitEvent(10), 0);
    dwGerrWrite = 0, gpCallback = nullptr, hEvRead = nullptr, hEvWrite = nullptr;
    szInQueue.Reset();
    // The flow thread's wait when the events are gone (a worker that outlived
    // its release) ends on the stop signal instead of sleeping its bound.
    RaiseStopSignal();
    uint64_t start = plat::NowMs();
    EXPECT_EQ(WaitEventOrStop(60000), 0);
    EXPECT_LT(plat::NowMs() - start, 30000u); // catches a hang only
    ResetStopSignal();
}

// Without a port the calls fail, or close only the gate; the port list is
// always allocated, and the result says whether it holds any.
TEST(WaitTest, WithoutAPortCallsFailOrCloseOnlyTheGate) {
    bTransfer = 1;
    EXPECT_EQ(AbortTransfer(), -1);
    EXPECT_EQ(bTransfer.load(), 0);
    char *list = nullptr;
    int any = EnumComPorts(&list);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(any, *list ? 1 : 0);
    Realloc(list, 0);
}

} // namespace
