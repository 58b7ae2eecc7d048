// DLE shielding of voice data blocks: the table of every format and the rule
// for a DLE at a block's end (cuts at other places are played end to end in
// the playback tests).
#include <gtest/gtest.h>

#include <vector>

#include "voice/Shield.h"

using Bytes = std::vector<uint8_t>;

namespace {

// Plays a whole file in blocks of blockSize bytes the way playback does: a
// block that leaves its last DLE behind is followed by one starting there.
Bytes PlayInBlocks(const Bytes &file, uint32_t format, size_t blockSize) {
    Bytes stream;
    for (size_t pos = 0; pos < file.size();) {
        const uint32_t n = uint32_t(std::min(blockSize, file.size() - pos));
        Bytes out(2 * n);
        auto r = voice::ShieldVoiceBlock(file.data() + pos, n, format, pos + n < file.size(),
                                         out.data());
        if (r.consumed == 0 || r.consumed > n)
            return ADD_FAILURE() << "a block consumed " << r.consumed << " at " << pos, stream;
        stream.insert(stream.end(), out.begin(), out.begin() + r.written);
        pos += r.consumed;
    }
    return stream;
}

} // namespace

// One block that is the whole file, by format: 7 is raw data, sent as it
// is; 8 is a fax page, every DLE doubled; 4 keeps DLE pairs and doubles a
// lone DLE; the others also pass the modem's codes (DLE followed by DC2, DC4,
// CAN, FS, 'p' or 'r'). Only the low eight bits name the format. A lone DLE
// at the file's end goes out doubled, in raw data too, where alone it would
// take the end marker's DLE.
TEST(Shield, BlocksByFormat) {
    const struct {
        uint32_t format;
        Bytes in, out;
    } rows[] = {
        {7,
         {0x10, 0x10, 0x10, 0x41, 0x10, 0x03, 0x10},
         {0x10, 0x10, 0x10, 0x41, 0x10, 0x03, 0x10, 0x10}},
        {0x107, {0x10, 0x41}, {0x10, 0x41}},
        {8, {0x10, 0x10, 0x41, 0x10, 0x03}, {0x10, 0x10, 0x10, 0x10, 0x41, 0x10, 0x10, 0x03}},
        {0x108, {0x10, 0x41}, {0x10, 0x10, 0x41}},
        {4,
         {0x10, 0x10, 0x41, 0x10, 0x41, 0x10, 0x18},
         {0x10, 0x10, 0x41, 0x10, 0x10, 0x41, 0x10, 0x10, 0x18}},
        {1, {0x41, 0x10}, {0x41, 0x10, 0x10}},
        {7, {0x41, 0x10, 0x10}, {0x41, 0x10, 0x10}},
    };
    for (const auto &row : rows)
        EXPECT_EQ(PlayInBlocks(row.in, row.format, row.in.size()), row.out)
            << row.format << ": " << testing::PrintToString(row.in);
    // A block ending in a lone DLE leaves it to the next, which starts there.
    EXPECT_EQ(PlayInBlocks({0x41, 0x10, 0x10, 0x42}, 1, 2), (Bytes{0x41, 0x10, 0x10, 0x42}));
    for (uint32_t format : {0u, 1u, 2u, 3u, 5u, 6u, 9u, 255u}) {
        SCOPED_TRACE(format);
        for (uint8_t code : {0x12, 0x14, 0x18, 0x1C, 0x70, 0x72})
            EXPECT_EQ(PlayInBlocks({0x10, code, 0x41}, format, 3), (Bytes{0x10, code, 0x41}));
        // A pair is consumed as one, a third DLE starts afresh; others are doubled.
        EXPECT_EQ(PlayInBlocks({0x10, 0x10, 0x10, 0x18, 0x10, 0x41, 0x10, 0x03}, format, 8),
                  (Bytes{0x10, 0x10, 0x10, 0x18, 0x10, 0x10, 0x41, 0x10, 0x10, 0x03}));
    }
}
