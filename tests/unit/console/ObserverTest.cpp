// The response observer: answers matched across chunks, in either case and
// in the codes, expected told from failure answers, nothing seen before the
// wait is armed.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "FBObserver.h"
#include "OrvoFiFo.h"

namespace {

// Feeds the chunks (text, codes) round and round from another thread, as the
// library's workers do, until the wait is over: what comes before the wait is
// armed is ignored, so a later round is what the wait sees.
int WaitWhileFeeding(const std::vector<std::pair<const char *, const char *>> &chunks,
                     const std::string &expected, const char *failure, uint32_t timeout = 5000,
                     uint32_t *count = nullptr) {
    CFeedbackObserver observer(10000);
    std::atomic<bool> done{false};
    std::thread feeder([&] {
        while (!done)
            for (const auto &[text, codes] : chunks)
                observer.AppendFeedbackChunk(text, codes);
    });
    const int code = observer.WaitResponse(expected.c_str(), failure, timeout, count);
    done = true;
    feeder.join();
    return code;
}

// clang-format off
TEST(Observer, FindsTheAnswersItWaitsForAndNothingFromBeforeTheWait) {
    uint32_t count = 0;
    EXPECT_EQ(WaitWhileFeeding({{"AT\r\nO", nullptr}, {"K\r\n", nullptr}}, "OK", "ERROR", 5000, &count) * 10 + int(count), int(AnswerCode("OK", 2)) * 10 + 1);
    EXPECT_EQ(WaitWhileFeeding({{"\r\nERROR\r\n", nullptr}}, "OK", "ERROR"), int(AnswerCode("ERROR", 5)));
    EXPECT_EQ(WaitWhileFeeding({{"connect 9600", nullptr}}, "CONNECT=7|busy=8", nullptr), 7);
    EXPECT_EQ(WaitWhileFeeding({{"fizz", nullptr}}, "FIZZ=6", nullptr, 1000), 6); // a to z, both ends
    EXPECT_EQ(WaitWhileFeeding({{nullptr, "<b>"}}, "<B>=3", nullptr), 3);
    EXPECT_EQ(WaitWhileFeeding({{"..OK..", nullptr}}, std::string(100000, 'x') + "|OK=4", ""), 4);
    // The voice pause pattern never ends a wait early.
    EXPECT_EQ(WaitWhileFeeding({{"OK ERROR RING", "<b>"}}, "~~", nullptr, 200), -1);
    CFeedbackObserver observer(10000);
    observer.AppendFeedbackChunk("OK", nullptr);
    EXPECT_EQ(observer.WaitResponse("OK", nullptr, 100, &count) * 100 + int(count), -100 + 1); // count kept
}
// clang-format on

// Trimmed by what the FIFO held beyond its bound before the pull; a snapshot
// is a terminated copy, and none once reset.
TEST(FiFo, KeepsABoundedWindowAndCopiesIt) {
    CFiFo fifo;
    fifo.bound = 4;
    char *snap = nullptr;
    for (const char *chunk : {"abcd", "ef", "gh", "i"})
        fifo.Pull(chunk, uint32_t(std::strlen(chunk)));
    ASSERT_EQ(fifo.GetSnapshotAsString(&snap), 5u); // 4 and 6 held before the last two pulls
    EXPECT_STREQ(snap, "efghi");
    fifo.Reset();
    EXPECT_EQ(fifo.GetSnapshotAsString(&snap) + (snap == nullptr), 1u);
}

} // namespace
