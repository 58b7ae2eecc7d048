// The connection's life under stress: releases from the library's own worker
// threads and from racing threads end without a deadlock and leave nothing
// behind (memory: the suite runs under the leak checker).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <thread>
#include <unistd.h>
#include <vector>

#include "FaultHelpers.h"
#include "PtyPair.h"
#include "Recorder.h"

using testing_support::PtyPair;
using testing_support::WaitUntil;

namespace {

// Releases the port from inside the notification of the worker that sends
// it, once armed: on data received (the flow thread), or on a receive error
// (the receive thread) once another thread has entered InitModem.
std::atomic<bool> gArmed{false}, gInErrorCallback{false}, gOpening{false};
std::atomic<int> gReleases{0};
int ReleasingCallback(uint32_t code, uint32_t error, uint32_t) {
    if (code != FALCREST_NOTIFY_READ || !gArmed.exchange(false))
        return 0;
    if (error) {
        gInErrorCallback = true;
        WaitUntil([] { return gOpening.load(); });
        // Well inside InitModem's wait of up to a second for this thread.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(ReleaseModem(), 0);
    ++gReleases;
    return 0;
}

// ReleaseModem from the flow thread's notification of data, and from the
// receive thread's error notification while another thread is inside
// InitModem, which then fails; then rounds of an open followed by voice
// playback and SetFeedbackType on threads of their own while two threads
// release the port at a different point each round (the open may lose, the
// playback is cut short anywhere). After all that every worker has ended, no descriptor is
// left, and the port opens again and carries data both ways.
TEST(Lifecycle, ReleasesFromCallbacksAndRacingThreadsLeaveNothing) {
    PtyPair pty;
    std::thread([] {}).join(); // a thread sanitizer starts a helper with the first thread
    const int descriptors = faults::OpenDescriptors(), threads = faults::Threads();
    auto open = [&](const std::string &path, void *callback) {
        return InitModem(callback, path.c_str(), faults::kDcb);
    };
    void *releasing = reinterpret_cast<void *>(&ReleasingCallback);
    ASSERT_GT(open(pty.PortPath(), releasing), 0);
    gArmed = true;
    pty.Write("data");
    ASSERT_TRUE(WaitUntil([] { return gReleases == 1; }));
    auto far = std::make_unique<PtyPair>();
    ASSERT_GT(open(far->PortPath(), releasing), 0);
    gArmed = true;
    far->CloseFar();
    ASSERT_TRUE(WaitUntil([] { return gInErrorCallback.load(); }));
    gOpening = true;
    EXPECT_EQ(open(far->PortPath(), releasing), FALCREST_ERR_PORT);
    EXPECT_EQ(gReleases, 2);
    EXPECT_EQ(SendDataToModem("x", 1), FALCREST_ERR_NOPORT);
    far.reset();

    const std::string voice = "/tmp/lifecycle-voice-" + std::to_string(getpid());
    std::ofstream(voice) << std::string(6000, 'v'); // raw data: about 60 ms of playback
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop)
            pty.ReadFor(5);
    });
    void *recorder = Recorder::Instance().Target();
    for (int round = 0; round < 40; ++round) {
        std::atomic<int> stage{0}; // opening, playing, done
        std::vector<std::thread> racers;
        racers.emplace_back([&] {
            stage = open(pty.PortPath(), recorder) > 0 ? 1 : 2;
            if (stage == 1)
                SendVoiceFileToModem(voice.c_str(), 7);
            stage = 2;
        });
        racers.emplace_back([&] {
            for (int i = 0; stage < 2; ++i) // during the open too
                SetFeedbackType(i % 3);
        });
        for (int releaser = 0; releaser < 2; ++releaser)
            racers.emplace_back([round] {
                std::this_thread::sleep_for(std::chrono::milliseconds(round % 10 * 7));
                ReleaseModem();
            });
        for (auto &t : racers)
            t.join();
    }
    ReleaseModem();
    SetFeedbackType(1);
    stop = true;
    reader.join();
    std::remove(voice.c_str());

    EXPECT_TRUE(WaitUntil([&] { return faults::Threads() == threads; }));
    EXPECT_EQ(faults::OpenDescriptors(), descriptors);
    Recorder::Instance().Reset();
    ASSERT_GT(open(pty.PortPath(), recorder), 0);
    pty.ReadFor(20); // whatever an earlier connection left on the line
    pty.Write("ping");
    EXPECT_TRUE(WaitUntil([] { return Recorder::Instance().Raw() == "ping"; }));
    ASSERT_EQ(SendDataToModem("pong", 4), 0);
    EXPECT_EQ(pty.ReadAtLeast(4), "pong");
    ReleaseModem();
}

} // namespace
