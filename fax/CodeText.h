// Fast paths over the code table for the page coder: every code word as a
// fixed 16-byte slot with its length, so a word is copied with one 16-byte
// move and the text pointer advanced by its length; and the packing of bit
// text eight characters at a time.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "FaxCodes.h"

namespace faxcode {

struct CodeSlot {
    char text[16]; // the word, NUL-padded (the longest word has 13 characters)
    uint8_t length;
};

struct CodeSlots {
    CodeSlot word[2][kRLEWordCount]; // [colour][entry]
};

extern const CodeSlots kSlots;

// The most characters one run of up to 1728 pels takes: a make-up word of at
// most 13 and a terminating word of at most 12.
constexpr int kMaxRunText = 25;

// Writes the words of one run of 0..2623 pels (a make-up word when needed,
// then the terminating word); returns the new end. Writes up to 16 bytes past
// the words, so the destination needs that much room behind them.
inline char *EmitRun(char *out, int run, int colour) {
    const CodeSlot *words = kSlots.word[colour];
    if (run >= 64) {
        const CodeSlot &makeUp = words[63 + run / 64];
        std::memcpy(out, makeUp.text, 16);
        out += makeUp.length;
        run &= 63;
    }
    const CodeSlot &term = words[run];
    std::memcpy(out, term.text, 16);
    return out + term.length;
}

// Bit k of the result is 1 when byte k of the eight characters at text is not
// '0'; the first character lands in bit 0.
inline uint8_t PackEight(const char *text) {
    uint64_t x;
    std::memcpy(&x, text, 8);
    // Little-endian load: character k sits in byte k.
    if constexpr (std::endian::native == std::endian::big)
        x = __builtin_bswap64(x);
    x ^= 0x3030303030303030ull; // '0' becomes 0
    x |= x >> 4;
    x |= x >> 2;
    x |= x >> 1;
    x &= 0x0101010101010101ull; // bit 0 of byte k: character k was not '0'
    // Gathers bit 8k into bit 56 + k; the partial products never overlap.
    return static_cast<uint8_t>((x * 0x0102040810204080ull) >> 56);
}

} // namespace faxcode
