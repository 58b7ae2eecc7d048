// The page coder: the bytes of known rows and pages, pages coded on two
// threads at once, and what is written over a bitmap whose coding is longer.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "FaxPages.h"
#include "falcrest/Falcrest.h"
#include "fax/FaxCodes.h"

using namespace faxtest;

namespace {

using Bytes = std::vector<uint8_t>;

// The whole coding of a bitmap, however long.
Bytes Coding(const Bitmap &bitmap) {
    char *coded = nullptr;
    uint32_t n = 0;
    EXPECT_TRUE(CodeFaxPage(reinterpret_cast<const char *>(bitmap.bits.data()), bitmap.width,
                            bitmap.height, UINT32_MAX, coded, n));
    Bytes bytes(coded, coded + n);
    Realloc(coded, 0);
    return bytes;
}

// A generator whose numbers do not depend on the standard library's
// distributions, so that the pages are the same everywhere.
struct Xorshift {
    uint64_t state;
    uint64_t Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
};

// Every byte random, the unused bits of a row's last byte too.
Bitmap RandomBytes(int w, int h, uint64_t seed) {
    Bitmap b(w, h);
    Xorshift rng{seed};
    for (uint8_t &byte : b.bits)
        byte = static_cast<uint8_t>(rng.Next() >> 24);
    return b;
}

// Lines of print: glyphs of 5 x 7 dots, each dot 2 x 2 pixels, 12 pixels
// apart, with a space now and then, in lines 24 rows apart.
Bitmap Print(int w, int h, uint64_t seed) {
    Bitmap b(w, h);
    Xorshift rng{seed};
    for (int top = 4; top + 14 <= h; top += 24)
        for (int left = 8; left + 10 <= w; left += 12) {
            const uint64_t glyph = rng.Next();
            if (glyph % 7 == 0)
                continue;
            for (int dot = 0; dot < 35; ++dot)
                if (glyph >> (dot + 8) & 1)
                    for (int d = 0; d < 4; ++d)
                        b.Set(left + dot % 5 * 2 + d % 2, top + dot / 5 * 2 + d / 2, false);
        }
    return b;
}

uint64_t Fnv1a(const Bytes &bytes) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (uint8_t b : bytes)
        h = (h ^ b) * 0x100000001b3ull;
    return h;
}

struct KnownPage {
    const char *name;
    Bitmap page;
    size_t bytes;
    uint64_t hash;
};

// The codings of these pages were taken from the first coder, which g3topbm
// decodes correctly; any change in the bytes written is a change of what
// goes on the line.
const std::vector<KnownPage> &KnownPages() {
    static const std::vector<KnownPage> pages = {
        {"white", AllWhite(864, 1100), 4400, 0xe6d95029a513b345ull},
        {"black", AllBlack(864, 1100), 6600, 0x4ff0e7f7c117df4dull},
        {"print", Print(864, 1100, 1), 76458, 0x01d72853d9b49103ull},
        {"noise", RandomBytes(864, 1100, 2), 218301, 0x445d858a3d285a4eull},
        {"first pixel black", FirstPixelBlack(864, 50), 250, 0xa231840da96bdd83ull},
        {"alternating", Alternating(864, 50), 16325, 0x555638f80e95ede5ull},
        {"every stripe", EveryStripe(864, 128), 8136, 0x4638a4fd4762b9c5ull},
        {"black 5", AllBlack(5, 3), 18, 0xfb9da04da13df92full},
        {"print 600", Print(600, 100, 3), 4806, 0x89f16af7af43ffb7ull},
        {"print 1728", Print(1728, 100, 4), 6644, 0x1cf20d306176fbd9ull},
        {"noise 1", RandomBytes(1, 20, 5), 88, 0x57ee093edcb29881ull},
        {"noise 7", RandomBytes(7, 20, 6), 114, 0xbc05ec5dc58308b8ull},
        {"noise 9", RandomBytes(9, 20, 7), 117, 0x34af29a57ea53deaull},
        {"noise 100", RandomBytes(100, 20, 8), 541, 0x279803747e03d792ull},
        {"noise 431", RandomBytes(431, 20, 9), 2022, 0xac840b533b8491b5ull},
        {"noise 863", RandomBytes(863, 20, 10), 3946, 0x7e1a75aa4dfe40ffull},
        {"noise 865", RandomBytes(865, 20, 11), 3941, 0x908de24ccd1fc0b6ull},
        {"noise 871", RandomBytes(871, 20, 12), 3960, 0xf328c6972a008a1eull},
        {"noise 1000", RandomBytes(1000, 20, 13), 3931, 0x60f124f8e5194e78ull},
        {"noise 2001", RandomBytes(2001, 20, 14), 3943, 0x3661fe06671f1533ull},
    };
    return pages;
}

const KnownPage &Known(const std::string &name) {
    for (const KnownPage &k : KnownPages())
        if (name == k.name)
            return k;
    throw std::out_of_range(name);
}

} // namespace

TEST(CodeFaxPage, KnownRows) {
    EXPECT_EQ(Coding(AllWhite(864, 1)), (Bytes{0x00, 0x28, 0x9B, 0x15}));
    EXPECT_EQ(Coding(AllBlack(864, 1)), (Bytes{0x00, 0xC8, 0x0A, 0x4C, 0x61, 0x07}));
    EXPECT_EQ(Coding(FirstPixelBlack(864, 1)), (Bytes{0x00, 0xC8, 0xBA, 0xC1, 0x0C}));
    // Missing pixels are white: a half-width white row is a full white line,
    // and so is a row of width 1.
    EXPECT_EQ(Coding(AllWhite(432, 1)), Coding(AllWhite(864, 1)));
    EXPECT_EQ(Coding(AllWhite(1, 1)), Coding(AllWhite(864, 1)));
    // Pixels past the 864th are not coded.
    Bitmap wide = AllWhite(1000, 1);
    for (int x = 864; x < 1000; ++x)
        wide.Set(x, 0, false);
    EXPECT_EQ(Coding(wide), Coding(AllWhite(864, 1)));
}

TEST(CodeFaxPage, BytesOfKnownPagesStayTheSame) {
    for (const KnownPage &k : KnownPages()) {
        const Bytes coded = Coding(k.page);
        EXPECT_EQ(coded.size(), k.bytes) << k.name;
        EXPECT_EQ(Fnv1a(coded), k.hash) << k.name;
    }
}

TEST(PrepareFaxPage, TwoThreadsPrepareTwoPagesAtOnce) {
    TempDir dir;
    // Each thread writes its page file, prepares it and checks what the file
    // then holds behind the header, a number of times, both starting at once.
    std::atomic<int> waiting{2};
    auto prepare = [&](const KnownPage &known, const std::string &path, int &wrong) {
        const Bytes file = PageFile(known.page);
        waiting.fetch_sub(1);
        while (waiting.load() > 0)
            std::this_thread::yield();
        for (int i = 0; i < 8; ++i) {
            WriteFile(path, file);
            const Bytes after = PrepareFaxPage(path.c_str()) == 1 ? ReadFile(path) : Bytes{};
            const Bytes coded(after.begin() + std::min<size_t>(after.size(), 62), after.end());
            wrong += coded.size() != known.bytes || Fnv1a(coded) != known.hash;
        }
    };
    int wrongPrint = 0;
    int wrongNoise = 0;
    std::thread other(prepare, std::cref(Known("noise")), dir.Path("noise"), std::ref(wrongNoise));
    prepare(Known("print"), dir.Path("print"), wrongPrint);
    other.join();
    EXPECT_EQ(wrongPrint, 0);
    EXPECT_EQ(wrongNoise, 0);
}

TEST(RLFaxEncoderBIN, WritesAtMostTheBitmapAndReturnsTheWholeCount) {
    // Alternating pixels take about three times the room of the bitmap.
    const KnownPage &alternating = Known("alternating");
    const Bitmap &page = alternating.page;
    const Bytes full = Coding(page);
    ASSERT_GT(full.size(), page.bits.size());
    Bytes buffer = page.bits;
    buffer.resize(page.bits.size() + 64, 0xA5); // guard bytes behind the bitmap
    EXPECT_EQ(RLFaxEncoderBIN(reinterpret_cast<char *>(buffer.data()), page.width, page.height),
              static_cast<int>(alternating.bytes));
    EXPECT_TRUE(std::equal(full.begin(), full.begin() + page.bits.size(), buffer.begin()));
    EXPECT_TRUE(std::all_of(buffer.begin() + page.bits.size(), buffer.end(),
                            [](uint8_t b) { return b == 0xA5; }));

    // A shorter coding is written whole, the rest of the bitmap left alone.
    const Bitmap white = AllWhite(864, 3);
    Bytes left = white.bits;
    EXPECT_EQ(RLFaxEncoderBIN(reinterpret_cast<char *>(left.data()), 864, 3), 12);
    EXPECT_EQ(Bytes(left.begin(), left.begin() + 12), Coding(white));
    EXPECT_TRUE(std::all_of(left.begin() + 12, left.end(), [](uint8_t b) { return b == 0xFF; }));
}

TEST(RLFaxEncoderBIN, NoRowsCodeToNothing) {
    for (auto [w, h] :
         {std::pair{864, 0}, {0, 10}, {864, -1}, {-8, 10}, {-8, -10}, {INT32_MIN, INT32_MIN}}) {
        const Bytes page = AllBlack(8, 1).bits;
        Bytes left = page;
        EXPECT_EQ(RLFaxEncoderBIN(reinterpret_cast<char *>(left.data()), w, h), 0)
            << w << " x " << h;
        EXPECT_EQ(left, page);
    }
}

TEST(CodeFaxPage, GivesUpPastTheLimit) {
    const Bitmap page = AllWhite(864, 10); // 40 bytes
    char *coded = nullptr;
    uint32_t n = 7;
    EXPECT_FALSE(
        CodeFaxPage(reinterpret_cast<const char *>(page.bits.data()), 864, 10, 39, coded, n));
    EXPECT_EQ(coded, nullptr);
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(
        CodeFaxPage(reinterpret_cast<const char *>(page.bits.data()), 864, 10, 40, coded, n));
    EXPECT_EQ(n, 40u);
    Realloc(coded, 0);

    // No bitmap behind a page that has rows, or a page too large to be one.
    EXPECT_FALSE(CodeFaxPage(nullptr, 864, 10, 1000, coded, n));
    EXPECT_FALSE(CodeFaxPage(reinterpret_cast<const char *>(page.bits.data()), 1 << 20, 1 << 20,
                             1000, coded, n));
    EXPECT_EQ(coded, nullptr);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(RLFaxEncoderBIN(nullptr, 864, 10), 0);
}
