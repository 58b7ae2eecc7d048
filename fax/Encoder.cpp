// The page coder: bitmap rows to Modified Huffman lines, gathered as bit text
// in cEncoded and packed into bytes at the end; and the packing and hex
// helpers for bit texts.
#include <algorithm>
#include <bit>
#include <cstring>

#include "CodeText.h"
#include "FaxCodes.h"
#include "serial/Engine.h"

namespace {

using faxcode::kMaxRunText;

// A row as 14 64-bit words, pixel p in bit p % 64 of word p / 64: the 864
// pixels that are coded, then 32 white pixels of padding.
constexpr int kRowWords = 14;

// Room for the text of one line: EOL, a white run 0 in front of a first black
// pixel, one run per pixel, the fill, and the slack that a run's 32-byte move
// writes past its words.
constexpr int kMaxLineText = 12 + (kLinePixels + 1) * kMaxRunText + 7 + 32;

// Reverses the bits of every byte: the leftmost pixel of a row byte (its
// most significant bit) becomes bit 0.
inline uint64_t ReverseByteBits(uint64_t x) {
    x = (x >> 1 & 0x5555555555555555ull) | (x & 0x5555555555555555ull) << 1;
    x = (x >> 2 & 0x3333333333333333ull) | (x & 0x3333333333333333ull) << 2;
    return (x >> 4 & 0x0F0F0F0F0F0F0F0Full) | (x & 0x0F0F0F0F0F0F0F0Full) << 4;
}

void LoadRow(const unsigned char *row, int width, uint64_t (&words)[kRowWords]) {
    unsigned char bytes[kRowWords * 8];
    const int have = std::min((width + 7) / 8, kLineRowBytes);
    std::memcpy(bytes, row, static_cast<size_t>(have));
    // Missing pixels of a narrow row are white, and so is the padding. So are
    // the unused bits of its last byte: whatever the file holds there is not
    // part of the page.
    std::memset(bytes + have, 0xFF, sizeof bytes - static_cast<size_t>(have));
    if (width < kLinePixels && width % 8 != 0)
        bytes[have - 1] |= static_cast<unsigned char>(0xFF >> (width % 8));
    for (int i = 0; i < kRowWords; ++i) {
        uint64_t w;
        std::memcpy(&w, bytes + 8 * i, 8);
        if constexpr (std::endian::native == std::endian::big)
            w = __builtin_bswap64(w);
        words[i] = ReverseByteBits(w);
    }
}

// The runs of a row, from a white one on, in pixels: a run ends wherever a
// pixel differs from the one before it (the first from white). A first black
// pixel thus gives a white run of 0. Returns the count, at most 865.
int Runs(const uint64_t (&words)[kRowWords], uint16_t *runs) {
    int count = 0;
    int last = 0;
    uint64_t before = 1; // the pixel left of the row counts as white
    for (int i = 0; i < kRowWords; ++i) {
        const uint64_t w = words[i];
        uint64_t changes = w ^ (w << 1 | before);
        before = w >> 63;
        if (i == kRowWords - 1)
            changes &= (1ull << (kLinePixels - 64 * (kRowWords - 1))) - 1; // not the padding
        while (changes != 0) {
            const int pos = 64 * i + std::countr_zero(changes);
            runs[count++] = static_cast<uint16_t>(pos - last);
            last = pos;
            changes &= changes - 1;
        }
    }
    runs[count++] = static_cast<uint16_t>(kLinePixels - last);
    return count;
}

// Writes the text of one coded line: EOL, the runs from a white one on, each
// pixel as two pels, and '0' fill to a byte boundary. Returns its length.
int CodeLine(const unsigned char *row, int width, char *line) {
    uint64_t words[kRowWords];
    LoadRow(row, width, words);
    uint16_t runs[kLinePixels + 1];
    const int count = Runs(words, runs);

    // Where each run's text goes first, then the texts: the moves do not
    // wait for one another that way. Runs alternate from white.
    const auto &texts = faxcode::kRunTexts;
    const faxcode::CodeSlot &eol = faxcode::kSlots.word[kWhite][kRLEEol];
    uint16_t at[kLinePixels + 2];
    int length = eol.length;
    for (int k = 0; k < count; ++k) {
        at[k] = static_cast<uint16_t>(length);
        length += texts.length[(k & 1) == 0 ? kWhite : kBlack][runs[k]];
    }
    std::memcpy(line, eol.text, 16);
    int k = 0;
    for (; k + 1 < count; k += 2) {
        std::memcpy(line + at[k], texts.text[kWhite][runs[k]], 32);
        std::memcpy(line + at[k + 1], texts.text[kBlack][runs[k + 1]], 32);
    }
    if (k < count)
        std::memcpy(line + at[k], texts.text[kWhite][runs[k]], 32);
    std::memset(line + length, '0', 8);
    return length + (8 - length % 8) % 8;
}

} // namespace

bool CodeFaxPage(const char *bitmap, int width, int height, uint32_t maxBytes, char *&coded,
                 uint32_t &bytes) {
    coded = nullptr;
    bytes = 0;
    // The queue is empty between codings; make sure of it after any mishap.
    cEncoded.Reset();
    const int64_t rowBytes = width > 0 ? (static_cast<int64_t>(width) + 7) / 8 : 0;
    const int64_t rows = height > 0 ? height : 0;
    if (rowBytes * rows > INT32_MAX || (rowBytes * rows > 0 && bitmap == nullptr))
        return false;
    const uint64_t maxText = std::min<uint64_t>(static_cast<uint64_t>(maxBytes) * 8, UINT32_MAX);

    if (rowBytes > 0) {
        static_assert(kMaxLineText < 32768);
        char line[kMaxLineText];
        uint64_t total = 0;
        const auto *row = reinterpret_cast<const unsigned char *>(bitmap);
        for (int64_t r = 0; r < rows; ++r, row += rowBytes) {
            const int length = CodeLine(row, width, line);
            total += static_cast<uint64_t>(length);
            if (total > maxText || cEncoded.Append(line, static_cast<uint32_t>(length)) !=
                                       static_cast<uint32_t>(length)) {
                cEncoded.Reset();
                return false;
            }
        }
    }

    char *text = nullptr;
    const uint32_t length = cEncoded.Paste(text);
    if (length == 0) {
        Realloc(text, 0);
        return true;
    }
    // Every line is a whole number of bytes, so the text is too. Packing in
    // place is safe: byte i is written after characters 8i..8i+7 were read,
    // and those lie at or beyond i.
    const uint32_t n = length / 8;
    faxcode::PackText(text, n, text);
    char *shrunk = static_cast<char *>(Realloc(text, n));
    coded = shrunk != nullptr ? shrunk : text;
    bytes = n;
    return true;
}

int RLFaxEncoderBIN(char *bitmap, int width, int height) {
    char *coded = nullptr;
    uint32_t n = 0;
    // The text of a coding must fit a queue: 32-bit character counts.
    if (!CodeFaxPage(bitmap, width, height, UINT32_MAX / 8, coded, n))
        return 0;
    const int64_t image =
        width > 0 && height > 0 ? (static_cast<int64_t>(width) + 7) / 8 * height : 0;
    const int64_t written = std::min<int64_t>(n, image);
    if (written > 0)
        std::memcpy(bitmap, coded, static_cast<size_t>(written));
    Realloc(coded, 0);
    return static_cast<int>(n);
}

int Binstr2Bin(char *&out, const char *bits, int count) {
    if (count <= 0 || bits == nullptr)
        return 0;
    const uint32_t characters = static_cast<uint32_t>(count);
    const uint32_t n = characters / 8 + (characters % 8 != 0 ? 1 : 0);
    char *buffer = static_cast<char *>(Realloc(out, static_cast<size_t>(n) + 1));
    if (buffer == nullptr)
        return 0;
    out = buffer;
    const uint32_t whole = characters / 8;
    faxcode::PackText(bits, whole, buffer);
    if (whole < n) {
        // The last, incomplete byte: the missing high bits stay 0.
        unsigned value = 0;
        for (uint32_t k = 0; k < characters % 8; ++k)
            if (bits[8 * static_cast<size_t>(whole) + k] != '0')
                value |= 1u << k;
        buffer[whole] = static_cast<char>(value);
    }
    return static_cast<int>(n);
}

char *Bin2Hex(char *text, char byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    if (text != nullptr) {
        const auto value = static_cast<unsigned char>(byte);
        text[0] = kDigits[value >> 4];
        text[1] = kDigits[value & 0x0F];
    }
    return text;
}
