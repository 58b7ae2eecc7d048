// DLE shielding of voice data blocks: the table of every format, the rule
// for a DLE at a block's end, and independence from where blocks are cut.
#include <gtest/gtest.h>

#include <random>
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

// What a stream stands for: a DLE pair is one DLE, everything else itself.
Bytes Collapse(const Bytes &s) {
    Bytes out;
    for (size_t i = 0; i < s.size(); ++i) {
        out.push_back(s[i]);
        i += s[i] == FALCREST_DLE && i + 1 < s.size() && s[i + 1] == FALCREST_DLE;
    }
    return out;
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
    for (uint32_t format : {0u, 1u, 2u, 3u, 5u, 6u, 9u, 255u}) {
        SCOPED_TRACE(format);
        for (uint8_t code : {0x12, 0x14, 0x18, 0x1C, 0x70, 0x72})
            EXPECT_EQ(PlayInBlocks({0x10, code, 0x41}, format, 3), (Bytes{0x10, code, 0x41}));
        // A pair is consumed as one, a third DLE starts afresh; others are doubled.
        EXPECT_EQ(PlayInBlocks({0x10, 0x10, 0x10, 0x18, 0x10, 0x41, 0x10, 0x03}, format, 8),
                  (Bytes{0x10, 0x10, 0x10, 0x18, 0x10, 0x10, 0x41, 0x10, 0x10, 0x03}));
    }
}

// Wherever the blocks are cut, the modem reads the same data: for the
// ZyXEL/USR formats what the file's pairs stand for, for fax pages the file
// itself, for raw data the unchanged bytes (a lone final DLE paired).
TEST(Shield, StreamDoesNotDependOnBlockBoundaries) {
    std::mt19937 rng(1234);
    for (uint32_t format = 0; format <= 9; ++format) {
        for (int round = 0; round < 40; ++round) {
            // DLE-rich data so that pairs, runs and codes meet the boundaries.
            const uint8_t alphabet[] = {0x10, 0x10, 0x10, 0x12, 0x18, 0x41, 0x70, 0x03};
            Bytes file(1 + rng() % 3000);
            for (auto &b : file)
                b = alphabet[rng() % sizeof alphabet];
            const Bytes whole = PlayInBlocks(file, format, file.size());
            size_t finalDLEs = 0;
            while (finalDLEs < file.size() && file[file.size() - 1 - finalDLEs] == FALCREST_DLE)
                ++finalDLEs;
            Bytes raw = file;
            if (finalDLEs % 2)
                raw.push_back(FALCREST_DLE);
            for (size_t blockSize : {2, 3, 7, 64, 999, 1000}) {
                SCOPED_TRACE(testing::Message() << "format " << format << " block " << blockSize);
                const Bytes stream = PlayInBlocks(file, format, blockSize);
                ASSERT_EQ(stream, whole);
                if (format == 7)
                    ASSERT_EQ(stream, raw);
                else
                    ASSERT_EQ(Collapse(stream), format == 8 ? file : Collapse(file));
            }
        }
    }
}
