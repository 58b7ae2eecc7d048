// QueueBuff: order through every operation, put-back, whole-queue hand-out,
// growth and compaction, and the storage an emptied queue keeps.
#include "Tamsel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

std::string Held(QueueBuff &q) {
    q.Enter();
    std::string s(q.pData ? q.pData + q.dwOffset : "", q.dwCount);
    q.Leave();
    return s;
}

TEST(QueueBuff, KeepsOrderThroughEveryOperation) {
    QueueBuff q;
    EXPECT_TRUE(q.Ungetch('z')); // into an empty queue
    EXPECT_EQ(q.Append("hello ", 6), 6u);
    EXPECT_EQ(q.Append("world", 5), 5u);
    EXPECT_EQ(q.Append(nullptr, 5) + q.Append("x", 0), 0u);
    EXPECT_EQ(Held(q), "zhello world");
    char buf[8];
    EXPECT_EQ(q.Paste(buf, 5), 5u);
    EXPECT_EQ(std::string(buf, 5), "zhell");
    EXPECT_EQ(q.Paste(nullptr, 4) + q.Paste(buf, 0), 0u);
    q.Ungetch('l'); // in front of the head after a partial take
    q.Ungetch('X');
    EXPECT_EQ(Held(q), "Xlo world");
    q.Shrink(4);
    EXPECT_EQ(QBuff_GetLength(&q), 5u);
    EXPECT_EQ(QBuff_GetLength(nullptr), 0u);
    char *p = nullptr;
    EXPECT_EQ(q.Paste(p), 5u); // the whole queue in a block, terminated
    EXPECT_STREQ(p, "world");
    EXPECT_EQ(q.Paste(p), 0u); // an empty queue makes the block ""
    EXPECT_STREQ(p, "");
    Realloc(p, 0);
    p = nullptr;
    EXPECT_EQ(q.Paste(p), 0u);
    EXPECT_EQ(p, nullptr);

    // At offset 0, put-backs beyond the front gap still come out reversed.
    q.Append("tail", 4);
    std::string expect = "tail";
    for (int i = 0; i < 300; ++i) {
        q.Ungetch('a' + i % 26);
        expect.insert(expect.begin(), char('a' + i % 26));
    }
    EXPECT_EQ(Held(q), expect);
    q.Shrink(1000);
    EXPECT_EQ(q.GetLength(), 0u);
}

TEST(QueueBuff, LargeQueueDrainsInSmallPastesIntact) {
    // Megabytes drained 250 bytes at a time while more arrives, the way the
    // transmit path uses the queue.
    QueueBuff q;
    std::string src(3 * 1024 * 1024 + 17, '\0'), got;
    for (size_t i = 0; i < src.size(); ++i)
        src[i] = char(i * 131 + (i >> 11));
    size_t fed = 2 * 1024 * 1024;
    ASSERT_EQ(q.Append(src.data(), uint32_t(fed)), fed);
    char buf[250];
    while (got.size() < src.size()) {
        const uint32_t n = uint32_t(std::min<size_t>(97, src.size() - fed));
        ASSERT_EQ(q.Append(src.data() + fed, n), n);
        fed += n;
        got.append(buf, q.Paste(buf, sizeof buf));
        ASSERT_EQ(q.dwCount, fed - got.size());
    }
    EXPECT_TRUE(got == src);
    // The emptied queue gives back all but 256 KiB, kept for what comes next.
    EXPECT_EQ(q.dwReserved, 256u * 1024);
    ASSERT_EQ(q.Append(src.data(), 256 * 1024), 256u * 1024);
    // Growth past 4 GiB is refused before a byte is read, and nothing is lost.
    EXPECT_FALSE(q.Reserve(UINT32_MAX));
    EXPECT_EQ(q.Append(src.data(), UINT32_MAX), 0u);
    EXPECT_EQ(q.GetLength(), 256u * 1024);
    EXPECT_EQ(memcmp(q.pData + q.dwOffset, src.data(), 256 * 1024), 0);
}

} // namespace
