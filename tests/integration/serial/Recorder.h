// A notification callback that records what the library reported and drains
// the receive queue the way a client does. It can be armed with a hook that
// runs once in place of the draining, on the first notification it accepts:
// the place to call ReleaseModem from a worker thread.
#pragma once

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "FeedbackDrain.h"
#include "Tamsel.h"
#include "falcrest/Falcrest.h"

struct Notification {
    uint32_t code, error, count;
};

class Recorder {
public:
    static Recorder &Instance() {
        static Recorder r;
        return r;
    }
    static int Callback(uint32_t code, uint32_t error, uint32_t count) {
        Instance().Record(code, error, count);
        return 0;
    }
    void *Target() { return reinterpret_cast<void *>(&Callback); }

    void Reset() {
        std::lock_guard<std::mutex> g(m);
        notes.clear();
        raw.clear();
        codes.clear();
        hook = nullptr;
        hookRan = false;
    }
    void Arm(std::function<bool(uint32_t code, uint32_t error)> accepts,
             std::function<void()> run) {
        std::lock_guard<std::mutex> g(m);
        when = std::move(accepts);
        hook = std::move(run);
        hookRan = false;
    }
    std::vector<Notification> Notes() {
        std::lock_guard<std::mutex> g(m);
        return notes;
    }
    // Transmit failures (1126), and other notifications with an error word.
    int TxFailures() { return Count(true); }
    int Errors() { return Count(false); }
    std::string Raw() {
        std::lock_guard<std::mutex> g(m);
        return raw;
    }
    std::string Codes() {
        std::lock_guard<std::mutex> g(m);
        return codes;
    }
    std::atomic<bool> hookRan{false};

private:
    int Count(bool txFailures) {
        std::lock_guard<std::mutex> g(m);
        return int(std::count_if(notes.begin(), notes.end(), [&](const Notification &n) {
            return txFailures ? n.code == FALCREST_NOTIFY_TXFAIL
                              : n.code != FALCREST_NOTIFY_TXFAIL && n.error != 0;
        }));
    }
    void Record(uint32_t code, uint32_t error, uint32_t count) {
        std::function<void()> run;
        {
            std::lock_guard<std::mutex> g(m);
            notes.push_back({code, error, count});
            if (hook && when(code, error))
                run.swap(hook);
        }
        if (run) {
            run();
            hookRan = true;
            return;
        }
        std::lock_guard<std::mutex> g(m);
        DrainFeedback([this](const char *bytes, uint32_t length, const char *found) {
            raw.append(bytes, length);
            if (found)
                codes += found;
        });
    }
    std::mutex m;
    std::vector<Notification> notes;
    std::string raw, codes;
    std::function<bool(uint32_t, uint32_t)> when;
    std::function<void()> hook;
};
