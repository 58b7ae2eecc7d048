// PrepareFaxPage and the coder beneath it: pages coded in place and decoded
// by netpbm's g3topbm, page files that are refused and stay as they were,
// and a coding that does not fit where it is written.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <sys/resource.h>

#include "FaxPages.h"
#include "falcrest/Falcrest.h"
#include "fax/FaxCodes.h"

using namespace faxtest;
using Bytes = std::vector<uint8_t>;

TEST(PrepareFaxPage, PagesDecodeToTheirBitmaps) {
    std::vector<std::pair<std::string, Bitmap>> pages = {
        {"white", Draw(864, 40, [](int, int) { return false; })},
        {"black", Draw(864, 40, [](int, int) { return true; })},
        {"first pixel black", Draw(864, 20, [](int x, int) { return x == 0; })},
        {"alternating, longer than the bitmap",
         Draw(864, 30, [](int x, int y) { return (x + y) % 2; })},
        {"every run of either colour", Draw(864, 865, [](int x, int y) { return x >= y; })},
        {"stripes up to 64 wide",
         Draw(864, 128, [](int x, int y) { return x / (y % 64 + 1) % 2; })},
        {"sparse", Noise(864, 60, 0.01, 7)},
        {"noise", Noise(864, 60, 0.5, 7)},
        {"dense", Noise(864, 60, 0.99, 7)},
    };
    // Narrower rows are completed with white, wider ones cut at 864 pixels.
    for (int width : {1, 9, 863, 865, 2000}) {
        pages.push_back({"noise " + std::to_string(width), Noise(width, 12, 0.5, width)});
        pages.push_back(
            {"black " + std::to_string(width), Draw(width, 4, [](int, int) { return true; })});
    }
    for (const auto &[what, bitmap] : pages) {
        const Bytes before = PageFile(bitmap);
        Write(Scratch("page"), before);
        ASSERT_EQ(PrepareFaxPage(Scratch("page").c_str()), 1) << what;
        const Bytes after = Read(Scratch("page"));
        ASSERT_GE(after.size(), kOffset) << what;
        // The magic changes; the rest of the header, stored size included, does not.
        EXPECT_EQ(std::string(after.begin(), after.begin() + 2), "G3") << what;
        EXPECT_TRUE(std::equal(before.begin() + 2, before.begin() + kOffset, after.begin() + 2))
            << what;
        EXPECT_EQ(CompareWithBitmap(DecodeG3(Bytes(after.begin() + kOffset, after.end())), bitmap),
                  "")
            << what;
    }
}

// Headers that claim more than the file holds, or numbers that wrap in 32
// bits, are refused and the file is left alone; a page that is one is cut or
// grown to exactly its coding.
TEST(PrepareFaxPage, HeadersDecideWhatIsCoded) {
    const Bytes tenRows = PageFile(Noise(864, 10, 0.5));
    Bytes tall = tenRows, byteShort(tenRows.begin(), tenRows.end() - 1),
          trailing = PageFile(Noise(864, 100, 0));
    tall[22] = 11;
    trailing.insert(trailing.end(), 500, 0x55);
    Bytes prepared(28, 0xEE), oneRow = Header(28, 28, 27, 8, 1);
    prepared[0] = 'G';
    prepared[1] = '3';
    oneRow[27] = 0x7F;
    const struct {
        Bytes file;
        int result;
        size_t length; // after a successful preparation
    } rows[] = {
        {{}, 0, 0},
        {Bytes(27, 0), 0, 0},
        {Header(27, 27, 26, 8, 1), 0, 0},
        {Header(40, 28, 28, 8, 1), 0, 0}, // the data offset at the stored size
        {Header(28, 20, 27, 8, 1), 0, 0}, // or past it
        {tall, 0, 0},
        {byteShort, 0, 0},
        {Header(200, 200, 62, 865 * 2, 1), 0, 0},
        {Header(100, 5000, 4000, 8, 0), 0, 0},
        {Header(100, 5000, 101, 8, 1), 0, 0},
        {Header(200, 200, 62, INT32_MAX, 16), 0, 0}, // rows x height wraps to 0
        {Header(200, 200, 62, 0x40000000, 0x40), 0, 0},
        {Header(200, 200, 62, 8, INT32_MAX), 0, 0},
        {Header(200, UINT32_MAX, 0xFFFFFF00u, 8, 1), 0, 0}, // offset + image wraps
        {Header(200, 200, 0, 8, 1), 0, 0},                  // pixel data inside the header
        {Header(200, 200, 25, 8, 1), 0, 0},
        {Header(278, 278, 62, 864, 0), 1, 62},
        {Header(278, 278, 62, 864, INT32_MIN), 1, 62},
        {trailing, 1, kOffset + 4 * 100},
        {oneRow, 1, 27 + 5},
        {prepared, 1, 28},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const auto &row = rows[i];
        Write(Scratch("page"), row.file);
        EXPECT_EQ(PrepareFaxPage(Scratch("page").c_str()), row.result) << "row " << i;
        const Bytes after = Read(Scratch("page"));
        if (row.result == 0) {
            EXPECT_EQ(after, row.file) << "row " << i;
            continue;
        }
        ASSERT_EQ(after.size(), row.length) << "row " << i;
        EXPECT_EQ(std::string(after.begin(), after.begin() + 2), "G3") << "row " << i;
        EXPECT_TRUE(std::equal(after.begin() + 2, after.begin() + 26, row.file.begin() + 2))
            << "row " << i;
    }
    EXPECT_EQ(PrepareFaxPage(nullptr), 0);
    EXPECT_EQ(PrepareFaxPage(""), 0);
    EXPECT_EQ(PrepareFaxPage(Scratch("missing").c_str()), 0);
    EXPECT_EQ(PrepareFaxPage(Scratch("").c_str()), 0); // a directory
}

TEST(PrepareFaxPage, APageThatCannotGrowIsLeftAsItWas) {
    // Alternating pixels code longer than the bitmap; files limited to a
    // little more than their size cannot take it, and what was written of
    // it is taken back.
    const Bytes file = PageFile(Draw(864, 20, [](int x, int y) { return (x + y) % 2; }));
    Write(Scratch("page"), file);
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit limited = before;
    limited.rlim_cur = file.size() + 100;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const int result = PrepareFaxPage(Scratch("page").c_str());
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Read(Scratch("page")), file);
    EXPECT_EQ(PrepareFaxPage(Scratch("page").c_str()), 1);
}

// In place, the coder writes no more than the bitmap's bytes and returns the
// length of the whole coding; a bounded coding gives up past its limit.
TEST(CodeFaxPage, StaysInsideItsRoom) {
    const Bitmap page = Draw(864, 50, [](int x, int y) { return (x + y) % 2; });
    char *coded = nullptr;
    uint32_t n = 0;
    ASSERT_TRUE(CodeFaxPage(reinterpret_cast<const char *>(page.bits.data()), 864, 50, UINT32_MAX,
                            coded, n));
    const Bytes full(coded, coded + n);
    Realloc(coded, 0);
    ASSERT_GT(full.size(), page.bits.size());
    Bytes buffer = page.bits;
    buffer.resize(page.bits.size() + 64, 0xA5); // guard bytes behind the bitmap
    EXPECT_EQ(RLFaxEncoderBIN(reinterpret_cast<char *>(buffer.data()), 864, 50), int(full.size()));
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + page.bits.size(), full.begin()));
    EXPECT_EQ(Bytes(buffer.begin() + page.bits.size(), buffer.end()), Bytes(64, 0xA5));

    const Bytes white(108 * 10, 0xFF); // codes to 40 bytes
    EXPECT_FALSE(CodeFaxPage(reinterpret_cast<const char *>(white.data()), 864, 10, 39, coded, n));
    EXPECT_EQ(coded, nullptr);
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(CodeFaxPage(reinterpret_cast<const char *>(white.data()), 864, 10, 40, coded, n));
    EXPECT_EQ(n, 40u);
    Realloc(coded, 0);
    // No bitmap behind rows, or a page too large to be one.
    EXPECT_FALSE(CodeFaxPage(nullptr, 864, 10, 1000, coded, n));
    EXPECT_FALSE(CodeFaxPage(reinterpret_cast<const char *>(white.data()), 1 << 20, 1 << 20, 1000,
                             coded, n));
    EXPECT_EQ(RLFaxEncoderBIN(nullptr, 864, 10), 0);
    for (auto [w, h] : {std::pair{864, 0}, {0, 10}, {864, -1}, {-8, -10}, {INT32_MIN, INT32_MIN}}) {
        Bytes left(1, 0x00);
        EXPECT_EQ(RLFaxEncoderBIN(reinterpret_cast<char *>(left.data()), w, h), 0) << w << "x" << h;
        EXPECT_EQ(left, Bytes(1, 0x00));
    }
}
