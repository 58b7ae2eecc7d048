// PrepareFaxPage: pages coded in place and decoded by g3topbm; refused pages
// stay as they were.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/resource.h>

#include "FaxPages.h"
#include "falcrest/Falcrest.h"

using namespace faxtest;

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
    ExpectDecodesTo(Alternating(864, 30), "alternating pixels, a coding longer than the file");
    for (double density : {0.01, 0.1, 0.5, 0.9, 0.99})
        ExpectDecodesTo(Noise(864, 60, density, 7), "noise " + std::to_string(density));
    ExpectDecodesTo(Text("Falcrest fax 0123456789 ,.;:!?", 864), "text");
    ExpectDecodesTo(EveryRun(864), "every run a line can hold, of either colour");
    ExpectDecodesTo(EveryStripe(864, 128), "stripes of every width up to 64");
}

TEST(PrepareFaxPage, NarrowRowsAreCompletedWithWhiteAndWideOnesCut) {
    for (int width : {1, 7, 8, 9, 100, 431, 800, 863, 864, 865, 871, 1000, 1728, 2000}) {
        ExpectDecodesTo(Noise(width, 12, 0.5, width), "noise width " + std::to_string(width));
        ExpectDecodesTo(AllBlack(width, 4), "black width " + std::to_string(width));
    }
}

TEST(PrepareFaxPage, AShorterCodingCutsTheFileToIt) {
    TempDir dir;
    const Bitmap page = AllWhite(864, 100);
    std::vector<uint8_t> file = PageFile(page);
    file.insert(file.end(), 500, 0x55); // bytes after the pixel data go too
    WriteFile(dir.Path("p"), file);
    EXPECT_EQ(PrepareFaxPage(dir.Path("p").c_str()), 1);
    EXPECT_EQ(ReadFile(dir.Path("p")).size(), kOffset + 4 * 100);
}

TEST(PrepareFaxPage, APreparedPageIsLeftAsItIs) {
    TempDir dir;
    const std::string path = dir.Path("page.bmp");
    WriteFile(path, PageFile(Noise(864, 30, 0.3, 5)));
    ASSERT_EQ(PrepareFaxPage(path.c_str()), 1);
    const std::vector<uint8_t> prepared = ReadFile(path);
    EXPECT_EQ(PrepareFaxPage(path.c_str()), 1);
    EXPECT_EQ(ReadFile(path), prepared);

    // Any file beginning with "G3" counts as prepared, however short.
    std::vector<uint8_t> g3(28, 0xEE);
    g3[0] = 'G';
    g3[1] = '3';
    WriteFile(path, g3);
    EXPECT_EQ(PrepareFaxPage(path.c_str()), 1);
    EXPECT_EQ(ReadFile(path), g3);
}

TEST(PrepareFaxPage, ZeroOrNegativeHeightCodesNothing) {
    for (int height : {0, -1, -864, INT32_MIN}) {
        TempDir dir;
        const std::string path = dir.Path("page.bmp");
        std::vector<uint8_t> file = PageFile(AllBlack(864, 2));
        for (int i = 0; i < 4; ++i)
            file[22 + i] = static_cast<uint8_t>(static_cast<uint32_t>(height) >> (8 * i));
        WriteFile(path, file);
        EXPECT_EQ(PrepareFaxPage(path.c_str()), 1) << height;
        const std::vector<uint8_t> after = ReadFile(path);
        ASSERT_EQ(after.size(), kOffset) << height;
        EXPECT_EQ(after[0], 'G');
        EXPECT_EQ(after[1], '3');
        EXPECT_TRUE(std::equal(file.begin() + 2, file.begin() + kOffset, after.begin() + 2));
    }
}

namespace {

// A header of the page file with these numbers.
std::vector<uint8_t> Header(size_t fileLength, uint32_t storedSize, uint32_t offset, int32_t width,
                            int32_t height) {
    std::vector<uint8_t> file(fileLength, 0x5A);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4 && at + i < file.size(); ++i)
            file[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, storedSize);
    put32(10, offset);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    return file;
}

void ExpectRefusedUnchanged(const std::vector<uint8_t> &file, const std::string &what) {
    TempDir dir;
    const std::string path = dir.Path("page.bmp");
    WriteFile(path, file);
    EXPECT_EQ(PrepareFaxPage(path.c_str()), 0) << what;
    EXPECT_EQ(ReadFile(path), file) << what;
}

} // namespace

TEST(PrepareFaxPage, ShortFiles) {
    // 27 bytes is too short whatever it says.
    ExpectRefusedUnchanged(Header(27, 27, 26, 8, 1), "27 bytes");
    ExpectRefusedUnchanged(std::vector<uint8_t>(27, 0), "27 zero bytes");
    ExpectRefusedUnchanged({}, "empty file");
    // The data offset not below the stored size, whatever the file holds.
    ExpectRefusedUnchanged(Header(40, 28, 28, 8, 1), "offset at the stored size");
    ExpectRefusedUnchanged(Header(28, 20, 27, 8, 1), "offset past the stored size");
    // 28 bytes holding one row of one byte at offset 27: a page.
    TempDir dir;
    const std::string path = dir.Path("p");
    std::vector<uint8_t> file = Header(28, 28, 27, 8, 1);
    file[27] = 0x7F; // first pixel black
    WriteFile(path, file);
    EXPECT_EQ(PrepareFaxPage(path.c_str()), 1);
    const std::vector<uint8_t> after = ReadFile(path);
    ASSERT_EQ(after.size(), 27u + 5);
    EXPECT_EQ(std::vector<uint8_t>(after.begin() + 27, after.end()),
              (std::vector<uint8_t>{0x00, 0xC8, 0xBA, 0xC1, 0x0C}));
}

TEST(PrepareFaxPage, HeadersClaimingMoreThanTheFileHoldsAreRefused) {
    const Bitmap page = Noise(864, 10, 0.5, 9);
    std::vector<uint8_t> file = PageFile(page);
    // One row more than the file holds.
    std::vector<uint8_t> tall = file;
    tall[22] = 11;
    ExpectRefusedUnchanged(tall, "one row too many");
    // The pixel data one byte short.
    ExpectRefusedUnchanged(std::vector<uint8_t>(file.begin(), file.end() - 1), "one byte short");
    // Wider rows than the file holds.
    ExpectRefusedUnchanged(Header(200, 200, 62, 865 * 2, 1), "row too wide");
    // Stored size larger than the file, data offset beyond the file.
    ExpectRefusedUnchanged(Header(100, 5000, 4000, 8, 0), "offset past the end");
    ExpectRefusedUnchanged(Header(100, 5000, 101, 8, 1), "offset just past the end");
    // Numbers that wrap around in 32 bits: rows of 2^28 bytes times 16 rows
    // is 2^32, and 0x40000000 pixels times 0x40 rows as well.
    ExpectRefusedUnchanged(Header(200, 200, 62, INT32_MAX, 16), "rows x height wraps to 0");
    ExpectRefusedUnchanged(Header(200, 200, 62, 0x40000000, 0x40), "rows x height wraps");
    ExpectRefusedUnchanged(Header(200, 200, 62, 8, INT32_MAX), "height");
    ExpectRefusedUnchanged(Header(200, UINT32_MAX, 0xFFFFFF00u, 8, 1), "offset + image wraps");
    // Pixel data inside the header fields.
    ExpectRefusedUnchanged(Header(200, 200, 0, 8, 1), "offset 0");
    ExpectRefusedUnchanged(Header(200, 200, 25, 8, 1), "offset inside the height");
}

TEST(PrepareFaxPage, PathsThatAreNoPage) {
    EXPECT_EQ(PrepareFaxPage(nullptr), 0);
    EXPECT_EQ(PrepareFaxPage(""), 0);
    TempDir dir;
    EXPECT_EQ(PrepareFaxPage(dir.Path("missing").c_str()), 0);
    EXPECT_EQ(PrepareFaxPage(dir.Path("").c_str()), 0); // a directory
}

TEST(PrepareFaxPage, APageThatCannotGrowIsLeftAsItWas) {
    // The coding of alternating pixels is longer than the bitmap; with files
    // limited to a little more than their present size the file cannot take
    // it, and what was written of it is taken back.
    TempDir dir;
    const std::string path = dir.Path("page.bmp");
    const std::vector<uint8_t> file = PageFile(Alternating(864, 20));
    WriteFile(path, file);
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit limited = before;
    limited.rlim_cur = file.size() + 100;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const int result = PrepareFaxPage(path.c_str());
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadFile(path), file);
    // Without the limit it is prepared.
    EXPECT_EQ(PrepareFaxPage(path.c_str()), 1);
}
