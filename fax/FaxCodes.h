// The fax line coder's internals: the Modified Huffman code words, the page
// coder, and the packing of bit texts for the line operations.
//
// Bits go on the line least significant first: the first bit of a line is
// bit 0 of its first byte.
#pragma once

#include <cstdint>

#include "Tamsel.h"

// A code word as the coding tables print it: its first bit is the highest
// of length bits.
struct CodeWord {
    uint16_t pattern;
    uint8_t length;
};

// One row of the coding tables: the run in pels and its word in either
// colour. Rows 0..63 are the terminating words of runs 0..63, rows 64..90
// the make-up words of 64..1728 (row 63 + k codes 64 k). No line is longer
// than 1728 pels, so the longer make-up words are never needed.
struct CodeTableRow {
    int16_t run;
    CodeWord white;
    CodeWord black;
};
constexpr int kCodeTableRows = 91;
extern const CodeTableRow kCodeTable[kCodeTableRows];

constexpr CodeWord kEolWord = {0b000000000001, 12};

// The word's bits in line order: its first bit becomes bit 0.
constexpr uint32_t LineOrder(CodeWord word) {
    uint32_t bits = 0;
    for (int i = 0; i < word.length; ++i)
        bits |= ((word.pattern >> (word.length - 1 - i)) & 1u) << i;
    return bits;
}

// Colours of pixels and runs: bit 1 is white.
constexpr int kWhite = 1;
constexpr int kBlack = 0;

// Every coded line covers 1728 pels: 864 pixels of the bitmap row, each
// counted twice.
constexpr int kLinePixels = 864;
constexpr int kLineRowBytes = kLinePixels / 8;

// The whole code of a run of a line, its make-up word (for 64 pels or more)
// and its terminating word, in line order from bit 0 on.
struct RunBits {
    uint32_t bits;
    uint32_t length;
};
// The longest: a black make-up word of 13 bits and a terminating one of 12;
// of a white run, 9 and 8.
constexpr uint32_t kMaxRunBits = 25;
constexpr uint32_t kMaxWhiteRunBits = 17;
struct RunCodes {
    RunBits code[2][kLinePixels + 1]; // [colour][pixels]: a run of twice as many pels
};
extern const RunCodes kRunCodes;

// Codes the rows of a bitmap (rows of ceil(width/8) bytes, bit 1 white, most
// significant bit leftmost) and writes the coded bytes over the bitmap, at
// most its width/8 x height bytes of them. Returns the byte count the coding
// needs, which can be larger than what was written; 0 when nothing was coded
// or there was no memory for the coding.
int RLFaxEncoderBIN(char *bitmap, int width, int height);

// Codes the rows into a new Realloc block stored in coded (the caller frees
// it with Realloc(p, 0)) and sets bytes to its length. Codings that would be
// longer than maxBytes are abandoned. False, with coded left null, when there
// was no memory or the limit was passed; bytes is 0 then. Keeps no state
// between calls: pages may be coded on several threads at once.
bool CodeFaxPage(const char *bitmap, int width, int height, uint32_t maxBytes, char *&coded,
                 uint32_t &bytes);

// Packs the first count characters of bits (bit 1 for any character but
// '0') into a buffer resized with Realloc to the byte count plus one, stores
// it in out and returns the byte count. Count 0 or less, a null text or no
// memory: 0 and out untouched.
int Binstr2Bin(char *&out, const char *bits, int count);
