// The page coder: bitmap rows to Modified Huffman lines. The colour changes
// of a row are found 64 pixels at a time, and the code of each pair of runs
// goes through a bit accumulator straight into the output; every line is
// EOL, the runs from a white one on, and zero fill to a byte boundary.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "FaxCodes.h"

namespace {

// The 864 pixels of a line as 64-bit words: 13 whole ones and the first
// half of a 14th, whose other half is padding.
constexpr int kRowWords = 14;
constexpr int kLastWordBytes = kLineRowBytes - 8 * (kRowWords - 1);
static_assert(kLastWordBytes == 4);

// The most bytes one coded line takes: EOL, a white run 0 in front of a
// first black pixel and one run per pixel, each at its longest, and fill.
constexpr uint32_t kMaxLineBytes = (12 + (kLinePixels + 1) * kMaxRunBits + 7) / 8;
// The bit writer stores 8 bytes at a time: room it needs past the last byte.
constexpr uint32_t kStoreSlack = 8;
// The coded page's first block.
constexpr uint64_t kFirstBlock = 64 * 1024;

constexpr uint32_t kEolBits = LineOrder(kEolWord);

// Eight row bytes, the first in the lowest byte.
inline uint64_t LoadWord(const unsigned char *bytes) {
    uint64_t w;
    std::memcpy(&w, bytes, 8);
    if constexpr (std::endian::native == std::endian::big)
        w = __builtin_bswap64(w);
    return w;
}

// The last four bytes of a line, padded with white.
inline uint64_t LoadLastWord(const unsigned char *line) {
    unsigned char last[8];
    std::memcpy(last, line + 8 * (kRowWords - 1), kLastWordBytes);
    std::memset(last + kLastWordBytes, 0xFF, 8 - kLastWordBytes);
    return LoadWord(last);
}

// Reverses the bits of every byte: the leftmost pixel of a row byte (its
// most significant bit) becomes bit 0, so that pixel p of a word is its bit
// p.
inline uint64_t ReverseByteBits(uint64_t x) {
    x = (x >> 1 & 0x5555555555555555ull) | (x & 0x5555555555555555ull) << 1;
    x = (x >> 2 & 0x3333333333333333ull) | (x & 0x3333333333333333ull) << 2;
    return (x >> 4 & 0x0F0F0F0F0F0F0F0Full) | (x & 0x0F0F0F0F0F0F0F0Full) << 4;
}

// Whether the 108 bytes of a line are all white, as most rows of a page are.
bool AllWhite(const unsigned char *line) {
    static constexpr auto kWhiteLine = [] {
        std::array<unsigned char, kLineRowBytes> white{};
        white.fill(0xFF);
        return white;
    }();
    return std::memcmp(line, kWhiteLine.data(), kLineRowBytes) == 0;
}

// Writes bits in line order, the first into bit 0 of the first byte. Bits
// are added to a 64-bit accumulator and its whole bytes stored by a flush:
// always 8 bytes, moving on by as many as were whole, so that there is no
// branch on the bit count, but kStoreSlack bytes of room are needed behind
// the last byte.
class CBitWriter {
public:
    explicit CBitWriter(unsigned char *out) : out_(out) {}

    // No more than 63 bits may be pending.
    void Add(RunBits code) {
        pending_ |= static_cast<uint64_t>(code.bits) << count_;
        count_ += code.length;
    }

    // Leaves fewer than 8 bits pending.
    void Flush() {
        uint64_t store = pending_;
        if constexpr (std::endian::native == std::endian::big)
            store = __builtin_bswap64(store);
        std::memcpy(out_, &store, 8);
        out_ += count_ / 8;
        pending_ >>= count_ & ~7u;
        count_ &= 7;
    }

    // Zero bits up to the next byte boundary: the partial byte was stored by
    // the last flush, with zeros above its bits.
    void FillToByte() {
        out_ += count_ != 0 ? 1 : 0;
        pending_ = 0;
        count_ = 0;
    }

    unsigned char *End() const { return out_; }

private:
    unsigned char *out_;
    uint64_t pending_ = 0; // bits not yet stored as a whole byte, from bit 0 on
    uint32_t count_ = 0;
};

// EOL, or what a flush leaves, and then a white and a black run fit the
// accumulator.
static_assert(kEolWord.length + kMaxWhiteRunBits + kMaxRunBits <= 63 &&
              7 + kMaxWhiteRunBits + kMaxRunBits <= 63);

// Codes the 108 bytes of a line at out, which has room for kMaxLineBytes +
// kStoreSlack; returns the end of the coded line. A run ends wherever a
// pixel differs from the one before it (the first from white), so a first
// black pixel gives a white run of 0. Runs alternate from a white one, and
// are coded in pairs, white and black, the bits flushed after each pair.
unsigned char *CodeLine(const unsigned char *line, unsigned char *out) {
    const RunBits *const white = kRunCodes.code[kWhite];
    const RunBits *const black = kRunCodes.code[kBlack];
    CBitWriter bits(out);
    bits.Add({kEolBits, kEolWord.length});
    bool inBlack = false;  // whether the run going on is black
    int last = 0;          // where it began
    uint64_t same = ~0ull; // a word of the colour of the pixel before it
    const int words = AllWhite(line) ? 0 : kRowWords;
    for (int i = 0; i < words; ++i) {
        const uint64_t raw = i < kRowWords - 1 ? LoadWord(line + 8 * i) : LoadLastWord(line);
        if (raw == same)
            continue; // no change in it
        const uint64_t w = ReverseByteBits(raw);
        uint64_t changes = (w ^ (w << 1 | (same & 1)));
        if (i == kRowWords - 1)
            changes &= (1ull << (8 * kLastWordBytes)) - 1; // not the padding
        same = 0 - (w >> 63);
        // The run that ends at the next change, coded from the table of its
        // colour.
        auto end = [&](const RunBits *codes) {
            const int at = 64 * i + std::countr_zero(changes);
            bits.Add(codes[at - last]);
            last = at;
            changes &= changes - 1;
        };
        if (inBlack && changes != 0) {
            end(black);
            bits.Flush();
            inBlack = false;
        }
        while ((changes & (changes - 1)) != 0) { // two changes or more
            end(white);
            end(black);
            bits.Flush();
        }
        if (changes != 0) {
            end(white);
            inBlack = true;
        }
    }
    bits.Add((inBlack ? black : white)[kLinePixels - last]);
    bits.Flush();
    bits.FillToByte();
    return bits.End();
}

// The 108 bytes of a line for a row of the given width: the row itself when
// it holds them, otherwise a copy in line completed with white. Pixels past
// the 864th are not coded.
const unsigned char *LineBytes(const unsigned char *row, int width,
                               unsigned char (&line)[kLineRowBytes]) {
    if (width >= kLinePixels)
        return row;
    const int have = (width + 7) / 8;
    std::memcpy(line, row, static_cast<size_t>(have));
    std::memset(line + have, 0xFF, sizeof line - static_cast<size_t>(have));
    // The unused bits of the row's last byte are white too: whatever the
    // file holds there is not part of the page.
    if (width % 8 != 0)
        line[have - 1] |= static_cast<unsigned char>(0xFF >> (width % 8));
    return line;
}

// The growing Realloc block a page is coded into.
class CCodedPage {
public:
    // The block starts at firstSize and never grows past maxSize.
    CCodedPage(uint64_t firstSize, uint64_t maxSize) : first_(firstSize), max_(maxSize) {}
    ~CCodedPage() { Realloc(block_, 0); }
    CCodedPage(const CCodedPage &) = delete;
    CCodedPage &operator=(const CCodedPage &) = delete;

    // Makes room for one more line; false when there is no memory.
    bool RoomForLine() {
        const uint64_t needed = used_ + kMaxLineBytes + kStoreSlack;
        if (needed <= capacity_)
            return true;
        const uint64_t grown =
            std::min(std::max({needed, capacity_ + capacity_ / 2, first_}), std::max(needed, max_));
        if (grown != static_cast<size_t>(grown))
            return false;
        auto *block = static_cast<unsigned char *>(Realloc(block_, static_cast<size_t>(grown)));
        if (block == nullptr)
            return false;
        block_ = block;
        capacity_ = grown;
        return true;
    }

    unsigned char *End() { return block_ + used_; }
    void SetEnd(unsigned char *end) { used_ = static_cast<uint64_t>(end - block_); }
    uint64_t Used() const { return used_; }

    // Hands the block over, cut to what it holds.
    char *Release() {
        auto *block = static_cast<unsigned char *>(Realloc(block_, static_cast<size_t>(used_)));
        if (block == nullptr)
            block = block_; // keeping the spare room is no harm
        block_ = nullptr;
        return reinterpret_cast<char *>(block);
    }

private:
    const uint64_t first_;
    const uint64_t max_;
    unsigned char *block_ = nullptr;
    uint64_t used_ = 0;
    uint64_t capacity_ = 0;
};

} // namespace

bool CodeFaxPage(const char *bitmap, int width, int height, uint32_t maxBytes, char *&coded,
                 uint32_t &bytes) {
    coded = nullptr;
    bytes = 0;
    const int64_t rowBytes = width > 0 ? (static_cast<int64_t>(width) + 7) / 8 : 0;
    const int64_t rows = rowBytes > 0 && height > 0 ? height : 0;
    if (rowBytes * rows > INT32_MAX || (rows > 0 && bitmap == nullptr))
        return false;
    if (rows == 0)
        return true;

    // The block grows with the coding, from 64 KiB (about what a page of
    // text takes) unless the bitmap is smaller. Pages are given up once past
    // maxBytes, so room for one line more is the most ever needed.
    const uint64_t room = kMaxLineBytes + kStoreSlack;
    const uint64_t firstSize =
        std::min<uint64_t>(static_cast<uint64_t>(rowBytes * rows), kFirstBlock);
    CCodedPage page(firstSize + room, uint64_t(maxBytes) + room);
    const auto *row = reinterpret_cast<const unsigned char *>(bitmap);
    for (int64_t r = 0; r < rows; ++r, row += rowBytes) {
        if (!page.RoomForLine())
            return false;
        unsigned char copy[kLineRowBytes];
        page.SetEnd(CodeLine(LineBytes(row, width, copy), page.End()));
        if (page.Used() > maxBytes)
            return false;
    }
    bytes = static_cast<uint32_t>(page.Used());
    coded = page.Release();
    return true;
}

int RLFaxEncoderBIN(char *bitmap, int width, int height) {
    char *coded = nullptr;
    uint32_t n = 0;
    // The count must fit the result.
    if (!CodeFaxPage(bitmap, width, height, INT32_MAX, coded, n))
        return 0;
    const int64_t image =
        width > 0 && height > 0 ? (static_cast<int64_t>(width) + 7) / 8 * height : 0;
    const int64_t written = std::min<int64_t>(n, image);
    if (written > 0)
        std::memcpy(bitmap, coded, static_cast<size_t>(written));
    Realloc(coded, 0);
    return static_cast<int>(n);
}
