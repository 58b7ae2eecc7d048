// The code table and the run lookup, checked against g3topbm for every run
// length a line can hold and for the extended make-up runs; the packing of
// bit texts and the hex helper.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "FaxPages.h"
#include "fax/FaxCodes.h"

using namespace faxtest;

namespace {

std::string Take(QueueBuff &queue) {
    char *text = nullptr;
    const uint32_t n = queue.Paste(text);
    std::string s(text != nullptr ? text : "", n);
    Realloc(text, 0);
    return s;
}

std::vector<uint8_t> Pack(const std::string &bits) {
    char *packed = nullptr;
    const int n = Binstr2Bin(packed, bits.c_str(), static_cast<int>(bits.size()));
    std::vector<uint8_t> bytes(packed, packed + n);
    Realloc(packed, 0);
    return bytes;
}

// A coded line of the given runs, colours alternating from white: EOL, the
// words SearchCode gives, fill to a byte boundary.
std::string Line(const std::vector<int> &runs) {
    QueueBuff queue;
    std::string line = pcRLEWords[kRLEEol].white;
    int colour = kWhite;
    for (int run : runs) {
        const int n = SearchCode(run, colour, &queue);
        const std::string words = Take(queue);
        EXPECT_EQ(n, static_cast<int>(words.size())) << "run " << run;
        line += words;
        colour ^= 1;
    }
    line.append((8 - line.size() % 8) % 8, '0');
    return line;
}

// The pels a line of these runs must decode to, 1 black.
std::vector<uint8_t> Pels(const std::vector<int> &runs) {
    std::vector<uint8_t> pels;
    uint8_t black = 0;
    for (int run : runs) {
        pels.insert(pels.end(), static_cast<size_t>(run), black);
        black ^= 1;
    }
    return pels;
}

} // namespace

TEST(SearchCode, EveryRunOfALineInBothColoursDecodes) {
    // Line r: white r then black 1728 - r, so every terminating and make-up
    // word of both colours is decoded by g3topbm.
    std::string page;
    for (int r = 0; r <= 1728; ++r)
        page += Line({r, 1728 - r});
    const Decoded d = DecodeG3(Pack(page));
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(d.error, "");
    ASSERT_EQ(d.width, 1728);
    ASSERT_EQ(d.height, 1729);
    for (int r = 0; r <= 1728; ++r) {
        const std::vector<uint8_t> row(d.black.begin() + r * 1728,
                                       d.black.begin() + (r + 1) * 1728);
        EXPECT_EQ(row, Pels({r, 1728 - r})) << "white run " << r << ", black run " << 1728 - r;
    }
}

TEST(SearchCode, LongRunsUseExtendedMakeUpWords) {
    // Lines longer than 1728 pels, one per file: g3topbm takes the width from
    // the line.
    for (int run : {1792, 1855, 2560, 2623, 3000, 4400, 5200}) {
        for (const std::vector<int> &runs :
             {std::vector<int>{run}, std::vector<int>{0, run}, std::vector<int>{63, run}}) {
            const Decoded d = DecodeG3(Pack(Line(runs)));
            ASSERT_TRUE(d.ok) << run << ": " << d.error;
            EXPECT_EQ(d.width, Pels(runs).size());
            EXPECT_EQ(d.black, Pels(runs)) << "runs ending in " << run;
        }
    }
}

TEST(SearchCode, WordsAndCounts) {
    QueueBuff queue;
    EXPECT_EQ(SearchCode(64, kBlack, &queue), 20);
    EXPECT_EQ(Take(queue), "0000001111"
                           "0000110111");
    EXPECT_EQ(SearchCode(3000, kWhite, &queue), 28);
    EXPECT_EQ(Take(queue), std::string("000000011111") + "00110111" + "01011001"); // 2560 384 56
    EXPECT_EQ(SearchCode(1728, kWhite, &queue), 17);
    EXPECT_EQ(Take(queue), "010011011"
                           "00110101");
    // The count is what was appended, for the boundaries of each kind of word.
    for (int run : {0, 1, 63, 64, 65, 127, 128, 1727, 1728, 1791, 1792, 2560, 2561, 3000})
        for (int colour : {kWhite, kBlack}) {
            const int n = SearchCode(run, colour, &queue);
            EXPECT_EQ(static_cast<uint32_t>(n), queue.GetLength()) << run << " " << colour;
            EXPECT_GT(n, 0);
            queue.Reset();
        }
}

TEST(SearchCode, RefusesWhatItCannotCode) {
    QueueBuff queue;
    EXPECT_EQ(SearchCode(10, 2, &queue), 0);
    EXPECT_EQ(SearchCode(10, -1, &queue), 0);
    EXPECT_EQ(SearchCode(10, kWhite, nullptr), 0);
    EXPECT_EQ(SearchCode(-1, kBlack, &queue), 0);
    EXPECT_EQ(queue.GetLength(), 0u);
}

TEST(Binstr2Bin, PacksLeastSignificantBitFirst) {
    EXPECT_EQ(Pack("000000000001"), (std::vector<uint8_t>{0x00, 0x08}));
    EXPECT_EQ(Pack("1"), (std::vector<uint8_t>{0x01}));
    EXPECT_EQ(Pack("10000000"
                   "01"),
              (std::vector<uint8_t>{0x01, 0x02}));
    EXPECT_EQ(Pack("11111111"
                   "1111111"),
              (std::vector<uint8_t>{0xFF, 0x7F}));
    // Anything but '0' is a 1 bit.
    EXPECT_EQ(Pack("x0 0\x80"
                   "000"
                   "2"),
              (std::vector<uint8_t>{0x15, 0x01}));
}

TEST(Binstr2Bin, AgreesWithBitByBitPackingOnAnyText) {
    std::mt19937 rng(3);
    for (int length : {1, 7, 8, 9, 63, 64, 65, 1000, 4099}) {
        std::string text(static_cast<size_t>(length), '0');
        for (char &c : text) {
            const uint32_t pick = rng() % 4;
            c = pick == 0 ? '0' : pick == 1 ? '1' : pick == 2 ? '0' : static_cast<char>(rng());
        }
        std::vector<uint8_t> expected((text.size() + 7) / 8, 0);
        for (size_t i = 0; i < text.size(); ++i)
            if (text[i] != '0')
                expected[i / 8] |= static_cast<uint8_t>(1u << (i % 8));
        EXPECT_EQ(Pack(text), expected) << length;
    }
}

TEST(Binstr2Bin, ReusesTheBufferAndLeavesItAloneWhenNothingIsPacked) {
    char *buffer = static_cast<char *>(Realloc(nullptr, 3));
    buffer[0] = 'k';
    char *before = buffer;
    EXPECT_EQ(Binstr2Bin(buffer, "1", 0), 0);
    EXPECT_EQ(Binstr2Bin(buffer, nullptr, 5), 0);
    EXPECT_EQ(Binstr2Bin(buffer, "1", -3), 0);
    EXPECT_EQ(buffer, before);
    EXPECT_EQ(buffer[0], 'k');
    // A longer text grows the same block: the old content is the caller's to lose.
    const std::string bits(8 * 300, '1');
    EXPECT_EQ(Binstr2Bin(buffer, bits.c_str(), 8 * 300), 300);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(static_cast<uint8_t>(buffer[299]), 0xFF);
    Realloc(buffer, 0);
}

TEST(Bin2Hex, TwoUpperCaseDigitsWithoutTerminator) {
    char text[] = "xyz";
    EXPECT_EQ(Bin2Hex(text, static_cast<char>(0xAB)), text);
    EXPECT_STREQ(text, "ABz");
    Bin2Hex(text, 0x00);
    EXPECT_STREQ(text, "00z");
    Bin2Hex(text, static_cast<char>(0xF0));
    EXPECT_STREQ(text, "F0z");
    Bin2Hex(text, 0x0F);
    EXPECT_STREQ(text, "0Fz");
    EXPECT_EQ(Bin2Hex(nullptr, 1), nullptr);
}
