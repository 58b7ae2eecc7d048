// Helpers of the fault tests: counting the process's descriptors and
// threads, a client callback that can be told what to do, and a watchdog
// that fails a test that hangs instead of letting it stall the suite.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "FeedbackDrain.h"
#include "Tamsel.h"
#include "falcrest/Falcrest.h"

namespace faults {

inline int CountEntries(const char *dir) {
    int n = 0;
    if (DIR *d = opendir(dir)) {
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.')
                ++n;
        closedir(d);
    }
    return n;
}
inline int OpenDescriptors() {
    return CountEntries("/proc/self/fd");
}
inline int Threads() {
    return CountEntries("/proc/self/task");
}

// Runs body and ends the process with a message if it has not returned
// within ms: a deadlock must fail the test, not hang it.
inline void WithinBound(int ms, const char *what, const std::function<void()> &body) {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> lock(m);
        if (!cv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return done; })) {
            std::fprintf(stderr, "watchdog: %s did not finish within %d ms\n", what, ms);
            std::fflush(stderr);
            std::_Exit(3);
        }
    });
    body();
    {
        std::lock_guard<std::mutex> lock(m);
        done = true;
    }
    cv.notify_all();
    watchdog.join();
}

// The client: drains the feedback as Quenby does, keeps what arrived and
// the error notifications, and runs an optional hook first (at most once
// per arming) -- the place to call ReleaseModem from a worker thread.
class Client {
public:
    static Client &Instance() {
        static Client c;
        return c;
    }
    static int Callback(uint32_t code, uint32_t error, uint32_t count) {
        return Instance().Handle(code, error, count);
    }
    void *Target() { return reinterpret_cast<void *>(&Callback); }

    void Reset() {
        std::lock_guard<std::mutex> g(m_);
        received_.clear();
        errors = 0;
        txFailures = 0;
        hook_ = nullptr;
        hookRan = false;
    }
    // The hook runs once, outside the client's lock, on the first
    // notification whose code and error word it accepts.
    void Arm(std::function<bool(uint32_t code, uint32_t error)> when, std::function<void()> hook) {
        std::lock_guard<std::mutex> g(m_);
        when_ = std::move(when);
        hook_ = std::move(hook);
        hookRan = false;
    }
    std::string Received() {
        std::lock_guard<std::mutex> g(m_);
        return received_;
    }

    std::atomic<int> errors{0};     // 1124 with an error word
    std::atomic<int> txFailures{0}; // 1126
    std::atomic<bool> hookRan{false};

private:
    int Handle(uint32_t code, uint32_t error, uint32_t) {
        if (code == FALCREST_NOTIFY_TXFAIL)
            ++txFailures;
        else if (error != 0)
            ++errors;
        std::function<void()> hook;
        {
            std::lock_guard<std::mutex> g(m_);
            if (hook_ && when_(code, error))
                hook.swap(hook_);
        }
        if (hook) {
            hook();
            hookRan = true;
            return 0;
        }
        std::lock_guard<std::mutex> g(m_);
        DrainFeedback([this](const char *raw, uint32_t length, const char *) {
            received_.append(raw, length);
        });
        return 0;
    }
    std::mutex m_;
    std::string received_;
    std::function<bool(uint32_t, uint32_t)> when_;
    std::function<void()> hook_;
};

// The mode the tests open ports with: fast, no handshake.
constexpr const char *kDcb = "baud=115200 octs=off odsr=off xon=off";

} // namespace faults
