// Voice data generation for the playback tests.
#include "VoiceSession.h"

#include <random>
#include <unistd.h>

namespace voicetest {

int Files::getpid_() {
    return int(::getpid());
}

namespace {

// The shielding table, one row per unit kind.
Bytes Shielded(uint32_t format, uint8_t next, bool pair) {
    const uint8_t dle = 0x10;
    format &= 0xFF;
    if (format == 7)
        return pair ? Bytes{dle, dle} : Bytes{dle, next};
    if (format == 8)
        return pair ? Bytes{dle, dle, dle, dle} : Bytes{dle, dle, next};
    if (pair)
        return {dle, dle};
    bool code = next == 0x12 || next == 0x14 || next == 0x18 || next == 0x1C || next == 0x70 ||
                next == 0x72;
    if (format != 4 && code)
        return {dle, next};
    return {dle, dle, next};
}

} // namespace

Voice MakeVoice(uint32_t format, size_t minSize, uint32_t seed, bool modemCommands) {
    static const uint8_t kCodes[] = {0x12, 0x14, 0x18, 0x1C, 0x70, 0x72, 0x41, 0x03, 0x00, 0xFF};
    std::mt19937 rng(seed);
    const bool raw = (format & 0xFF) == 7, fax = (format & 0xFF) == 8;
    Voice v;
    while (v.data.size() < minSize) {
        unsigned kind = rng() % 8;
        if (kind < 4) {
            uint8_t b = uint8_t(rng());
            if (b == 0x10 || (raw && b == 0x03))
                b = 0x11;
            v.data.push_back(b);
            v.expected.push_back(b);
            v.received.push_back(b);
        } else if (kind < 7) {
            uint8_t next = kCodes[rng() % sizeof kCodes];
            if (raw && next == 0x03)
                next = 0x04;
            if (!modemCommands && (next == 0x14 || next == 0x18 || next == 0x70 || next == 0x72))
                next = 0x41;
            v.data.insert(v.data.end(), {0x10, next});
            Bytes s = Shielded(format, next, false);
            v.expected.insert(v.expected.end(), s.begin(), s.end());
            // DLE DLE x plays DLE x; DLE x plays nothing (x is no data byte).
            if (s.size() == 3)
                v.received.insert(v.received.end(), {0x10, next});
        } else {
            v.data.insert(v.data.end(), {0x10, 0x10});
            Bytes s = Shielded(format, 0, true);
            v.expected.insert(v.expected.end(), s.begin(), s.end());
            if (fax)
                v.received.insert(v.received.end(), {0x10, 0x10});
            else
                v.received.push_back(0x10);
        }
    }
    return v;
}

} // namespace voicetest
