// String and memory helpers: null strings as empty, and the bounded variants
// against a guard page so that a read or write past the bound faults.
#include "Tamsel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// n usable bytes that end right at an inaccessible page.
class Guarded {
public:
    explicit Guarded(size_t n) {
        page_ = size_t(sysconf(_SC_PAGESIZE));
        base_ = static_cast<char *>(
            mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        EXPECT_NE(base_, MAP_FAILED);
        mprotect(base_ + page_, page_, PROT_NONE);
        data_ = base_ + page_ - n;
    }
    ~Guarded() { munmap(base_, 2 * page_); }
    char *get() { return data_; }

private:
    size_t page_;
    char *base_;
    char *data_;
};

TEST(Strings, NullCountsAsEmpty) {
    char buf[8] = "zz";
    EXPECT_EQ(Strlen(nullptr), 0u);
    EXPECT_EQ(Strlen(nullptr, 5), 0u);
    EXPECT_EQ(Strcpy(buf, nullptr), 0u);
    EXPECT_STREQ(buf, "");
    std::strcpy(buf, "ab");
    EXPECT_EQ(Strcat(buf, nullptr), 2u);
    EXPECT_EQ(Strcat(buf, nullptr, sizeof buf), 2u);
    EXPECT_EQ(Strncmp(nullptr, "", 3), 0);
    EXPECT_LT(Strncmp(nullptr, "a", 3), 0);
    EXPECT_EQ(Strstr(nullptr, "a"), nullptr);
    EXPECT_EQ(Strstr(buf, nullptr), buf);
    EXPECT_EQ(Strcpy(nullptr, "a"), 0u);
    EXPECT_EQ(Strncpy(nullptr, "a", 1), 0u);
    EXPECT_EQ(Strcat(nullptr, "a"), 0u);
    EXPECT_EQ(Strncmp("", nullptr, 3), 0);
    EXPECT_GT(Strncmp("a", nullptr, 3), 0);
}

TEST(Strings, CopyConcatenateCompareFind) {
    char buf[32];
    EXPECT_EQ(Strcpy(buf, "modem"), 5u);
    EXPECT_STREQ(buf, "modem");
    EXPECT_EQ(Strcat(buf, " ok"), 8u);
    EXPECT_STREQ(buf, "modem ok");
    EXPECT_EQ(Strncpy(buf, "abcdef", 3), 3u);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(Strncpy(buf, "ab", 10), 2u);
    EXPECT_STREQ(buf, "ab");

    EXPECT_EQ(Strncmp("ATZ", "ATX", 2), 0);
    EXPECT_NE(Strncmp("ATZ", "ATX", 3), 0);
    EXPECT_EQ(Strncmp("AT", "AT", 10), 0);
    EXPECT_GT(Strncmp("\xE0", "a", 1), 0); // bytes compare unsigned

    const char *s = "RING RING CONNECT";
    EXPECT_EQ(Strstr(s, "RING"), s);
    EXPECT_EQ(Strstr(s, "CONNECT"), s + 10);
    EXPECT_EQ(Strstr(s, ""), s);
    EXPECT_EQ(Strstr(s, "BUSY"), nullptr);
}

TEST(Strings, BoundedLengthReadsNoFurtherThanMax) {
    Guarded g(6);
    std::memcpy(g.get(), "abcdef", 6); // no terminator before the guard page
    EXPECT_EQ(Strlen(g.get(), 6), 6u);
    EXPECT_EQ(Strlen(g.get(), 4), 4u);
    EXPECT_EQ(Strlen(g.get(), 0), 0u);
    g.get()[2] = '\0';
    EXPECT_EQ(Strlen(g.get(), 6), 2u);
}

TEST(Strings, BoundedCopiesWriteNoFurtherThanTheirRoom) {
    {
        Guarded g(4); // Strncpy needs max + 1 bytes
        EXPECT_EQ(Strncpy(g.get(), "abcdefgh", 3), 3u);
        EXPECT_STREQ(g.get(), "abc");
    }
    {
        Guarded g(8);
        std::strcpy(g.get(), "abc");
        EXPECT_EQ(Strcat(g.get(), "defghijkl", 8), 7u);
        EXPECT_STREQ(g.get(), "abcdefg");
        EXPECT_EQ(Strcat(g.get(), "x", 8), 7u); // already full
        EXPECT_STREQ(g.get(), "abcdefg");
    }
    {
        // A destination without a terminator inside its capacity is cut.
        Guarded g(5);
        std::memcpy(g.get(), "12345", 5);
        EXPECT_EQ(Strcat(g.get(), "zz", 5), 4u);
        EXPECT_STREQ(g.get(), "1234");
    }
    char one[1] = {'q'};
    EXPECT_EQ(Strcat(one, "abc", 1), 0u);
    EXPECT_EQ(one[0], '\0');
    EXPECT_EQ(Strcat(one, "abc", 0), 0u);
}

TEST(Memory, ReallocKeepsContentAndFreesOnZero) {
    char *p = static_cast<char *>(Realloc(nullptr, 4));
    ASSERT_NE(p, nullptr);
    std::memcpy(p, "abcd", 4);
    p = static_cast<char *>(Realloc(p, 100000));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p, 4), "abcd");
    p = static_cast<char *>(Realloc(p, 2));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p, 2), "ab");
    EXPECT_EQ(Realloc(p, 0), nullptr);
    EXPECT_EQ(Realloc(nullptr, 0), nullptr);
    Free(nullptr);

    // Failure leaves the old block alive.
    char *q = static_cast<char *>(Realloc(nullptr, 8));
    ASSERT_NE(q, nullptr);
    std::strcpy(q, "keep");
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    EXPECT_EQ(Realloc(q, size_t(-1) / 2), nullptr);
    EXPECT_STREQ(q, "keep");
#endif
    Free(q);

    char m[8] = "abcdefg";
    Memmove(m + 1, m, 5);
    EXPECT_STREQ(m, "aabcdeg");
    Setmem(m, 3, 'z');
    EXPECT_STREQ(m, "zzzcdeg");
    // Nothing to move or fill, or nowhere to: dst comes back untouched.
    EXPECT_EQ(Memmove(m, nullptr, 3), m);
    EXPECT_EQ(Memmove(nullptr, m, 3), nullptr);
    EXPECT_EQ(Setmem(m, 0, 'q'), m);
    EXPECT_EQ(Setmem(nullptr, 3, 'q'), nullptr);
    EXPECT_STREQ(m, "zzzcdeg");
}

} // namespace
