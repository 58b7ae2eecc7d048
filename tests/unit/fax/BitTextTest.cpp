// Binstr2Bin, the packing of the bit texts the line operations take.
#include <gtest/gtest.h>

#include <string>

#include "fax/FaxCodes.h"

TEST(Binstr2Bin, PacksLeastSignificantBitFirst) {
    using Bytes = std::vector<uint8_t>;
    for (const auto &[bits, bytes] : std::vector<std::pair<std::string, Bytes>>{
             {"000000000001", {0x00, 0x08}},
             {"1", {0x01}},
             {"1000000001", {0x01, 0x02}},
             {"111111111111111", {0xFF, 0x7F}},
             {"x0 0\x80"
              "0002",
              {0x15, 0x01}}, // anything but '0' is a 1 bit
         }) {
        char *packed = nullptr;
        const int n = Binstr2Bin(packed, bits.c_str(), static_cast<int>(bits.size()));
        EXPECT_EQ(Bytes(packed, packed + n), bytes) << bits;
        Realloc(packed, 0);
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
