// The fax line operations as they fill the transmit queue, and
// SetupRenderPort.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "falcrest/Falcrest.h"
#include "serial/EngineState.h"

namespace {

std::string TakeQueued() {
    char *bytes = nullptr;
    const uint32_t n = szOutQueue.Paste(bytes);
    std::string s(bytes != nullptr ? bytes : "", n);
    Realloc(bytes, 0);
    return s;
}

class FaxSend : public ::testing::Test {
protected:
    void SetUp() override { szOutQueue.Reset(); }
    void TearDown() override { szOutQueue.Reset(); }
};

} // namespace

TEST_F(FaxSend, FixedTexts) {
    EXPECT_EQ(SendFAXEol(), 2);
    EXPECT_EQ(TakeQueued(), std::string("\x00\x08", 2));
    EXPECT_EQ(SendFAXTestLine(), 8);
    EXPECT_EQ(TakeQueued(), std::string("\x00\xC8\x0A\xA4\x60\xB7\xC6\x0A", 8));
    EXPECT_EQ(SendFAXRTC(), 11);
    EXPECT_EQ(TakeQueued(), std::string("\x00\x08\x80\x00\x08\x80\x00\x08\x80\x10\x03", 11));
    // Every DLE is doubled, and counted as queued: the page's own DLE ETX
    // must stay the only one.
    EXPECT_EQ(SendFAXLine("00001000"
                          "11000000"
                          "00001000"),
              5);
    EXPECT_EQ(TakeQueued(), "\x10\x10\x03\x10\x10");
}

TEST_F(FaxSend, Lines) {
    EXPECT_EQ(SendFAXLine("1"), 1);
    EXPECT_EQ(TakeQueued(), "\x01");
    EXPECT_EQ(SendFAXLine("000000000001"), 2);
    EXPECT_EQ(TakeQueued(), std::string("\x00\x08", 2));
    EXPECT_EQ(SendFAXLine(""), 0);
    EXPECT_EQ(SendFAXLine(nullptr), 0);
    EXPECT_EQ(szOutQueue.GetLength(), 0u);
    // The order of the calls is the order of the bytes.
    SendFAXLine("11111111");
    SendFAXEol();
    SendFAXLine("0000000011");
    EXPECT_EQ(TakeQueued(), std::string("\xFF\x00\x08\x00\x03", 5));
}

TEST_F(FaxSend, GapsAreZeroBytesForTheirBits) {
    // 12 bits give 2 bytes, a rest of r bits r / 8 rounded up.
    for (auto [bits, bytes] : {std::pair{8, 1},
                               {12, 2},
                               {20, 3},
                               {100, 17},
                               {1, 1},
                               {9, 2},
                               {24, 4},
                               {25, 5},
                               {100000, 16667}}) {
        EXPECT_EQ(SendFAXGap(bits), bytes) << bits;
        EXPECT_EQ(TakeQueued(), std::string(static_cast<size_t>(bytes), '\0')) << bits;
    }
    EXPECT_EQ(SendFAXGap(0), 0);
    EXPECT_EQ(SendFAXGap(-12), 0);
    EXPECT_EQ(SendFAXGap(INT32_MIN), 0);
    EXPECT_EQ(szOutQueue.GetLength(), 0u);
}

// A list of printer drivers nobody reads is not worth starting a program for:
// a print service's lister found first on PATH stays unused.
TEST(SetupRenderPort, StartsNoProgram) {
    char dir[] = "/tmp/render-port-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string marker = std::string(dir) + "/ran", lister = std::string(dir) + "/lpinfo";
    std::FILE *script = std::fopen(lister.c_str(), "w");
    ASSERT_NE(script, nullptr);
    std::fprintf(script, "#!/bin/sh\ntouch %s\n", marker.c_str());
    std::fclose(script);
    chmod(lister.c_str(), 0755);
    const std::string path = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", (std::string(dir) + ":" + path).c_str(), 1);
    EXPECT_EQ(SetupRenderPort(), 0);
    setenv("PATH", path.c_str(), 1);
    EXPECT_NE(access(marker.c_str(), F_OK), 0);
    std::system(("rm -rf " + std::string(dir)).c_str());
}
