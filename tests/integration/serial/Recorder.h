// A notification callback that records what the library reported and drains
// the receive queue the way a client does.
#pragma once

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
    void *Target() { return reinterpret_cast<void *>(&Callback); }
    void Reset() {
        std::lock_guard<std::mutex> g(m);
        notes.clear(), raw.clear(), codes.clear();
    }
    std::vector<Notification> Notes() { return Locked(notes); }
    std::string Raw() { return Locked(raw); }
    std::string Codes() { return Locked(codes); }
    // Transmit failures (1126), and other notifications with an error word.
    int TxFailures() { return Count(true); }
    int Errors() { return Count(false); }

private:
    template <class T> T Locked(const T &value) {
        std::lock_guard<std::mutex> g(m);
        return value;
    }
    int Count(bool txFailures) {
        int n = 0;
        for (const Notification &note : Notes())
            n += note.code == FALCREST_NOTIFY_TXFAIL ? txFailures : !txFailures && note.error != 0;
        return n;
    }
    static int Callback(uint32_t code, uint32_t error, uint32_t count) {
        Recorder &r = Instance();
        std::lock_guard<std::mutex> g(r.m);
        r.notes.push_back({code, error, count});
        DrainFeedback([&r](const char *bytes, uint32_t length, const char *found) {
            r.raw.append(bytes, length);
            if (found)
                r.codes += found;
        });
        return 0;
    }
    std::mutex m;
    std::vector<Notification> notes;
    std::string raw, codes;
};
