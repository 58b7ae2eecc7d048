// The connection's life under stress: a thousand InitModem/ReleaseModem
// cycles leave no descriptor or thread behind (memory: the suite runs under
// the leak checker), and ReleaseModem called from the library's own worker
// threads, or from several threads at once, or racing InitModem, voice
// playback and SetFeedbackType, ends without a deadlock and leaves a port
// that opens again.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "FaultHelpers.h"
#include "PtyPair.h"

using faults::Client;
using testing_support::PtyPair;
using testing_support::WaitUntil;

namespace {

class Lifecycle : public testing::Test {
protected:
    void SetUp() override {
        Client::Instance().Reset();
        Baseline();
    }
    void TearDown() override { ReleaseModem(); }
    // What the process holds with no port open (the test's own far ends
    // included).
    void Baseline() {
        // A thread sanitizer starts a thread of its own with the first
        // thread created: let that happen before counting.
        std::thread([] {}).join();
        descriptors_ = faults::OpenDescriptors();
        threads_ = faults::Threads();
    }

    // After a release every worker ends and the port is closed: the process
    // is back to the descriptors and threads it had before the test.
    void ExpectNothingLeft() {
        EXPECT_TRUE(WaitUntil([&] { return faults::Threads() == threads_; }, 5000))
            << faults::Threads() << " threads, " << threads_ << " before";
        EXPECT_EQ(faults::OpenDescriptors(), descriptors_);
    }
    // A port that opens again carries data both ways.
    void ExpectPortWorks(PtyPair &pty) {
        Client::Instance().Reset();
        ASSERT_GT(InitModem(Client::Instance().Target(), pty.PortPath().c_str(), faults::kDcb), 0);
        pty.ReadFor(20); // whatever an earlier connection left on the line
        pty.Write("ping");
        EXPECT_TRUE(WaitUntil(
            [] { return Client::Instance().Received().find("ping") != std::string::npos; }));
        ASSERT_EQ(SendDataToModem("pong", 4), 0);
        EXPECT_EQ(pty.ReadAtLeast(4), "pong");
        ReleaseModem();
    }

    int descriptors_ = 0, threads_ = 0;
};

TEST_F(Lifecycle, AThousandCyclesLeaveNoDescriptorOrThread) {
    PtyPair pty;
    // A first cycle builds what lives as long as the library.
    ASSERT_GT(InitModem(Client::Instance().Target(), pty.PortPath().c_str(), faults::kDcb), 0);
    ReleaseModem();
    Baseline();

    constexpr int kCycles = 1000;
    auto start = std::chrono::steady_clock::now();
    faults::WithinBound(120000, "a thousand cycles", [&] {
        for (int i = 0; i < kCycles; ++i) {
            ASSERT_GT(InitModem(Client::Instance().Target(), pty.PortPath().c_str(), faults::kDcb),
                      0)
                << "cycle " << i;
            ASSERT_EQ(SendDataToModem("AT\r", 3), 0);
            ASSERT_EQ(ReleaseModem(), 0);
        }
    });
    double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    RecordProperty("ms_per_cycle", std::to_string(ms / kCycles));
    std::printf("InitModem+ReleaseModem: %.2f ms per cycle\n", ms / kCycles);
    ExpectNothingLeft();
    ExpectPortWorks(pty);
}

TEST_F(Lifecycle, ReleaseFromTheFlowThreadsCallback) {
    PtyPair pty;
    Baseline();
    ASSERT_GT(InitModem(Client::Instance().Target(), pty.PortPath().c_str(), faults::kDcb), 0);
    std::atomic<double> took{-1};
    // The notification of received data comes from the flow thread.
    Client::Instance().Arm(
        [](uint32_t code, uint32_t error) { return code == FALCREST_NOTIFY_READ && error == 0; },
        [&] {
            auto start = std::chrono::steady_clock::now();
            EXPECT_EQ(ReleaseModem(), 0);
            took =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
        });
    faults::WithinBound(10000, "release from the callback", [&] {
        pty.Write("data");
        ASSERT_TRUE(WaitUntil([] { return Client::Instance().hookRan.load(); }));
    });
    // It does not wait for the thread it runs on.
    EXPECT_LT(took.load(), 500);
    EXPECT_EQ(SendDataToModem("x", 1), FALCREST_ERR_NOPORT);
    ExpectNothingLeft();
    ExpectPortWorks(pty);
    ExpectNothingLeft();
}

TEST_F(Lifecycle, ReleaseFromTheReceiveThreadsErrorCallback) {
    std::string path;
    {
        auto pty = std::make_unique<PtyPair>();
        path = pty->PortPath();
        ASSERT_GT(InitModem(Client::Instance().Target(), path.c_str(), faults::kDcb), 0);
        // A read error is notified by the receive thread itself.
        Client::Instance().Arm(
            [](uint32_t code, uint32_t error) {
                return code == FALCREST_NOTIFY_READ && error != 0;
            },
            [] { ReleaseModem(); });
        pty->CloseFar();
        faults::WithinBound(10000, "release from the error callback", [&] {
            ASSERT_TRUE(WaitUntil([] { return Client::Instance().hookRan.load(); }));
        });
    }
    EXPECT_EQ(SendDataToModem("x", 1), FALCREST_ERR_NOPORT);
    ExpectNothingLeft();
    PtyPair again;
    ExpectPortWorks(again);
}

// A release from a callback while another thread is inside InitModem wins:
// InitModem fails and leaves nothing open or running. The callback comes
// from the receive thread (a read error), so InitModem, re-configuring the
// open port, waits for that thread to pause while the callback releases.
TEST_F(Lifecycle, ReleaseFromACallbackDuringInitModemWins) {
    auto pty = std::make_unique<PtyPair>();
    const std::string path = pty->PortPath();
    ASSERT_GT(InitModem(Client::Instance().Target(), path.c_str(), faults::kDcb), 0);
    std::atomic<bool> inCallback{false}, opening{false};
    Client::Instance().Arm(
        [](uint32_t code, uint32_t error) { return code == FALCREST_NOTIFY_READ && error != 0; },
        [&] {
            inCallback = true;
            WaitUntil([&] { return opening.load(); });
            // InitModem waits up to a second for this thread to pause: well
            // inside that wait.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            ReleaseModem();
        });
    pty->CloseFar();
    ASSERT_TRUE(WaitUntil([&] { return inCallback.load(); }));
    int result = 0;
    faults::WithinBound(10000, "InitModem during a release", [&] {
        opening = true;
        result = InitModem(Client::Instance().Target(), path.c_str(), faults::kDcb);
    });
    EXPECT_EQ(result, FALCREST_ERR_PORT);
    EXPECT_EQ(SendDataToModem("x", 1), FALCREST_ERR_NOPORT);
    pty.reset();
    ExpectNothingLeft();
}

// Voice playback and SetFeedbackType on their own threads while the port is
// released under them, round after round: no crash, no hang and (under the
// sanitizers) no race on the workers or the queues.
TEST_F(Lifecycle, PlaybackAndFeedbackTypeRacingARelease) {
    PtyPair pty;
    char voice[] = "/tmp/lifecycle-voice-XXXXXX";
    int fd = mkstemp(voice);
    ASSERT_GE(fd, 0);
    std::string data(6000, 'v'); // raw data: six blocks, about 60 ms of playback
    ASSERT_EQ(write(fd, data.data(), data.size()), ssize_t(data.size()));
    close(fd);
    Baseline();
    std::atomic<bool> stop{false};
    std::thread far([&] {
        char sink[4096];
        while (!stop)
            if (read(pty.FarFd(), sink, sizeof sink) <= 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    faults::WithinBound(120000, "playback racing releases", [&] {
        for (int round = 0; round < 30; ++round) {
            ASSERT_GT(InitModem(Client::Instance().Target(), pty.PortPath().c_str(), faults::kDcb),
                      0);
            std::atomic<bool> played{false};
            std::thread player([&] {
                SendVoiceFileToModem(voice, 7);
                played = true;
            });
            std::thread typer([&] {
                for (int i = 0; !played; ++i)
                    SetFeedbackType(i % 3);
            });
            // The release lands at a different point of the playback each round.
            std::this_thread::sleep_for(std::chrono::milliseconds(round % 10 * 7));
            ReleaseModem();
            player.join();
            typer.join();
        }
    });
    SetFeedbackType(1);
    stop = true;
    far.join();
    std::remove(voice);
    ExpectNothingLeft();
    ExpectPortWorks(pty);
}

TEST_F(Lifecycle, SeveralThreadsReleaseAtOnceWhileDataFlows) {
    PtyPair pty;
    Baseline();
    ASSERT_GT(InitModem(Client::Instance().Target(), pty.PortPath().c_str(), faults::kDcb), 0);
    std::atomic<bool> stop{false};
    std::thread far([&] {
        std::string block(512, 'r');
        while (!stop) {
            [[maybe_unused]] ssize_t n = write(pty.FarFd(), block.data(), block.size());
            char sink[4096];
            while (read(pty.FarFd(), sink, sizeof sink) > 0) {
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::string out(4096, 's');
    for (int i = 0; i < 8; ++i)
        SendDataToModem(out.data(), int(out.size()));
    ASSERT_TRUE(WaitUntil([] { return Client::Instance().Received().size() > 1000; }));

    faults::WithinBound(10000, "four concurrent releases", [&] {
        std::atomic<int> ready{0};
        std::vector<std::thread> releasers;
        for (int i = 0; i < 4; ++i)
            releasers.emplace_back([&] {
                ++ready;
                while (ready < 4) {
                }
                EXPECT_EQ(ReleaseModem(), 0);
            });
        for (auto &t : releasers)
            t.join();
    });
    stop = true;
    far.join();
    ExpectNothingLeft();
    ExpectPortWorks(pty);
}

TEST_F(Lifecycle, InitRacingReleaseEndsInAUsableState) {
    PtyPair pty;
    Baseline();
    faults::WithinBound(30000, "InitModem racing ReleaseModem", [&] {
        std::thread opener([&] {
            for (int i = 0; i < 50; ++i)
                InitModem(Client::Instance().Target(), pty.PortPath().c_str(), faults::kDcb);
        });
        std::thread closer([&] {
            for (int i = 0; i < 50; ++i)
                ReleaseModem();
        });
        opener.join();
        closer.join();
        ReleaseModem();
    });
    ExpectNothingLeft();
    ExpectPortWorks(pty);
}

} // namespace
