// Text output through the emulator beyond what libvterm compares: line
// graphics as the console's code page has them, and echoes. Chunking is
// covered by the comparison with libvterm, which feeds ours in random chunks.
#include "ScreenFixture.h"

#include <cstring>

namespace {

using Text = Screen;

TEST_F(Text, LineGraphicsTranslateWithoutTouchingTheCallersText) {
    Feed("\x1b(0lqqk\x0fx\x0ex\x1b(Bx");
    const char *expected = "\xda\xc4\xc4\xbf"
                           "x\xb3x";
    EXPECT_EQ(Row(0), expected);
    // The backend's own caller may hand constant text.
    static const char kConst[] = "mjq";
    char copy[sizeof kConst];
    std::memcpy(copy, kConst, sizeof kConst);
    Feed("\x0e");
    beRawTextOut(copy, 3);
    EXPECT_STREQ(copy, "mjq");
    EXPECT_EQ(Row(0).substr(7), "\xc0\xd9\xc4");
    Feed("\x1b[mq");
    EXPECT_EQ(Row(0).substr(10), "q");
}

TEST_F(Text, EchoesReachTheScreen) {
    Feed("\x01\x1bQ\x80");
    EXPECT_EQ(Row(0), "^A<esc>Q^\xc0");
    Feed("\r\n");
    vtputs("put");
    vtprintf("%d%s", 12, "ab");
    EXPECT_EQ(Row(1), "put");
    EXPECT_EQ(Row(2), "12ab");
}

} // namespace
