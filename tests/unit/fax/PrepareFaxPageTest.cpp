// PrepareFaxPage: pages coded in place and decoded by g3topbm; refused pages
// stay as they were.
#include <gtest/gtest.h>

#include <cstring>

#include "FaxPages.h"
#include "falcrest/Falcrest.h"

using namespace faxtest;

void WakeTransmitter() {}

namespace {

constexpr uint32_t kOffset = 62;

// Prepares the page file of bitmap and returns the coded data behind the
// header; checks the header on the way.
std::vector<uint8_t> PrepareAndTakeCoding(const TempDir &dir, const Bitmap &bitmap,
                                          uint32_t offset = kOffset) {
    const std::string path = dir.Path("page.bmp");
    const std::vector<uint8_t> before = PageFile(bitmap, offset);
    WriteFile(path, before);
    EXPECT_EQ(PrepareFaxPage(path.c_str()), 1);
    const std::vector<uint8_t> after = ReadFile(path);
    EXPECT_GE(after.size(), offset);
    if (after.size() < offset)
        return {};
    EXPECT_EQ(after[0], 'G');
    EXPECT_EQ(after[1], '3');
    // The rest of the header is left as it was, the stored size included.
    EXPECT_TRUE(std::equal(before.begin() + 2, before.begin() + offset, after.begin() + 2));
    return std::vector<uint8_t>(after.begin() + offset, after.end());
}

void ExpectDecodesTo(const Bitmap &bitmap, const std::string &what) {
    TempDir dir;
    const std::vector<uint8_t> coded = PrepareAndTakeCoding(dir, bitmap);
    EXPECT_EQ(CompareWithBitmap(DecodeG3(coded), bitmap), "") << what;
}

} // namespace

TEST(PrepareFaxPage, PagesDecodeToTheirBitmaps) {
    ExpectDecodesTo(AllWhite(864, 40), "all white");
    ExpectDecodesTo(AllBlack(864, 40), "all black");
    ExpectDecodesTo(FirstPixelBlack(864, 20), "first pixel black");
    ExpectDecodesTo(Alternating(864, 30), "alternating pixels");
    for (double density : {0.01, 0.1, 0.5, 0.9, 0.99})
        ExpectDecodesTo(Noise(864, 60, density, 7), "noise " + std::to_string(density));
    ExpectDecodesTo(Text("Falcrest fax 0123456789 ,.;:!?", 864), "text");
}

TEST(PrepareFaxPage, StripesOfEveryWidth) {
    for (int stripe = 1; stripe <= 64; ++stripe)
        ExpectDecodesTo(Stripes(864, 3, stripe), "stripes of " + std::to_string(stripe));
}

TEST(PrepareFaxPage, NarrowRowsAreCompletedWithWhiteAndWideOnesCut) {
    for (int width : {1, 7, 8, 9, 100, 431, 800, 863, 864, 865, 871, 1000, 1728, 2000}) {
        ExpectDecodesTo(Noise(width, 12, 0.5, width), "noise width " + std::to_string(width));
        ExpectDecodesTo(AllBlack(width, 4), "black width " + std::to_string(width));
    }
}
