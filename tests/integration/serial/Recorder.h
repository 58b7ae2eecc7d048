// A notification callback that records what the library reported and drains
// the receive queue the way a client does.
#pragma once

#include <atomic>
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
        drain = true;
    }
    std::vector<Notification> Notes() {
        std::lock_guard<std::mutex> g(m);
        return notes;
    }
    std::string Raw() {
        std::lock_guard<std::mutex> g(m);
        return raw;
    }
    std::string Codes() {
        std::lock_guard<std::mutex> g(m);
        return codes;
    }
    std::atomic<bool> drain{true};

private:
    void Record(uint32_t code, uint32_t error, uint32_t count) {
        std::lock_guard<std::mutex> g(m);
        notes.push_back({code, error, count});
        if (!drain)
            return;
        DrainFeedback([this](const char *bytes, uint32_t length, const char *found) {
            raw.append(bytes, length);
            if (found)
                codes += found;
        });
    }
    std::mutex m;
    std::vector<Notification> notes;
    std::string raw, codes;
};
