// Fast paths over the code table: every code word as a fixed 16-byte slot
// with its length, and the whole text of every run a line can hold as a
// 32-byte slot, so that a run is copied with one move and the text pointer
// advanced by its length; and the packing of bit text eight characters at a
// time.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The whole text of a run of 2 k pels (k pixels, up to a line's 864), a
// make-up word and the terminating word, NUL-padded to 32 bytes, for either
// colour: one move per run when coding a page.
struct RunTexts {
    char text[2][kLinePixels + 1][32]; // [colour][pixels]
    uint8_t length[2][kLinePixels + 1];
};

extern const RunTexts kRunTexts;

// The most characters one run of up to 1728 pels takes: a make-up word of at
// most 13 and a terminating word of at most 12.
constexpr int kMaxRunText = 25;

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

// Packs the first 8 bytes characters of text into bytes bytes at out; out may
// be text itself (byte i is written after characters 8i.. were read).
inline void PackText(const char *text, uint32_t bytes, char *out) {
    uint32_t i = 0;
#if defined(__SSE2__)
    // Sixteen characters at a time: a byte mask of the '0's, inverted.
    const __m128i zeros = _mm_set1_epi8('0');
    for (; i + 2 <= bytes; i += 2) {
        const __m128i chars =
            _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + 8 * size_t(i)));
        const unsigned ones =
            ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chars, zeros)));
        out[i] = static_cast<char>(ones & 0xFF);
        out[i + 1] = static_cast<char>(ones >> 8 & 0xFF);
    }
#endif
    for (; i < bytes; ++i)
        out[i] = static_cast<char>(PackEight(text + 8 * size_t(i)));
}

} // namespace faxcode
