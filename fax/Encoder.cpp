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

// A row as 14 big-endian 64-bit words: the 864 pixels that are coded, then
// 32 white pixels of padding.
constexpr int kRowWords = 14;

// Room for the text of one line: EOL, a white run 0 in front of a first black
// pixel, one run per pixel, the fill, and the slack that EmitRun writes past.
constexpr int kMaxLineText = 12 + (kLinePixels + 1) * kMaxRunText + 7 + 16;

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
        if constexpr (std::endian::native == std::endian::little)
            w = __builtin_bswap64(w);
        words[i] = w; // the leftmost pixel in the top bit
    }
}

// The first pixel at or after pos whose colour is not colour, or 864.
inline int NextChange(const uint64_t (&words)[kRowWords], int pos, int colour) {
    const uint64_t flip = colour == kWhite ? ~0ull : 0ull;
    int i = pos >> 6;
    uint64_t x = (words[i] ^ flip) & (~0ull >> (pos & 63));
    while (x == 0) {
        if (++i == kRowWords)
            return kLinePixels;
        x = words[i] ^ flip;
    }
    return std::min(i * 64 + std::countl_zero(x), kLinePixels);
}

// Writes the text of one coded line: EOL, the runs from a white one on, each
// pixel as two pels, and '0' fill to a byte boundary. Returns its length.
int CodeLine(const unsigned char *row, int width, char *line) {
    uint64_t words[kRowWords];
    LoadRow(row, width, words);
    const faxcode::CodeSlot &eol = faxcode::kSlots.word[kWhite][kRLEEol];
    std::memcpy(line, eol.text, 16);
    char *out = line + eol.length;
    int pos = 0;
    int colour = kWhite;
    while (pos < kLinePixels) {
        const int end = NextChange(words, pos, colour);
        out = faxcode::EmitRun(out, 2 * (end - pos), colour);
        pos = end;
        colour ^= 1;
    }
    int length = static_cast<int>(out - line);
    const int fill = (8 - length % 8) % 8;
    std::memset(out, '0', 8);
    return length + fill;
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
            if (total > maxText ||
                cEncoded.Append(line, static_cast<uint32_t>(length)) != static_cast<uint32_t>(length)) {
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
    if (text == nullptr)
        return false;
    // Every line is a whole number of bytes, so the text is too. Packing in
    // place is safe: byte i is written after characters 8i..8i+7 were read,
    // and those lie at or beyond i.
    const uint32_t n = length / 8;
    for (uint32_t i = 0; i < n; ++i)
        text[i] = static_cast<char>(faxcode::PackEight(text + 8 * static_cast<size_t>(i)));
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
    const int64_t image = width > 0 && height > 0 ? (static_cast<int64_t>(width) + 7) / 8 * height : 0;
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
    for (uint32_t i = 0; i < whole; ++i)
        buffer[i] = static_cast<char>(faxcode::PackEight(bits + 8 * static_cast<size_t>(i)));
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
