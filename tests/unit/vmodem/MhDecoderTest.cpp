// The fax page decoder against hand-made code words.
#include "MhDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace vmodem;

namespace {

const std::string kEol = "000000000001";

// Packs a text of '0'/'1' the way bits go on the line: first bit into the
// least significant bit of the first byte. Spaces separate code words.
std::vector<uint8_t> Pack(const std::string &text) {
    std::string bits;
    for (char c : text)
        if (c != ' ')
            bits += c;
    std::vector<uint8_t> out((bits.size() + 7) / 8, 0);
    for (size_t i = 0; i < bits.size(); ++i)
        if (bits[i] == '1')
            out[i / 8] |= uint8_t(1u << (i % 8));
    return out;
}

// Pads a coded line with zero fill to a byte boundary, as senders do.
std::string Filled(std::string line) {
    line.erase(std::remove(line.begin(), line.end(), ' '), line.end());
    while (line.size() % 8)
        line += '0';
    return line;
}

std::string Rtc() {
    std::string s;
    for (int i = 0; i < 6; ++i)
        s += kEol;
    return s;
}

SFaxPage Decode(const std::string &bits) {
    std::vector<uint8_t> bytes = Pack(bits);
    return DecodeMhPage(bytes.data(), bytes.size());
}

int Pel(const std::vector<uint8_t> &row, int x) {
    return (row[size_t(x / 8)] >> (7 - x % 8)) & 1;
}

// Runs of a row as (colour, length), starting with white.
std::vector<int> Runs(const std::vector<uint8_t> &row) {
    std::vector<int> runs;
    int colour = 0, length = 0;
    for (int x = 0; x < kFaxPels; ++x) {
        if (Pel(row, x) != colour) {
            runs.push_back(length);
            colour = Pel(row, x);
            length = 0;
        }
        ++length;
    }
    runs.push_back(length);
    return runs;
}

// White make-up 1728 + white 0, black make-up 1728 + black 0.
const std::string kWhiteLine = "010011011 00110101";
const std::string kBlackLine = "00110101 0000001100101 0000110111";

} // namespace

TEST(MhDecoder, KnownByteStreamsOfWholeLines) {
    // White, black and "first pel pair black" lines as the library's encoder
    // produces them, byte for byte, then its RTC.
    std::vector<uint8_t> page = {0x00, 0x28, 0x9B, 0x15,             // all white
                                 0x00, 0xC8, 0x0A, 0x4C, 0x61, 0x07, // all black
                                 0x00, 0xC8, 0xBA, 0xC1, 0x0C,       // 2 black, rest white
                                 0x00, 0x08, 0x80, 0x00, 0x08, 0x80, 0x00, 0x08, 0x80};
    SFaxPage p = DecodeMhPage(page.data(), page.size());
    ASSERT_EQ(p.rows.size(), 3u);
    EXPECT_TRUE(p.bad.empty());
    EXPECT_TRUE(p.rtc);
    EXPECT_EQ(Runs(p.rows[0]), (std::vector<int>{1728}));
    EXPECT_EQ(Runs(p.rows[1]), (std::vector<int>{0, 1728}));
    EXPECT_EQ(Runs(p.rows[2]), (std::vector<int>{0, 2, 1726}));
}

TEST(MhDecoder, TestLineAndMixedRuns) {
    const std::string testLine = kEol + "00110101 0000001001010 0000110111 011010110 00110101";
    // white 1, black 1, white 63, black 1600 + 63
    const std::string mixed = kEol + "000111 010 00110100 0000001011011 000001100111";
    // white 0, black 1664 + 1, white 63: "00110100" ends in zeros that run
    // straight into the zeros of the next EOL, with no fill between.
    const std::string endsInZeros = kEol + "00110101 0000001100100 010 00110100";
    SFaxPage p = Decode(Filled(testLine) + Filled(mixed) + endsInZeros + Rtc());
    ASSERT_TRUE(p.bad.empty()) << p.bad[0].reason;
    ASSERT_EQ(p.rows.size(), 3u);
    EXPECT_EQ(Runs(p.rows[0]), (std::vector<int>{0, 640, 1088}));
    EXPECT_EQ(Runs(p.rows[1]), (std::vector<int>{1, 1, 63, 1663}));
    EXPECT_EQ(Runs(p.rows[2]), (std::vector<int>{0, 1665, 63}));
    EXPECT_TRUE(p.rtc);
    EXPECT_EQ(p.eols, 9u);
}

TEST(MhDecoder, BadLinesAreReportedAndSkipped) {
    const std::string tooLong = kEol + "010011011 000111";    // white 1728 + 1
    const std::string tooShort = kEol + "010011010 00110101"; // white 1600 only
    const std::string noCode = kEol + "00110101 00000000111"; // no black word
    const std::string extra = kEol + kWhiteLine + "1";        // bits after 1728 pels
    SFaxPage p = Decode(Filled(kEol + kWhiteLine) + Filled(tooLong) + Filled(tooShort) +
                        Filled(noCode) + Filled(extra) + Filled(kEol + kBlackLine) + Rtc());
    ASSERT_EQ(p.rows.size(), 2u);
    EXPECT_EQ(Runs(p.rows[1]), (std::vector<int>{0, 1728}));
    ASSERT_EQ(p.bad.size(), 4u);
    EXPECT_EQ(p.bad[0].line, 2u);
    EXPECT_EQ(p.bad[1].line, 3u);
    EXPECT_EQ(p.bad[2].line, 4u);
    EXPECT_NE(p.bad[2].reason.find("black"), std::string::npos);
    EXPECT_EQ(p.bad[3].line, 5u);
}

TEST(MhDecoder, RtcEndsThePageAndExtraEolsDoNot) {
    // Two EOLs in a row between lines are not an RTC; data after the RTC is
    // not decoded but its 1 bits are counted.
    std::string page = Filled(kEol + kWhiteLine) + kEol + kEol + Filled(kEol + kBlackLine) + Rtc() +
                       Filled(kEol + kWhiteLine);
    SFaxPage p = Decode(page);
    EXPECT_EQ(p.rows.size(), 2u);
    EXPECT_TRUE(p.rtc);
    EXPECT_GT(p.trailingOnes, 0u);
}

TEST(MhDecoder, PageWithoutRtcOrEolStillDecodes) {
    SFaxPage noRtc = Decode(Filled(kEol + kWhiteLine) + Filled(kEol + kBlackLine));
    EXPECT_EQ(noRtc.rows.size(), 2u);
    EXPECT_FALSE(noRtc.rtc);
    EXPECT_TRUE(Decode("").rows.empty());
    EXPECT_TRUE(Decode(Filled(kWhiteLine)).rows.empty()); // no EOL: nothing is a line
    SFaxPage zeros = Decode(std::string(4000, '0'));
    EXPECT_TRUE(zeros.rows.empty());
    EXPECT_TRUE(zeros.bad.empty());
}

TEST(MhDecoder, CodeLookup) {
    EXPECT_EQ(LookupMhCode(true, 0b00110101, 8), 0);
    EXPECT_EQ(LookupMhCode(false, 0b0000110111, 10), 0);
    EXPECT_EQ(LookupMhCode(false, 0b11, 2), 2);
    EXPECT_EQ(LookupMhCode(true, 0b11, 2), -1);
    EXPECT_EQ(LookupMhCode(true, 0b00000001000, 11), 1792);
    EXPECT_EQ(LookupMhCode(false, 0b000000011111, 12), 2560);
    EXPECT_EQ(LookupMhCode(true, 0b1, 14), -1);
    EXPECT_EQ(LookupMhCode(true, 0b100, 2), -1);
}

TEST(MhDecoder, PbmHeaderAndRows) {
    SFaxPage p = Decode(Filled(kEol + kBlackLine) + Rtc());
    std::string pbm = PageToPbm(p);
    std::string header = "P4\n1728 1\n";
    ASSERT_EQ(pbm.size(), header.size() + 216);
    EXPECT_EQ(pbm.substr(0, header.size()), header);
    EXPECT_EQ(pbm.substr(header.size()), std::string(216, '\xff'));
}
