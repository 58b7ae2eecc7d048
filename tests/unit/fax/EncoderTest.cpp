// The page coder: the bytes of known rows, what is written over a bitmap
// whose coding is longer, and pages that are none. Whole pages are checked
// against g3topbm in PrepareFaxPageTest.
#include <gtest/gtest.h>

#include <algorithm>

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

TEST(RLFaxEncoderBIN, WritesAtMostTheBitmapAndReturnsTheWholeCount) {
    // Alternating pixels take about three times the room of the bitmap.
    const Bitmap page = Alternating(864, 50);
    const Bytes full = Coding(page);
    ASSERT_GT(full.size(), page.bits.size());
    Bytes buffer = page.bits;
    buffer.resize(page.bits.size() + 64, 0xA5); // guard bytes behind the bitmap
    EXPECT_EQ(RLFaxEncoderBIN(reinterpret_cast<char *>(buffer.data()), page.width, page.height),
              static_cast<int>(full.size()));
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
