// Test helpers for voice playback: an open engine whose callback collects
// the modem's answers, and voice files written to a directory of their own.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "PtyPair.h"
#include "Tamsel.h"
#include "falcrest/Falcrest.h"
#include "serial/EngineState.h"

namespace voicetest {

using Bytes = std::vector<uint8_t>;

// The engine on one port; the callback keeps whatever text the modem sends.
class Session {
public:
    explicit Session(const std::string &port,
                     const char *mode = "baud=115200 octs=off odsr=off xon=off") {
        Answers().clear();
        opened_ = InitModem(reinterpret_cast<void *>(&Callback), port.c_str(), mode) > 0;
    }
    ~Session() { ReleaseModem(); }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;
    bool Opened() const { return opened_; }

    // Sends a command line and waits for the answer to contain expect.
    bool Command(const std::string &line, const std::string &expect, int timeoutMs = 5000) {
        {
            std::lock_guard<std::mutex> g(Lock());
            Answers().clear();
        }
        SendStringToModem((line + "\r").c_str());
        return testing_support::WaitUntil(
            [&] {
                std::lock_guard<std::mutex> g(Lock());
                return Answers().find(expect) != std::string::npos;
            },
            timeoutMs);
    }

private:
    static std::mutex &Lock() {
        static std::mutex m;
        return m;
    }
    static std::string &Answers() {
        static std::string s;
        return s;
    }
    static int Callback(uint32_t, uint32_t, uint32_t) {
        std::lock_guard<std::mutex> g(Lock());
        for (;;) {
            char *text = nullptr, *codes = nullptr;
            uint32_t length = 1000;
            int got = GetCommFeedback(&text, &codes, nullptr, &length);
            bool any = got && text && *text;
            if (any)
                Answers() += text;
            Realloc(text, 0);
            Realloc(codes, 0);
            if (!any)
                return 0;
        }
    }
    bool opened_ = false;
};

// A directory of its own, removed with everything in it.
class Files {
public:
    Files() {
        static int counter = 0;
        dir_ = std::filesystem::temp_directory_path() /
               ("voice-play-" + std::to_string(getpid_()) + "-" + std::to_string(++counter));
        std::filesystem::create_directories(dir_);
    }
    ~Files() { std::filesystem::remove_all(dir_); }
    std::string Write(const std::string &name, const Bytes &header, const Bytes &data) {
        std::string path = (dir_ / name).string();
        std::ofstream f(path, std::ios::binary);
        f.write(reinterpret_cast<const char *>(header.data()), std::streamsize(header.size()));
        f.write(reinterpret_cast<const char *>(data.data()), std::streamsize(data.size()));
        return path;
    }
    std::string Path(const std::string &name) const { return (dir_ / name).string(); }

private:
    static int getpid_();
    std::filesystem::path dir_;
};

// Header length that playback skips, by format number.
inline size_t HeaderOf(uint32_t format) {
    switch (format & 0xFF) {
    case 4:
    case 5:
    case 6:
        return 58;
    case 7:
        return 0;
    case 8:
        return 62;
    default:
        return 16;
    }
}

// Voice data as units whose shielded form the format's table gives: a plain
// byte, a DLE with a plain byte, a DLE pair, and a DLE with each modem code.
// Units are independent of their neighbours, so the expected stream is the
// units' shielded forms in a row, wherever the blocks are cut.
struct Voice {
    Bytes data;     // what the file holds after its header
    Bytes expected; // what the modem must be sent for it
    Bytes received; // what a modem plays for it: a DLE pair is one DLE, other pairs none
};

// Raw data (format 7) is sent as is, so it never holds DLE ETX, which would
// end the transfer early: its bytes 0x03 are left out.
// Without modemCommands, no DLE pair the modem would act on (stop, clear,
// pause, resume) is made.
Voice MakeVoice(uint32_t format, size_t minSize, uint32_t seed, bool modemCommands = true);

inline std::string AsString(const Bytes &b) {
    return std::string(b.begin(), b.end());
}

} // namespace voicetest
