// Binstr2Bin, the packing of the bit texts the line operations take.
#include <gtest/gtest.h>

#include <string>

#include "fax/FaxCodes.h"

namespace {

std::vector<uint8_t> Pack(const std::string &bits) {
    char *packed = nullptr;
    const int n = Binstr2Bin(packed, bits.c_str(), static_cast<int>(bits.size()));
    std::vector<uint8_t> bytes(packed, packed + n);
    Realloc(packed, 0);
    return bytes;
}

} // namespace

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
