// Text output through the emulator: new lines, the right edge with and
// without automatic wrap, line graphics, the overflow message, and the same
// screen whatever the chunking.
#include "ScreenFixture.h"

#include <cstring>
#include <random>
#include <vector>

namespace {

using Text = Screen;

TEST_F(Text, LineFeedStartsTheNextLineAtColumnOne) {
    Feed("abc\ndef\r\nghi");
    EXPECT_EQ(Row(0), "abc");
    EXPECT_EQ(Row(1), "def");
    EXPECT_EQ(Row(2), "ghi");
    EXPECT_EQ(Cursor(), "3,2");
    Feed("\rX");
    EXPECT_EQ(Row(2), "Xhi");
}

TEST_F(Text, TextEndingAtTheRightEdgeThenLineFeedLeavesAnEmptyRow) {
    Feed(std::string(80, 'a') + "\nb");
    EXPECT_EQ(Row(0), std::string(80, 'a'));
    EXPECT_EQ(Row(1), "");
    EXPECT_EQ(Row(2), "b");
}

TEST_F(Text, AtTheBufferEndAFullLineAlsoLeavesOneEmptyRow) {
    Place(0, 299);
    Feed(std::string(80, 'a') + "\nb");
    EXPECT_EQ(Row(297), std::string(80, 'a'));
    EXPECT_EQ(Row(298), "");
    EXPECT_EQ(Row(299), "b");
}

TEST_F(Text, LongerTextWrapsOntoTheNextRow) {
    Feed(std::string(100, 'a') + "b\nc");
    EXPECT_EQ(Row(0), std::string(80, 'a'));
    EXPECT_EQ(Row(1), std::string(20, 'a') + "b");
    EXPECT_EQ(Row(2), "c");
}

TEST_F(Text, WithoutAutomaticWrapTheLineIsCutAtTheEdge) {
    Feed("\x1b[?7l" + std::string(78, 'a') + "bcdef");
    EXPECT_EQ(Row(0), std::string(78, 'a') + "bc");
    EXPECT_EQ(Row(1), "");
    EXPECT_EQ(Cursor(), "79,0");
    // The cut holds for the rest of the line, whatever chunk it comes in.
    Feed("gh");
    EXPECT_EQ(Row(0), std::string(78, 'a') + "bc");
    Feed("\r\nnext");
    EXPECT_EQ(Row(1), "next");
    Feed("\x1b[?7h" + std::string(80, 'x'));
    EXPECT_EQ(Row(1), "next" + std::string(76, 'x'));
    EXPECT_EQ(Row(2), "xxxx");
}

// Raw text (what the interpreter hands over never holds one) moves to the
// tab stops itself, and not past a line that was cut.
TEST_F(Text, RawTextTabsGoToTheStops) {
    beRawTextOut("a\tb\tc", 5);
    EXPECT_EQ(Row(0), "a      b       c"); // stops at columns 8 and 16
    Feed("\r\n\x1b[?7l" + std::string(80, 'x'));
    beRawTextOut("\ty", 2);
    EXPECT_EQ(Row(1), std::string(80, 'x'));
    EXPECT_EQ(Cursor(), "79,1");
}

TEST_F(Text, CarriageReturnRestartsTheRoomOfTheLine) {
    // An overwrite after CR is no wrap: the line stays one row.
    Feed(std::string(70, 'a') + "\r" + std::string(20, 'b'));
    EXPECT_EQ(Row(0), std::string(20, 'b') + std::string(50, 'a'));
    EXPECT_EQ(Row(1), "");
    EXPECT_EQ(Cursor(), "20,0");
    Feed("\x1b[?7l\r" + std::string(85, 'c') + "\rd");
    EXPECT_EQ(Row(0), "d" + std::string(79, 'c'));
}

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

TEST_F(Text, EchoesAndOverflowMessageReachTheScreen) {
    Feed("\x01\x1bQ\x80");
    EXPECT_EQ(Row(0), "^A<esc>Q^\xc0");
    Feed("\r\n");
    EXPECT_EQ(Feed(std::string(4097, 'z')), -1);
    EXPECT_EQ(Row(1), "ERROR: VT-100 internal buffer overflow!");
    EXPECT_EQ(Feed(std::string(4096, 'z')), 0);
    Feed("\r\n");
    vtputs("put");
    vtprintf("%d%s", 12, "ab");
    const int y = Info().dwCursorPosition.Y;
    EXPECT_EQ(Row(y - 1), "put");
    EXPECT_EQ(Row(y), "12ab");
}

// The screen as text: every cell, the cursor and the window.
std::string Snapshot() {
    plat::con::ScreenBufferInfo info{};
    plat::con::GetScreenBufferInfo(plat::con::GetStdOutput(), &info);
    std::string shot;
    for (int y = 0; y < info.dwSize.Y; ++y)
        for (int x = 0; x < info.dwSize.X; ++x) {
            auto cell = plat::con::model::At(x, y);
            shot += cell.Char;
            shot += char(cell.Attributes);
        }
    shot += std::to_string(info.dwCursorPosition.X) + "," +
            std::to_string(info.dwCursorPosition.Y) + "/" + std::to_string(info.srWindow.Top) +
            "/" + std::to_string(info.srWindow.Left) + "/" + std::to_string(info.dwSize.X) + "/" +
            std::to_string(info.wAttributes);
    return shot;
}

// Random modem output, heavy in what interacts with chunk ends and the edge.
std::string RandomOutput(std::mt19937 &rng, size_t length) {
    static const char *const pieces[] = {"\x1b[",
                                         "\x1b[?7l",
                                         "\x1b[?7h",
                                         "\x1b[?3h",
                                         "\x1b[?3l",
                                         "\r\n",
                                         "\n",
                                         "\r",
                                         "\t",
                                         "\x1b(0",
                                         "\x1b(B",
                                         "\x0e",
                                         "\x0f",
                                         "\x1b[1;31m",
                                         "\x1b[m",
                                         "\x1b[7m",
                                         "\x1b[44m",
                                         "\x1b[K",
                                         "\x1b[1K",
                                         "\x1b[J",
                                         "\x1b[2J",
                                         "\x1b[P",
                                         "\x1b[3M",
                                         "\x1b[L",
                                         "\x1b[5;20r",
                                         "\x1b[r",
                                         "\x1b[H",
                                         "\x1b[12;70H",
                                         "\x1b[25;1H",
                                         "\x1b[A",
                                         "\x1b[3B",
                                         "\x1b[9C",
                                         "\x1b[D",
                                         "\x1b"
                                         "7",
                                         "\x1b"
                                         "8",
                                         "\x1b[g",
                                         "\x1b[3g",
                                         "\x1b",
                                         "\x1b\x1b",
                                         "\x08",
                                         "\x1bM",
                                         "\x1b"
                                         "E",
                                         "lqqk",
                                         "\x80",
                                         "\x01",
                                         "\x1b[?25h",
                                         "\x1b[99P",
                                         "\x0b"};
    std::string out;
    std::uniform_int_distribution<int> kind(0, 9);
    std::uniform_int_distribution<size_t> piece(0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> textLength(1, 120);
    std::uniform_int_distribution<int> letter('a', 'z');
    while (out.size() < length) {
        if (kind(rng) < 4) {
            int n = textLength(rng);
            for (int i = 0; i < n; ++i)
                out += char(letter(rng));
        } else {
            out += pieces[piece(rng)];
        }
    }
    out.resize(length);
    return out;
}

TEST_F(Text, AnyChunkingGivesTheSameScreenAsOnePiece) {
    std::mt19937 rng(20261206);
    for (int round = 0; round < 60; ++round) {
        const std::string input = RandomOutput(rng, 3000);
        SetUp();
        Feed(input);
        const std::string whole = Snapshot();
        SetUp();
        std::uniform_int_distribution<size_t> chunk(1, 40);
        for (size_t pos = 0; pos < input.size();) {
            size_t n = std::min(chunk(rng), input.size() - pos);
            ASSERT_EQ(Feed(input.substr(pos, n)), 0);
            pos += n;
        }
        ASSERT_EQ(Snapshot(), whole) << "round " << round;
    }
}

} // namespace
