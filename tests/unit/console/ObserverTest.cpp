// The response observer and its FIFOs: matching across chunks, arming,
// case, trimming, time-outs and the codes of expected and failure answers.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "FBObserver.h"
#include "OrvoFiFo.h"
#include "platform/Threads.h"

namespace {

// Feeds the chunks from another thread, as the library's worker threads do,
// over and over until the test is done with it: what comes before the wait is
// armed is ignored, so a round after arming is what the wait sees.
class Feeder {
public:
    Feeder(CFeedbackObserver &o, std::vector<std::pair<const char *, const char *>> chunks)
        : thread_([this, &o, chunks] {
              while (!stop_) {
                  for (auto &c : chunks)
                      o.AppendFeedbackChunk(c.first, c.second);
                  plat::SleepMs(1);
              }
          }) {}
    ~Feeder() {
        stop_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST(Observer, FindsAReplySplitOverTwoChunks) {
    CFeedbackObserver o(10000);
    Feeder f(o, {{"AT\r\nO", nullptr}, {"K\r\n", nullptr}});
    uint32_t count = 0;
    EXPECT_EQ(o.WaitResponse("OK", "ERROR", 2000, &count), int(AnswerCode("OK", 2)));
    EXPECT_EQ(count, 1u);
}

TEST(Observer, TellsExpectedFromFailureAnswers) {
    CFeedbackObserver o(10000);
    Feeder f(o, {{"\r\nERROR\r\n", nullptr}});
    EXPECT_EQ(o.WaitResponse("OK", "ERROR", 2000, nullptr), int(AnswerCode("ERROR", 5)));
    EXPECT_NE(AnswerCode("OK", 2), AnswerCode("ERROR", 5));
}

TEST(Observer, MatchesCaseInsensitivelyAndInCodes) {
    CFeedbackObserver o(10000);
    Feeder f(o, {{"connect 9600", nullptr}});
    EXPECT_GT(o.WaitResponse("CONNECT=7|busy=8", nullptr, 2000, nullptr), 0);
    CFeedbackObserver p(10000);
    Feeder g(p, {{nullptr, "<b>"}});
    EXPECT_EQ(p.WaitResponse("<B>=3", nullptr, 2000, nullptr), 3);
}

TEST(Observer, IgnoresWhatArrivedBeforeArming) {
    CFeedbackObserver o(10000);
    o.AppendFeedbackChunk("OK", nullptr);
    uint32_t count = 42;
    EXPECT_EQ(o.WaitResponse("OK", nullptr, 100, &count), -1);
    EXPECT_EQ(count, 42u); // a time-out leaves the count alone
}

TEST(Observer, EachWaitWaitsForItsOwnMatch) {
    CFeedbackObserver o(10000);
    {
        Feeder f(o, {{"OK", nullptr}, {"RING", nullptr}});
        EXPECT_GT(o.WaitResponse("OK", nullptr, 2000, nullptr), 0);
    }
    // RING came after the first match: ignored, and the second wait starts empty.
    EXPECT_EQ(o.WaitResponse("RING", nullptr, 100, nullptr), -1);
}

TEST(Observer, HandlesEmptyNullAndLongPatterns) {
    CFeedbackObserver o(10000);
    EXPECT_EQ(o.WaitResponse(nullptr, "", 50, nullptr), -1);
    std::string longPattern(100000, 'x');
    longPattern += "|OK";
    Feeder f(o, {{"..OK..", nullptr}});
    EXPECT_GT(o.WaitResponse(longPattern.c_str(), nullptr, 2000, nullptr), 0);
}

TEST(Observer, VoicePausePatternNeverEndsAWaitEarly) {
    CFeedbackObserver o(10000);
    Feeder f(o, {{"OK ERROR RING", "<b>"}});
    EXPECT_EQ(o.WaitResponse("~~", nullptr, 200, nullptr), -1);
}

TEST(FiFo, TrimsWithTheCountFromBeforeThePull) {
    CFiFo fifo;
    fifo.bound = 10000;
    std::string six(6000, 'a');
    fifo.Pull(six.data(), 6000);
    fifo.Pull(six.data(), 6000);
    EXPECT_EQ(fifo.GetLength(), 12000u);
    fifo.Pull(std::string(100, 'b').data(), 100);
    EXPECT_EQ(fifo.GetLength(), 10100u);
    char *direct = nullptr;
    EXPECT_EQ(fifo.GetBuffDirect(&direct), 10100u);
    EXPECT_EQ(direct[10099], 'b');
}

TEST(FiFo, SnapshotIsATerminatedCopy) {
    CFiFo fifo;
    fifo.bound = 10;
    char *snap = nullptr;
    EXPECT_EQ(fifo.GetSnapshotAsString(&snap), 0u);
    EXPECT_EQ(snap, nullptr);
    fifo.Pull("abc", 3);
    EXPECT_EQ(fifo.GetSnapshotAsString(&snap), 3u);
    EXPECT_STREQ(snap, "abc");
    EXPECT_EQ(fifo.GetLength(), 3u);
    fifo.Reset();
    EXPECT_EQ(fifo.GetSnapshotAsString(&snap), 0u);
    EXPECT_EQ(snap, nullptr);
    EXPECT_EQ(fifo.GetSnapshotAsString(nullptr), 0u);
}

} // namespace
