// GetCommFeedback's DLE scan, SetStr and the collector, on the receive queue
// directly (no port I/O is involved).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serial/EngineState.h"
#include "serial/Workers.h"

namespace {

using S = std::string;

// One chunk of at most `most` bytes: the result, the text and the codes ("-"
// for a pointer left as it was) and the raw copy. GetCommFeedback only needs
// a port handle to be set; it never touches it.
S Fetch(uint32_t most, bool withRaw = true) {
    char *text = nullptr, *codes = nullptr;
    std::vector<char> raw(most + 1);
    uint32_t length = most;
    int result = GetCommFeedback(&text, &codes, withRaw ? raw.data() : nullptr, &length);
    S out = std::to_string(result) + "|" + (text ? S(text) : "-") + "|" + (codes ? codes : "-") +
            "|" + S(raw.data(), length);
    Realloc(text, 0);
    Realloc(codes, 0);
    return out;
}

S Times(int n, const S &s) {
    S all;
    while (n--)
        all += s;
    return all;
}

// Each row queues its bytes behind what the row before left and takes one
// chunk: "result|text|codes|raw", and how many bytes stay queued.
TEST(Feedback, ChunksByFormatAndLength) {
    idComDev = 12345;
    const struct {
        uint32_t format;
        S queued;
        uint32_t most;
        S chunk;
        uint32_t left;
    } rows[] = {
        {1, "AB\x10", 1000, "1|AB|-|AB", 1}, // the DLE waits for its partner
        {1, "", 1000, "1|-|-|", 1},          // alone it leaves the pointers alone
        {1, "\x03", 1000, "1|-|<ETX>|", 0},
        {2, "\x10\x12\x10\x10", 1000, "1|\x10\x10|<DC2>|\x10\x10", 0},
        {0, "\x10\x03", 1000, "1|\x10\x03|-|\x10\x03", 0},
        {1, S("\0\0a\0\0\0b", 7), 1000, S("1|ab|-|\0\0a\0\0\0b", 14), 0},
        {1, "", 1000, "0|||", 0}, // nothing waiting: empty strings
        {1, S(2500, 'z'), 0, "0|||", 2500},
        {1, "", 1000, "1|" + S(1000, 'z') + "|-|" + S(1000, 'z'), 1500},
        // 7000 tokens of 5 characters: the code string stops growing past
        // 32000 characters, and every pair still leaves the text.
        {1, Times(7000, "\x10\x03"), 20000,
         "1|" + S(1500, 'z') + "|" + Times(6400, "<ETX>") + "|" + S(1500, 'z'), 0},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.queued));
        dwFeedbackFormat = row.format;
        szInQueue.Append(row.queued.data(), uint32_t(row.queued.size()));
        EXPECT_EQ(Fetch(row.most), row.chunk);
        EXPECT_EQ(szInQueue.GetLength(), row.left);
    }
    // The raw copy is optional; a closed port takes nothing.
    szInQueue.Append("zz", 2);
    EXPECT_EQ(Fetch(1, false), "1|z|-|");
    idComDev = plat::kInvalidPort;
    EXPECT_EQ(Fetch(1000), "0|||");
    EXPECT_EQ(szInQueue.GetLength(), 1u);
    // Without a receive thread there is no priority to set: the result is 0.
    EXPECT_EQ(SetFeedbackType(2), 0);
    szInQueue.Reset();
}

TEST(SetStrTest, CopiesWholeOrPartAndAlwaysAllocates) {
    char *p = nullptr; // a length of 0 copies the whole string; a part is the chunks' case
    EXPECT_EQ(SetStr("abcdef", &p, 0), 6u);
    EXPECT_STREQ(p, "abcdef");
    Realloc(p, 0);
    char filtered[] = "A-b 1!\t2?";
    EXPECT_EQ(StrAlphaFiltering(filtered, 9), 6);
    EXPECT_STREQ(filtered, "Ab 1\t2");
    EXPECT_EQ(StrAlphaFiltering(filtered, -7), -7);
}

TEST(Collector, KeepsItsBytesAcrossConnections) {
    char out[8] = {};
    EXPECT_EQ(AppendDataChank(nullptr, 5) + GetCollectorLength(), 0);
    EXPECT_EQ(AppendDataChank("voice", 5), 5);
    ReleaseModem();
    EXPECT_EQ(GetCollectorLength(), 5);
    EXPECT_EQ(PasteDataChank(out, 3), 3);
    EXPECT_EQ(std::string(out, 3), "voi");
    EXPECT_EQ(PasteDataChank(nullptr, 8), 0);
    EXPECT_EQ(PasteDataChank(out, 8), 2);
    EXPECT_EQ(GetCollectorLength(), 0);
}

} // namespace
