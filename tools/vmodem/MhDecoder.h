// Decoding of a fax page coded with the one-dimensional Modified Huffman code
// (ITU-T T.4): EOL-delimited lines of 1728 pels, fill bits, RTC. Bits are
// taken least significant first within each byte, as they travel on the line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vmodem {

constexpr int kFaxPels = 1728;
constexpr int kFaxRowBytes = kFaxPels / 8;

struct SBadLine {
    size_t line; // 1-based count of coded lines on the page, bad ones included
    std::string reason;
};

struct SFaxPage {
    // Decoded rows, each kFaxRowBytes bytes, most significant bit leftmost,
    // 1 = black (the PBM convention). Lines that did not decode are left out.
    std::vector<std::vector<uint8_t>> rows;
    std::vector<SBadLine> bad;
    bool rtc = false;        // the page ended with six EOLs in a row
    size_t eols = 0;         // EOL code words seen
    size_t trailingOnes = 0; // 1 bits after the RTC (should be none)
};

// Looks up one code word: returns the run length, or -1 when the bits (the
// first bit in the most significant position of code) are no word of the
// colour. Extended make-up words belong to both colours.
int LookupMhCode(bool white, unsigned code, int length);

SFaxPage DecodeMhPage(const uint8_t *data, size_t count);

// The rows as a binary PBM (P4) image of kFaxPels columns.
std::string PageToPbm(const SFaxPage &page);

} // namespace vmodem
