// The engine without memory loses no received byte: the receive thread reads
// nothing it has no room for, and a DLE held back for its partner goes back
// into the queue without needing any.
#include <gtest/gtest.h>

#include <thread>

#include "FailingRealloc.h"
#include "FaultHelpers.h"
#include "FeedbackDrain.h"
#include "PtyPair.h"
#include "serial/EngineState.h"

using testing_support::PtyPair;
using testing_support::WaitUntil;

namespace {

std::atomic<int> gNoMemory{0};

int CountNoMemory(uint32_t code, uint32_t error, uint32_t) {
    if (code == FALCREST_NOTIFY_READ && error == plat::kErrNotEnoughMemory)
        ++gNoMemory;
    return 0;
}

TEST(OutOfMemory, ReceivedBytesWaitInTheDriverUntilThereIsRoom) {
    PtyPair pty;
    ASSERT_GT(
        InitModem(reinterpret_cast<void *>(&CountNoMemory), pty.PortPath().c_str(), faults::kDcb),
        0);
    // More than an emptied queue keeps and the driver holds together.
    std::string data(512 * 1024, 'a');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = char('a' + i % 23 + i / 4099 % 3);
    FailReallocAfter(0);
    std::thread far([&] { pty.Write(data); });
    EXPECT_TRUE(WaitUntil([] { return gNoMemory > 0; }, 20000));
    FailReallocAfter(-1);

    std::string got;
    WaitUntil(
        [&] {
            DrainFeedback([&](const char *raw, uint32_t n, const char *) { got.append(raw, n); });
            return got.size() >= data.size();
        },
        30000);
    far.join();
    EXPECT_EQ(got.size(), data.size());
    EXPECT_TRUE(got == data) << "received bytes lost";
    ReleaseModem();
}

TEST(OutOfMemory, ADleHeldBackForItsPartnerIsKept) {
    idComDev = 12345; // GetCommFeedback asks only whether a port is open
    // Storage past what an emptied queue keeps.
    std::string bulk(300 * 1024, 'x');
    szInQueue.Append(bulk.data(), uint32_t(bulk.size()));
    szInQueue.Append("AB\x10", 3);
    char *text = nullptr, *codes = nullptr;
    uint32_t length = uint32_t(bulk.size()) + 3;
    FailReallocAfter(1); // the chunk's own block, then nothing
    EXPECT_EQ(GetCommFeedback(&text, &codes, nullptr, &length), 1);
    FailReallocAfter(-1);
    EXPECT_EQ(szInQueue.GetLength(), 1u);

    szInQueue.Append("\x03", 1);
    length = 10;
    EXPECT_EQ(GetCommFeedback(&text, &codes, nullptr, &length), 1);
    EXPECT_STREQ(codes, "<ETX>");
    Realloc(text, 0);
    Realloc(codes, 0);
    idComDev = plat::kInvalidPort;
    szInQueue.Reset();
}

} // namespace
