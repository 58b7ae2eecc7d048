// GetCommFeedback's DLE scan, SetStr and the collector, on the receive queue
// directly (no port I/O is involved).
#include <gtest/gtest.h>

#include <string>

#include "serial/EngineState.h"
#include "serial/Workers.h"

namespace {

// GetCommFeedback only needs a port handle to be set; it never touches it.
class Feedback : public ::testing::Test {
protected:
    void SetUp() override { idComDev = 12345; }
    void TearDown() override {
        idComDev = plat::kInvalidPort;
        dwFeedbackFormat = 1;
        szInQueue.Reset();
        Realloc(text, 0);
        Realloc(codes, 0);
    }
    void Queue(const std::string &bytes) { szInQueue.Append(bytes.data(), uint32_t(bytes.size())); }
    // One chunk of at most `most` bytes; rawOut is the raw copy.
    int Fetch(uint32_t most = 1000) {
        Realloc(text, 0);
        Realloc(codes, 0);
        text = codes = nullptr;
        length = most;
        int result = GetCommFeedback(&text, &codes, raw, &length);
        rawOut.assign(raw, length);
        return result;
    }
    char *text = nullptr, *codes = nullptr;
    char raw[4096];
    uint32_t length = 0;
    std::string rawOut;
};

// One chunk each: what the client gets for it. A null text or code string
// means the pointer was left as it was; "left" the bytes that stay queued.
TEST_F(Feedback, ChunksByFormat) {
    using S = std::string;
    struct {
        uint32_t format;
        S queued;
        const char *text, *codes;
        S raw;
        uint32_t left;
    } rows[] = {
        {1,
         S("\x10"
           "b"
           "\x10"
           "5"
           "\x10\x14\x10\x18\x10\x1c\x10\0x",
           13),
         "x", "<b><5><DC4><CAN><FS><NUL>", "x", 0},
        {1, S("AB\x10", 3), "AB", nullptr, "AB", 1}, // the DLE waits for its partner
        {1, S("\x10\x12\x10\x10", 4), "\x10\x12\x10\x10", nullptr, S("\x10\x12\x10\x10", 4), 0},
        {2, S("\x10\x12\x10\x10", 4), "\x10\x10", "<DC2>", S("\x10\x10", 2), 0},
        {0, S("\x10\x03", 2), "\x10\x03", nullptr, S("\x10\x03", 2), 0},
        {1, S("\0\0a\0\0\0b", 7), "ab", nullptr, S("\0\0a\0\0\0b", 7), 0},
        {1, S("\0\0\0", 3), nullptr, nullptr, S("\0\0\0", 3), 0},
        {1, S("\x10", 1), nullptr, nullptr, "", 1},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.queued));
        szInQueue.Reset();
        dwFeedbackFormat = row.format;
        Queue(row.queued);
        ASSERT_EQ(Fetch(), 1);
        EXPECT_EQ(text ? S(text) : S("(untouched)"), row.text ? row.text : "(untouched)");
        EXPECT_EQ(codes ? S(codes) : S("(untouched)"), row.codes ? row.codes : "(untouched)");
        EXPECT_EQ(rawOut, row.raw);
        EXPECT_EQ(szInQueue.GetLength(), row.left);
    }
    // The lone DLE of the last row meets its partner in the next chunk.
    Queue(std::string("\x03", 1));
    ASSERT_EQ(Fetch(), 1);
    EXPECT_STREQ(codes, "<ETX>");
    // Without a receive thread there is no priority to set: the result is 0.
    EXPECT_EQ(SetFeedbackType(2), 0);
}

// Nothing waiting gives empty strings; a zero length or a closed port takes
// nothing; a chunk is at most the given length, and the raw copy optional.
TEST_F(Feedback, LimitsOfAChunk) {
    ASSERT_EQ(Fetch(), 0);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "");
    EXPECT_STREQ(codes, "");
    EXPECT_EQ(length, 0u);
    Queue(std::string(2500, 'z'));
    EXPECT_EQ(Fetch(0), 0);
    ASSERT_EQ(Fetch(1000), 1);
    EXPECT_EQ(length, 1000u);
    EXPECT_EQ(szInQueue.GetLength(), 1500u);
    length = 1000;
    ASSERT_EQ(GetCommFeedback(&text, &codes, nullptr, &length), 1);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(szInQueue.GetLength(), 500u);
    idComDev = plat::kInvalidPort;
    EXPECT_EQ(Fetch(), 0);
    EXPECT_EQ(szInQueue.GetLength(), 500u);
}

TEST_F(Feedback, CodeStringStopsGrowingPastItsLimit) {
    std::string many;
    for (int i = 0; i < 7000; ++i)
        many += std::string("\x10\x03", 2); // 7000 tokens of 5 characters
    Queue(many);
    ASSERT_EQ(Fetch(20000), 1);
    ASSERT_NE(codes, nullptr);
    size_t n = std::string(codes).size();
    EXPECT_GE(n, 32000u);
    EXPECT_LE(n, 32004u);
    EXPECT_EQ(length, 0u); // every pair still left the text
}

TEST(SetStrTest, CopiesWholeOrPartAndAlwaysAllocates) {
    char *p = nullptr;
    EXPECT_EQ(SetStr("abcdef", &p, 3), 3u);
    EXPECT_STREQ(p, "abc");
    EXPECT_EQ(SetStr(nullptr, &p, 5), 0u);
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(p, "");
    Realloc(p, 0);
    char filtered[] = "A-b 1!\t2?";
    EXPECT_EQ(StrAlphaFiltering(filtered, 9), 6);
    EXPECT_STREQ(filtered, "Ab 1\t2");
    EXPECT_EQ(StrAlphaFiltering(filtered, -7), -7);
}

TEST(Collector, KeepsItsBytesAcrossConnections) {
    EXPECT_EQ(AppendDataChank(nullptr, 5), 0);
    EXPECT_EQ(GetCollectorLength(), 0);
    EXPECT_EQ(AppendDataChank("voice", 5), 5);
    ReleaseModem();
    EXPECT_EQ(GetCollectorLength(), 5);
    char out[8] = {};
    EXPECT_EQ(PasteDataChank(out, 3), 3);
    EXPECT_EQ(std::string(out, 3), "voi");
    EXPECT_EQ(PasteDataChank(nullptr, 8), 0);
    EXPECT_EQ(PasteDataChank(out, 8), 2);
    EXPECT_EQ(GetCollectorLength(), 0);
}

} // namespace
