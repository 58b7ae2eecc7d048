// QueueBuff: order, partial takes, put-back, whole-queue hand-out, growth and
// compaction. Its lock is exercised by the streams of the integration tests.
#include "Tamsel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Held(QueueBuff &q) {
    q.Enter();
    std::string s(q.pData ? q.pData + q.dwOffset : "", q.dwCount);
    q.Leave();
    return s;
}

TEST(QueueBuff, KeepsOrderAcrossAppendAndPaste) {
    QueueBuff q;
    EXPECT_EQ(q.dwCount, 0u);
    EXPECT_EQ(q.Append("hello ", 6), 6u);
    EXPECT_EQ(q.Append("world", 5), 5u);
    EXPECT_EQ(q.Append(nullptr, 5), 0u);
    EXPECT_EQ(q.Append("x", 0), 0u);
    EXPECT_EQ(q.GetLength(), 11u);
    EXPECT_EQ(QBuff_GetLength(&q), 11u);
    EXPECT_EQ(QBuff_GetLength(nullptr), 0u);
    EXPECT_EQ(Held(q), "hello world");

    char buf[8];
    EXPECT_EQ(q.Paste(buf, 4), 4u);
    EXPECT_EQ(std::string(buf, 4), "hell");
    EXPECT_EQ(Held(q), "o world");
    EXPECT_EQ(q.Paste(buf, sizeof buf), 7u);
    EXPECT_EQ(std::string(buf, 7), "o world");
    EXPECT_EQ(q.Paste(buf, sizeof buf), 0u);
    EXPECT_EQ(q.GetLength(), 0u);
}

TEST(QueueBuff, UngetchPutsBytesBackAtTheHead) {
    QueueBuff q;
    q.Ungetch('z'); // into an empty queue
    EXPECT_EQ(Held(q), "z");
    q.Reset();

    q.Append("abcdef", 6);
    char buf[4];
    ASSERT_EQ(q.Paste(buf, 3), 3u);
    q.Ungetch('c'); // after a partial take the head has room in front
    q.Ungetch('X');
    EXPECT_EQ(Held(q), "Xcdef");

    // At offset 0 many put-backs in a row still come out in reverse order.
    QueueBuff r;
    r.Append("tail", 4);
    std::string expect = "tail";
    for (int i = 0; i < 300; ++i) {
        r.Ungetch('a' + i % 26);
        expect.insert(expect.begin(), char('a' + i % 26));
    }
    EXPECT_EQ(Held(r), expect);
}

TEST(QueueBuff, ShrinkAndReset) {
    QueueBuff q;
    q.Append("0123456789", 10);
    q.Shrink(3);
    EXPECT_EQ(Held(q), "3456789");
    q.Shrink(0);
    EXPECT_EQ(Held(q), "3456789");
    char out[4];
    EXPECT_EQ(q.Paste(nullptr, 4), 0u); // nowhere to put them: nothing leaves
    EXPECT_EQ(q.Paste(out, 0), 0u);
    EXPECT_EQ(Held(q), "3456789");
    q.Shrink(100);
    EXPECT_EQ(q.GetLength(), 0u);
    q.Append("ab", 2);
    EXPECT_EQ(Held(q), "ab");
    q.Reset();
    EXPECT_EQ(q.GetLength(), 0u);
    EXPECT_EQ(Held(q), "");
}

TEST(QueueBuff, PasteToBlockHandsOutEverythingTerminated) {
    QueueBuff q;
    char *p = nullptr;
    EXPECT_EQ(q.Paste(p), 0u);
    EXPECT_EQ(p, nullptr);

    q.Append("abc", 3);
    q.Shrink(1);
    q.Append("de", 2);
    EXPECT_EQ(q.Paste(p), 4u);
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(p, "bcde");
    EXPECT_EQ(q.GetLength(), 0u);

    // An existing block is resized, not leaked.
    std::string big(5000, 'q');
    q.Append(big.data(), uint32_t(big.size()));
    EXPECT_EQ(q.Paste(p), 5000u);
    EXPECT_EQ(std::string(p), big);

    EXPECT_EQ(q.Paste(p), 0u); // empty queue: the block becomes ""
    EXPECT_STREQ(p, "");
    EXPECT_EQ(Realloc(p, 0), nullptr);
}

TEST(QueueBuff, LargeQueueDrainsInSmallPastesIntact) {
    // A megabytes-long queue drained 250 bytes at a time while more arrives,
    // the way the transmit path uses it.
    QueueBuff q;
    std::vector<unsigned char> src(3 * 1024 * 1024 + 17);
    for (size_t i = 0; i < src.size(); ++i)
        src[i] = (unsigned char)(i * 131 + (i >> 11));
    ASSERT_EQ(q.Append(src.data(), 2 * 1024 * 1024), 2u * 1024 * 1024);
    size_t fed = 2 * 1024 * 1024, got = 0;
    unsigned char buf[250];
    while (got < src.size()) {
        if (fed < src.size()) {
            uint32_t n = uint32_t(std::min<size_t>(97, src.size() - fed));
            ASSERT_EQ(q.Append(src.data() + fed, n), n);
            fed += n;
        }
        uint32_t n = q.Paste(buf, sizeof buf);
        ASSERT_GT(n, 0u);
        ASSERT_EQ(0, memcmp(buf, src.data() + got, n)) << "at " << got;
        got += n;
        ASSERT_EQ(q.dwCount, fed - got);
        ASSERT_LE(uint64_t(q.dwOffset) + q.dwCount, q.dwReserved);
    }
    EXPECT_EQ(q.GetLength(), 0u);
}

} // namespace
