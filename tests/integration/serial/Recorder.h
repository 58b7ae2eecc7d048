// A notification callback that records what the library reported and drains
// the receive queue the way a client does.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "falcrest/Falcrest.h"
#include "Tamsel.h"

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
        for (;;) {
            char *text = nullptr, *found = nullptr;
            char buffer[1000];
            uint32_t length = sizeof buffer;
            int got = GetCommFeedback(&text, &found, buffer, &length);
            raw.append(buffer, length);
            if (found)
                codes += found;
            bool more = got && (length || (found && *found));
            Realloc(text, 0);
            Realloc(found, 0);
            if (!more)
                break;
        }
    }
    std::mutex m;
    std::vector<Notification> notes;
    std::string raw, codes;
};
