// The fax line coder's internals: the Modified Huffman code words, the run
// lookup, the page coder and the packing of bit texts into bytes.
//
// Coded data is first built as text, one '0'/'1' character per bit in line
// order, and packed at the end: the first character becomes the least
// significant bit of the first byte.
#pragma once

#include <cstdint>

#include "Tamsel.h"

// One entry of the code table: the run length it codes and its code word for
// either colour.
struct RLEWord {
    int32_t run;
    const char *white;
    const char *black;
};

// Entries 0..63: terminating words for runs 0..63; 64..90: make-up words for
// 64..1728 (entry 63 + k codes 64 k); 91..103: the extended make-up words
// 1792..2560, the same for both colours; 104: EOL (run -1).
constexpr int kRLEWordCount = 105;
constexpr int kRLEFirstMakeUp = 64;
constexpr int kRLEFirstExtended = 91;
constexpr int kRLEEol = 104;
extern const RLEWord pcRLEWords[kRLEWordCount];

// Colours of pixels and runs: bit 1 is white.
constexpr int kWhite = 1;
constexpr int kBlack = 0;

// Every coded line covers 1728 pels: 864 pixels of the bitmap row, each
// counted twice.
constexpr int kLinePixels = 864;
constexpr int kLineRowBytes = kLinePixels / 8;

// Appends to queue the code words for one run of run pels in colour (1 white,
// 0 black) and returns the characters appended; 0 and nothing appended for
// any other colour or a null queue.
int SearchCode(int run, int colour, QueueBuff *queue);

// Codes the rows of a bitmap (rows of ceil(width/8) bytes, bit 1 white, most
// significant bit leftmost) and writes the coded bytes over the bitmap, at
// most its width/8 x height bytes of them. Returns the byte count the coding
// needs, which can be larger than what was written; 0 when nothing was coded
// or there was no memory for the coding.
int RLFaxEncoderBIN(char *bitmap, int width, int height);

// Codes the rows into a new Realloc block stored in coded (the caller frees
// it with Realloc(p, 0)) and sets bytes to its length. Codings that would be
// longer than maxBytes are abandoned. False, with coded left null, when there
// was no memory or the limit was passed; bytes is 0 then.
bool CodeFaxPage(const char *bitmap, int width, int height, uint32_t maxBytes, char *&coded,
                 uint32_t &bytes);

// Packs the first count characters of bits (bit 1 for any character but
// '0') into a buffer resized with Realloc to the byte count plus one, stores
// it in out and returns the byte count. Count 0 or less, a null text or no
// memory: 0 and out untouched.
int Binstr2Bin(char *&out, const char *bits, int count);

// Writes the byte's two upper-case hexadecimal digits into text[0..1], no
// terminator; returns text. Null text: nothing is written.
char *Bin2Hex(char *text, char byte);
