// DLE shielding of voice data blocks: the table of every format, the rule
// for a DLE at a block's end, and independence from where blocks are cut.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "voice/Shield.h"

using Bytes = std::vector<uint8_t>;

namespace {

struct Shielded {
    Bytes out;
    uint32_t consumed;
};

Shielded Shield(const Bytes &in, uint32_t format, bool moreFollows = false) {
    Bytes out(2 * in.size() + 2);
    auto r =
        voice::ShieldVoiceBlock(in.data(), uint32_t(in.size()), format, moreFollows, out.data());
    out.resize(r.written);
    return {out, r.consumed};
}

// Plays a whole file the way playback does: blocks of blockSize bytes, a
// block that leaves its last DLE behind is followed by one starting there.
Bytes PlayInBlocks(const Bytes &file, uint32_t format, uint32_t blockSize, uint64_t *total) {
    Bytes stream;
    size_t pos = 0;
    *total = 0;
    while (pos < file.size()) {
        uint32_t n = uint32_t(std::min<size_t>(blockSize, file.size() - pos));
        bool more = pos + n < file.size();
        Bytes out(2 * n);
        auto r = voice::ShieldVoiceBlock(file.data() + pos, n, format, more, out.data());
        if (r.consumed == 0) {
            ADD_FAILURE() << "a block consumed nothing at " << pos;
            break;
        }
        stream.insert(stream.end(), out.begin(), out.begin() + r.written);
        pos += r.consumed;
        *total += r.consumed;
    }
    return stream;
}

// How the modem reads a shielded stream: a DLE pair stands for one DLE,
// everything else is itself.
Bytes Collapse(const Bytes &s) {
    Bytes out;
    for (size_t i = 0; i < s.size(); ++i) {
        out.push_back(s[i]);
        if (s[i] == FALCREST_DLE && i + 1 < s.size() && s[i + 1] == FALCREST_DLE)
            ++i;
    }
    return out;
}

// Raw data as it goes out: unchanged, but an odd run of DLEs at its end
// gets one more, so that it cannot take the end marker's DLE.
Bytes WithFinalDLEPaired(Bytes data) {
    size_t run = 0;
    while (run < data.size() && data[data.size() - 1 - run] == FALCREST_DLE)
        ++run;
    if (run % 2)
        data.push_back(FALCREST_DLE);
    return data;
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
        {7, {0x10, 0x10, 0x10, 0x41, 0x10, 0x03, 0x10},
         {0x10, 0x10, 0x10, 0x41, 0x10, 0x03, 0x10, 0x10}},
        {0x10007, {0x10, 0x41}, {0x10, 0x41}},
        {0x107, {0x10, 0x41}, {0x10, 0x41}},
        {8, {0x10, 0x10, 0x41, 0x10, 0x03}, {0x10, 0x10, 0x10, 0x10, 0x41, 0x10, 0x10, 0x03}},
        {0x108, {0x10, 0x41}, {0x10, 0x10, 0x41}},
        {4, {0x10, 0x10, 0x41}, {0x10, 0x10, 0x41}},
        {4, {0x10, 0x41}, {0x10, 0x10, 0x41}},
        {4, {0x10, 0x18}, {0x10, 0x10, 0x18}},
        {1, {0x41, 0x10}, {0x41, 0x10, 0x10}},
        {4, {0x41, 0x10}, {0x41, 0x10, 0x10}},
        {8, {0x41, 0x10}, {0x41, 0x10, 0x10}},
        {7, {0x41, 0x10}, {0x41, 0x10, 0x10}},
        {7, {0x41, 0x10, 0x10}, {0x41, 0x10, 0x10}},
    };
    for (const auto &row : rows) {
        const auto r = Shield(row.in, row.format);
        EXPECT_EQ(r.out, row.out) << row.format << ": " << testing::PrintToString(row.in);
        EXPECT_EQ(r.consumed, row.in.size()) << row.format;
    }
    for (uint32_t format : {0u, 1u, 2u, 3u, 5u, 6u, 9u, 255u}) {
        SCOPED_TRACE(format);
        for (uint8_t code : {0x12, 0x14, 0x18, 0x1C, 0x70, 0x72})
            EXPECT_EQ(Shield({0x10, code, 0x41}, format).out, (Bytes{0x10, code, 0x41}));
        EXPECT_EQ(Shield({0x10, 0x10}, format).out, (Bytes{0x10, 0x10}));
        EXPECT_EQ(Shield({0x10, 0x41}, format).out, (Bytes{0x10, 0x10, 0x41}));
        EXPECT_EQ(Shield({0x10, 0x03}, format).out, (Bytes{0x10, 0x10, 0x03}));
        // A pair is consumed as one; a third DLE starts afresh.
        EXPECT_EQ(Shield({0x10, 0x10, 0x10, 0x18}, format).out, (Bytes{0x10, 0x10, 0x10, 0x18}));
    }
}

// Wherever the blocks are cut, the modem reads the same data: for the
// ZyXEL/USR formats what the file's pairs stand for, for fax pages the file
// itself, for raw data the unchanged bytes (a lone final DLE paired); every
// byte is counted once.
TEST(Shield, StreamDoesNotDependOnBlockBoundaries) {
    std::mt19937 rng(1234);
    for (uint32_t format : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u}) {
        for (int round = 0; round < 40; ++round) {
            // DLE-rich data so that pairs, runs and codes meet the boundaries.
            const uint8_t alphabet[] = {0x10, 0x10, 0x10, 0x12, 0x18, 0x41, 0x70, 0x03};
            Bytes file(1 + rng() % 3000);
            for (auto &b : file)
                b = alphabet[rng() % sizeof alphabet];
            uint64_t wholeTotal = 0;
            Bytes whole = PlayInBlocks(file, format, uint32_t(file.size()), &wholeTotal);
            for (uint32_t blockSize : {2u, 3u, 7u, 64u, 999u, 1000u}) {
                SCOPED_TRACE(testing::Message() << "format " << format << " block " << blockSize);
                uint64_t total = 0;
                Bytes stream = PlayInBlocks(file, format, blockSize, &total);
                ASSERT_EQ(total, file.size());
                ASSERT_EQ(stream, whole);
                if (format == 7)
                    ASSERT_EQ(stream, WithFinalDLEPaired(file));
                else if (format == 8)
                    ASSERT_EQ(Collapse(stream), file);
                else
                    ASSERT_EQ(Collapse(stream), Collapse(file));
            }
        }
    }
}
