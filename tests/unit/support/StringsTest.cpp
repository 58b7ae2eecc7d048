// String and memory helpers: null strings as empty, and the bounded variants
// against a guard page so that a read or write past the bound faults.
#include "Tamsel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// The bytes, without a terminator, ending right at an inaccessible page.
struct Guarded {
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    char *base = static_cast<char *>(
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    char *data;
    Guarded(const char *bytes, size_t n) : data(base + page - n) {
        mprotect(base + page, page, PROT_NONE);
        std::memcpy(data, bytes, n);
    }
    ~Guarded() { munmap(base, 2 * page); }
};

TEST(Strings, NullIsEmpty) {
    char buf[8] = "ab";
    EXPECT_EQ(Strlen(nullptr) + Strlen(nullptr, 5) + Strcpy(nullptr, "a"), 0u);
    EXPECT_EQ(Strncpy(nullptr, "a", 1) + Strcat(nullptr, "a"), 0u);
    EXPECT_EQ(Strcat(buf, nullptr) + Strcat(buf, nullptr, 8), 4u);
    EXPECT_EQ(Strstr(nullptr, "a"), nullptr);
    EXPECT_EQ(Strstr(buf, nullptr), buf);
    EXPECT_EQ(Strcpy(buf, nullptr), 0u);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(Strncmp(nullptr, "", 3), 0);
    EXPECT_LT(Strncmp(nullptr, "a", 3), 0);
    EXPECT_GT(Strncmp("\xE0", "a", 1), 0); // bytes compare unsigned
    EXPECT_EQ(Strncmp("ATZ", "ATX", 2), 0);
}

TEST(Strings, BoundedCallsStayInsideTheirRoom) {
    EXPECT_EQ(Strlen(Guarded("abcdef", 6).data, 6) + Strlen(Guarded("abcdef", 6).data, 4), 10u);
    Guarded copy("....", 4); // Strncpy needs max + 1 bytes
    EXPECT_EQ(Strncpy(copy.data, "abcdefgh", 3), 3u);
    EXPECT_STREQ(copy.data, "abc");
    Guarded cat("abc\0....", 8);
    EXPECT_EQ(Strcat(cat.data, "defghijkl", 8), 7u);
    EXPECT_STREQ(cat.data, "abcdefg");
    EXPECT_EQ(Strcat(cat.data, "x", 8), 7u); // already full
    Guarded unterminated("12345", 5);        // cut to its capacity
    EXPECT_EQ(Strcat(unterminated.data, "zz", 5), 4u);
    EXPECT_STREQ(unterminated.data, "1234");
    char one[1] = {'q'};
    EXPECT_EQ(Strcat(one, "abc", 1) + Strcat(one, "abc", 0), 0u);
    EXPECT_EQ(one[0], '\0');
}

TEST(Memory, ReallocKeepsContentAndFreesOnZero) {
    char *p = static_cast<char *>(Realloc(nullptr, 4));
    ASSERT_NE(p, nullptr);
    std::memcpy(p, "abcd", 4);
    p = static_cast<char *>(Realloc(p, 100000));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p, 4), "abcd");
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    EXPECT_EQ(Realloc(p, size_t(-1) / 2), nullptr); // failure leaves the block alive
    EXPECT_EQ(std::string(p, 4), "abcd");
#endif
    EXPECT_TRUE(Realloc(p, 0) == nullptr && Realloc(nullptr, 0) == nullptr);
    Free(nullptr);

    char m[8] = "abcdefg";
    Memmove(m + 1, m, 5);
    Setmem(m, 3, 'z');
    EXPECT_STREQ(m, "zzzcdeg");
    // Nothing to move or fill, or nowhere to: dst comes back untouched.
    EXPECT_TRUE(Memmove(m, nullptr, 3) == m && Setmem(m, 0, 'q') == m);
    EXPECT_TRUE(Memmove(nullptr, m, 3) == nullptr && Setmem(nullptr, 3, 'q') == nullptr);
    EXPECT_STREQ(m, "zzzcdeg");
}

} // namespace
