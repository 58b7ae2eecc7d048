// The connection's life under stress: a thousand InitModem/ReleaseModem
// cycles leave no descriptor or thread behind (memory: the suite runs under
// the leak checker), and ReleaseModem called from the library's own worker
// threads, from several threads at once, or racing InitModem, voice playback
// and SetFeedbackType, ends without a deadlock and leaves a port that opens
// again.
#include <gtest/gtest.h>

#include <cstdio>
#include <thread>
#include <vector>

#include "FaultHelpers.h"
#include "PtyPair.h"
#include "Recorder.h"

using testing_support::PtyPair;
using testing_support::WaitUntil;

namespace {

class Lifecycle : public testing::Test {
protected:
    void SetUp() override {
        Recorder::Instance().Reset();
        Baseline();
    }
    void TearDown() override { ReleaseModem(); }
    int Open() {
        return InitModem(Recorder::Instance().Target(), pty.PortPath().c_str(), faults::kDcb);
    }
    // What the process holds with no port open. A thread sanitizer starts a
    // thread of its own with the first thread created: let that happen first.
    void Baseline() {
        std::thread([] {}).join();
        descriptors_ = faults::OpenDescriptors();
        threads_ = faults::Threads();
    }
    // After a release every worker ends and the port is closed; the port then
    // opens again and carries data both ways.
    void ExpectNothingLeftAndPortWorks() {
        EXPECT_TRUE(WaitUntil([&] { return faults::Threads() == threads_; }))
            << faults::Threads() << " threads, " << threads_ << " before";
        EXPECT_EQ(faults::OpenDescriptors(), descriptors_);
        Recorder::Instance().Reset();
        ASSERT_GT(Open(), 0);
        pty.ReadFor(20); // whatever an earlier connection left on the line
        pty.Write("ping");
        EXPECT_TRUE(
            WaitUntil([] { return Recorder::Instance().Raw().find("ping") != std::string::npos; }));
        ASSERT_EQ(SendDataToModem("pong", 4), 0);
        EXPECT_EQ(pty.ReadAtLeast(4), "pong");
    }

    PtyPair pty;
    int descriptors_ = 0, threads_ = 0;
};

TEST_F(Lifecycle, AThousandCyclesLeaveNoDescriptorOrThread) {
    ASSERT_GT(Open(), 0); // builds what lives as long as the library
    ReleaseModem();
    Baseline();
    for (int i = 0; i < 1000; ++i) {
        ASSERT_GT(Open(), 0) << "cycle " << i;
        ASSERT_EQ(SendDataToModem("AT\r", 3), 0);
        ASSERT_EQ(ReleaseModem(), 0);
    }
    ExpectNothingLeftAndPortWorks();
}

// The notification of received data comes from the flow thread; a release
// there does not wait for the thread it runs on.
TEST_F(Lifecycle, ReleaseFromTheFlowThreadsCallback) {
    ASSERT_GT(Open(), 0);
    Recorder::Instance().Arm(
        [](uint32_t code, uint32_t error) { return code == FALCREST_NOTIFY_READ && error == 0; },
        [] { EXPECT_EQ(ReleaseModem(), 0); });
    pty.Write("data");
    ASSERT_TRUE(WaitUntil([] { return Recorder::Instance().hookRan.load(); }));
    EXPECT_EQ(SendDataToModem("x", 1), FALCREST_ERR_NOPORT);
    ExpectNothingLeftAndPortWorks();
}

// A release from the receive thread's error callback while another thread is
// inside InitModem wins: InitModem, re-configuring the open port, waits for
// that thread to pause, then fails and leaves nothing open or running.
TEST_F(Lifecycle, ReleaseFromACallbackDuringInitModemWins) {
    auto far = std::make_unique<PtyPair>();
    const std::string path = far->PortPath();
    ASSERT_GT(InitModem(Recorder::Instance().Target(), path.c_str(), faults::kDcb), 0);
    std::atomic<bool> inCallback{false}, opening{false};
    Recorder::Instance().Arm(
        [](uint32_t code, uint32_t error) { return code == FALCREST_NOTIFY_READ && error != 0; },
        [&] {
            inCallback = true;
            WaitUntil([&] { return opening.load(); });
            // Well inside InitModem's wait of up to a second for this thread.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            ReleaseModem();
        });
    far->CloseFar();
    ASSERT_TRUE(WaitUntil([&] { return inCallback.load(); }));
    opening = true;
    EXPECT_EQ(InitModem(Recorder::Instance().Target(), path.c_str(), faults::kDcb),
              FALCREST_ERR_PORT);
    EXPECT_EQ(SendDataToModem("x", 1), FALCREST_ERR_NOPORT);
    far.reset();
    ExpectNothingLeftAndPortWorks();
}

// Voice playback and SetFeedbackType on their own threads while the port is
// released under them at a different point each round; then opens racing
// releases. Under the sanitizers: no race on the workers or the queues.
TEST_F(Lifecycle, PlaybackFeedbackTypeAndOpensRacingReleases) {
    char voice[] = "/tmp/lifecycle-voice-XXXXXX";
    int fd = mkstemp(voice);
    ASSERT_GE(fd, 0);
    std::string data(6000, 'v'); // raw data: six blocks, about 60 ms of playback
    ASSERT_EQ(write(fd, data.data(), data.size()), ssize_t(data.size()));
    close(fd);
    std::atomic<bool> stop{false};
    std::thread far([&] {
        char sink[4096];
        while (!stop)
            if (read(pty.FarFd(), sink, sizeof sink) <= 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    for (int round = 0; round < 30; ++round) {
        ASSERT_GT(Open(), 0);
        std::atomic<bool> played{false};
        std::vector<std::thread> threads;
        threads.emplace_back([&] {
            SendVoiceFileToModem(voice, 7);
            played = true;
        });
        threads.emplace_back([&] {
            for (int i = 0; !played; ++i)
                SetFeedbackType(i % 3);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 10 * 7));
        ReleaseModem();
        for (auto &t : threads)
            t.join();
    }
    // Then one thread opens and sends while two release.
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        for (int i = 0; i < 50; ++i)
            if (Open() > 0)
                SendDataToModem("AT\r", 3);
    });
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 50; ++i)
                ReleaseModem();
        });
    for (auto &t : threads)
        t.join();
    ReleaseModem();
    SetFeedbackType(1);
    stop = true;
    far.join();
    std::remove(voice);
    ExpectNothingLeftAndPortWorks();
}

} // namespace
