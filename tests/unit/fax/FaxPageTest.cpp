// PrepareFaxPage and the coder beneath it: pages coded in place and decoded
// by netpbm's g3topbm, page files that are refused and stay as they were,
// and a coding that does not fit where it is written.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

#include "FaxPages.h"
#include "falcrest/Falcrest.h"
#include "fax/FaxCodes.h"

using namespace faxtest;
using Bytes = std::vector<uint8_t>;

namespace {

int Prepare(const Bytes &file) {
    Write(Scratch("page"), file);
    return PrepareFaxPage(Scratch("page").c_str());
}

bool Alternate(int x, int y) {
    return (x + y) % 2;
}

} // namespace

// Narrower rows are completed with white, wider ones cut at 864 pixels; the
// magic becomes "G3" and the rest of the header, stored size included, stays.
TEST(PrepareFaxPage, PagesDecodeToTheirBitmaps) {
    std::vector<Bitmap> pages = {
        Draw(864, 40, [](int, int) { return false; }),
        Draw(864, 40, [](int, int) { return true; }),
        Draw(864, 20, [](int x, int) { return x == 0; }),
        Draw(864, 30, Alternate),
        Draw(864, 865, [](int x, int y) { return x >= y; }), // every run of either colour
        Noise(864, 60, 0.5)};
    for (int width : {1, 9, 863, 865, 2000}) {
        pages.push_back(Noise(width, 12, 0.5, width));
        pages.push_back(Draw(width, 4, [](int, int) { return true; }));
    }
    for (const Bitmap &bitmap : pages) {
        SCOPED_TRACE(testing::Message() << "page " << &bitmap - pages.data());
        const Bytes before = PageFile(bitmap);
        ASSERT_EQ(Prepare(before), 1);
        const Bytes after = Read(Scratch("page"));
        ASSERT_GE(after.size(), kOffset);
        EXPECT_EQ(Bytes(after.begin(), after.begin() + 2), (Bytes{'G', '3'}));
        EXPECT_TRUE(std::equal(before.begin() + 2, before.begin() + kOffset, after.begin() + 2));
        EXPECT_EQ(CompareWithBitmap(DecodeG3(Bytes(after.begin() + kOffset, after.end())), bitmap),
                  "");
    }
}

// Headers that claim more than the file holds, numbers that wrap in 32 bits
// and pixel data inside the header are refused, the file left alone; a page
// is cut or grown to exactly its coding.
TEST(PrepareFaxPage, HeadersDecideWhatIsCoded) {
    Bytes tall = PageFile(Noise(864, 10, 0.5)), trailing = PageFile(Noise(864, 100, 0));
    const Bytes byteShort(tall.begin(), tall.end() - 1);
    tall[22] = 11;
    trailing.insert(trailing.end(), 500, 0x55);
    const Bytes refused[] = {{},
                             Header(27, 27, 26, 8, 1),
                             Header(40, 28, 28, 8, 1), // the data offset at the stored size
                             tall,
                             byteShort,
                             Header(200, 200, 62, 865 * 2, 1),
                             Header(100, 5000, 4000, 8, 0),
                             Header(200, 200, 62, INT32_MAX, 16), // rows x height wraps to 0
                             Header(200, 200, 62, 0x40000000, 0x40),
                             Header(200, UINT32_MAX, 0xFFFFFF00u, 8, 1),
                             Header(200, 200, 25, 8, 1)};
    for (const Bytes &file : refused) {
        EXPECT_EQ(Prepare(file), 0) << file.size();
        EXPECT_EQ(Read(Scratch("page")), file);
    }
    Bytes prepared(28, 0xEE), oneRow = Header(28, 28, 27, 8, 1);
    prepared[0] = 'G';
    prepared[1] = '3';
    oneRow[27] = 0x7F;
    const std::pair<Bytes, size_t> accepted[] = {{Header(278, 278, 62, 864, 0), 62},
                                                 {Header(278, 278, 62, 864, INT32_MIN), 62},
                                                 {trailing, kOffset + 4 * 100},
                                                 {oneRow, 27 + 5},
                                                 {prepared, 28}};
    for (const auto &[file, length] : accepted) {
        EXPECT_EQ(Prepare(file), 1) << length;
        const Bytes after = Read(Scratch("page"));
        ASSERT_EQ(after.size(), length);
        EXPECT_EQ(Bytes(after.begin(), after.begin() + 2), (Bytes{'G', '3'}));
        EXPECT_TRUE(std::equal(after.begin() + 2, after.begin() + 26, file.begin() + 2));
    }
    for (const char *path : {static_cast<const char *>(nullptr), "", "/nonexistent", "/tmp"})
        EXPECT_EQ(PrepareFaxPage(path), 0);
}

TEST(PrepareFaxPage, APageThatCannotGrowIsLeftAsItWas) {
    // Alternating pixels code longer than the bitmap; with files limited to
    // a little more than their size, what was written is taken back.
    const Bytes file = PageFile(Draw(864, 20, Alternate));
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit limited = before;
    limited.rlim_cur = file.size() + 100;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const int result = Prepare(file);
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Read(Scratch("page")), file);
}

// In place, the coder writes no more than the bitmap's bytes and returns the
// length of the whole coding; a bounded coding gives up past its limit.
TEST(CodeFaxPage, StaysInsideItsRoom) {
    const Bitmap page = Draw(864, 50, Alternate); // codes longer than its bitmap
    const size_t room = page.bits.size();
    Bytes buffer = page.bits;
    buffer.resize(room + 64, 0xA5); // guard bytes behind the bitmap
    const int n = RLFaxEncoderBIN(reinterpret_cast<char *>(buffer.data()), 864, 50);
    EXPECT_EQ(Bytes(buffer.begin() + long(room), buffer.end()), Bytes(64, 0xA5));
    char *coded = nullptr;
    uint32_t length = 0;
    const char *bits = reinterpret_cast<const char *>(page.bits.data());
    ASSERT_TRUE(CodeFaxPage(bits, 864, 50, UINT32_MAX, coded, length));
    EXPECT_TRUE(n == int(length) && std::equal(buffer.begin(), buffer.begin() + long(room),
                                               reinterpret_cast<uint8_t *>(coded)));
    Realloc(coded, 0);
    const Bytes whiteRows(108 * 10, 0xFF);
    const char *white = reinterpret_cast<const char *>(whiteRows.data());
    coded = nullptr;
    EXPECT_FALSE(CodeFaxPage(white, 864, 10, 39, coded, length)); // it codes to 40 bytes
    EXPECT_TRUE(coded == nullptr && length == 0);
    EXPECT_TRUE(CodeFaxPage(white, 864, 10, 40, coded, length) && length == 40);
    Realloc(coded, 0);
    // No bitmap behind rows, or a page too large to be one.
    EXPECT_FALSE(CodeFaxPage(nullptr, 864, 10, 1000, coded, length) ||
                 CodeFaxPage(white, 1 << 20, 1 << 20, 1000, coded, length));
    EXPECT_EQ(RLFaxEncoderBIN(nullptr, 864, 10), 0);
}

// Every word of the code tables on a line of its own, decoded by g3topbm:
// a white word opens its line, a black one follows a white run of 0; each
// make-up word is followed by the terminating word of 0, and the line is
// filled to 1728 pels with the other colour.
TEST(CodeWords, EveryTableWordDecodesToItsRun) {
    Bytes coded;
    uint32_t bit = 0;
    auto put = [&](CodeWord w) {
        for (int i = w.length - 1; i >= 0; --i, ++bit) {
            if (bit % 8 == 0)
                coded.push_back(0);
            coded.back() |= uint8_t((w.pattern >> i & 1) << bit % 8);
        }
    };
    auto word = [](int row, int colour) {
        return colour == kWhite ? kCodeTable[row].white : kCodeTable[row].black;
    };
    auto run = [&](int pels, int colour) {
        if (pels >= 64)
            put(word(63 + pels / 64, colour));
        put(word(pels % 64, colour));
    };
    auto runOf = [](int row) { return row < 64 ? row : (row - 63) * 64; };
    for (int row = 0; row < kCodeTableRows; ++row) {
        EXPECT_EQ(kCodeTable[row].run, runOf(row));
        for (int colour : {kWhite, kBlack}) {
            put(kEolWord);
            if (colour == kBlack)
                put(word(0, kWhite));
            put(word(row, colour));
            if (row >= 64)
                put(word(0, colour));
            if (runOf(row) < 1728)
                run(1728 - runOf(row), colour == kWhite ? kBlack : kWhite);
        }
    }
    const Decoded page = DecodeG3(coded);
    ASSERT_EQ(page.error, "");
    ASSERT_EQ(page.width, 1728);
    ASSERT_EQ(page.height, 2 * kCodeTableRows);
    for (int y = 0; y < page.height; ++y) {
        int pels = 0;
        while (pels < 1728 && page.Pel(pels, y) == y % 2)
            ++pels;
        EXPECT_EQ(pels, runOf(y / 2)) << (y % 2 ? "black" : "white") << " row " << y / 2;
    }
}
