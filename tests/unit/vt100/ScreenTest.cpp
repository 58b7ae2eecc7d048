// The emulator on the console, where the comparison with libvterm cannot see:
// the screen is the console's window wherever it stands in the buffer, what
// scrolls off stays above it, the console's own wrap plays no part, and
// without a console nothing happens. Then the POSIX console model alone, which
// must keep the Win32 console's rules, and its drawing onto a terminal.
#include "CONSOLE.h"
#include "CONSOLEState.h"
#include "VT100.h"

#include <platform/Console.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

namespace con = plat::con;

class ScreenOps : public ::testing::Test {
protected:
    static constexpr int kWidth = 80, kRows = 25, kBufferRows = 300;
    con::Handle h = con::GetStdOutput();

    void SetUp() override {
        con::SetRenderTarget(-1);
        con::model::Reset(kWidth, kRows, kBufferRows);
        vtInitVT100();
    }
    static void Feed(const std::string &bytes) {
        vtProcessedTextOut(bytes.data(), int(bytes.size()));
    }
    void Write(const std::string &text) {
        con::Write(h, text.data(), uint32_t(text.size()), nullptr);
    }
    con::ScreenBufferInfo Info() {
        con::ScreenBufferInfo info{};
        con::GetScreenBufferInfo(h, &info);
        return info;
    }
    // Cursor as "column,row" of the buffer, 0-based.
    std::string Cursor() {
        const auto at = Info().dwCursorPosition;
        return std::to_string(at.X) + "," + std::to_string(at.Y);
    }
    bool Place(int x, int y) {
        return con::SetCursorPosition(h, con::Coord{int16_t(x), int16_t(y)});
    }
    // Buffer row y without trailing blanks.
    static std::string Row(int y) {
        std::string text = con::model::RowText(y);
        return text.erase(text.find_last_not_of(' ') + 1);
    }
    static uint16_t AttrAt(int x, int y) { return con::model::At(x, y).Attributes; }
    // Rows 0..rows-1 read "r<row>" and dots up to column 79; cursor home.
    void Number(int rows) {
        for (int y = 0; y < rows; ++y) {
            Place(0, y);
            Write(("r" + std::to_string(y) + std::string(80, '.')).substr(0, kWidth - 1));
        }
        Place(0, 0);
    }
};

TEST_F(ScreenOps, TheWindowIsTheScreenWhereverItStands) {
    Number(kBufferRows);
    Place(10, 60); // the window moves down: its first row is buffer row 36
    ASSERT_EQ(Info().srWindow.Top, 36);
    Feed("\x1b[2;3H");
    EXPECT_EQ(Cursor(), "2,37");
    Feed("\x1b[999;999H");
    EXPECT_EQ(Cursor(), "79,60");
    Feed("\x1b[999A\x1b"
         "7\x1b[5;5H\x1b"
         "8\x1b[2J");
    EXPECT_EQ(Cursor(), "79,36");
    EXPECT_EQ(Row(35).substr(0, 4), "r35.");
    EXPECT_EQ(Row(36) + Row(60), "");
    EXPECT_EQ(Row(61).substr(0, 4), "r61.");
    EXPECT_EQ(Info().srWindow.Top, 36);
}

TEST_F(ScreenOps, WhatScrollsOffTheScreenStaysAboveIt) {
    for (int i = 0; i < 30; ++i)
        Feed("line " + std::to_string(i) + "\r\n");
    EXPECT_EQ(Info().srWindow.Top, 6);
    EXPECT_EQ(Row(0), "line 0");
    EXPECT_EQ(Cursor(), "0,30");
    // At the buffer's end the buffer itself scrolls.
    for (int i = 30; i < 400; ++i)
        Feed("line " + std::to_string(i) + "\r\n");
    EXPECT_EQ(Info().srWindow.Bottom, kBufferRows - 1);
    EXPECT_EQ(Row(kBufferRows - 2), "line 399");
    EXPECT_EQ(Row(0), "line 101");
    // Inside margins rows leave for good.
    Feed("\x1b[1;2rA\r\nB\r\nC\r\n");
    EXPECT_EQ(Row(kBufferRows - 26), "line 375");
    EXPECT_EQ(Row(kBufferRows - 25) + "|" + Row(kBufferRows - 24), "C|");
}

// The last column is written in place, so the console's own end-of-line wrap
// changes nothing: a full line and CR LF leave no empty row either way.
TEST_F(ScreenOps, TheConsolesOwnWrapPlaysNoPart) {
    for (uint32_t mode : {con::kProcessedOutput | con::kWrapAtEolOutput, con::kProcessedOutput}) {
        SetUp();
        con::SetMode(h, mode);
        Feed(std::string(80, 'a') + "\r\nb" + "\x1b[25;1H" + std::string(80, 'c') + "\r\nd");
        EXPECT_EQ(Row(1) + Row(25), "bd");
        EXPECT_EQ(Row(24), std::string(80, 'c'));
        EXPECT_EQ(Cursor(), "1,25");
    }
}

// Output that is no console (on Windows, a redirected standard output): every
// operation gives up without touching anything, and the interpreter with it.
TEST_F(ScreenOps, WithoutAConsoleNothingChanges) {
    Number(kRows);
    Place(10, 4);
    const std::string rows = Row(4) + Row(5);
    hConOut = nullptr;
    Feed("\x1b[2J\x1b[H\x1b[L\x1b[M\x1b[P\x1b"
         "D\x1bM\x1b"
         "7\x1b"
         "8\x1b[3;4r\x1b[g"
         "line\r\n\t\x1b[?3h\x1b[?7l" +
         std::string(90, 'x'));
    hConOut = con::GetStdOutput();
    EXPECT_EQ(Cursor(), "10,4");
    EXPECT_EQ(Row(4) + Row(5), rows);
    EXPECT_EQ(Info().dwSize.X, kWidth);
}

TEST_F(ScreenOps, WideModeWidensTheBufferNotTheWindow) {
    Feed("\x1b[?3h");
    auto info = Info();
    EXPECT_EQ(info.dwSize.X, 132);
    EXPECT_EQ(info.srWindow.Left, 0);
    EXPECT_EQ(info.srWindow.Right, 79);
    Feed("\x1b[1;120Hx");
    EXPECT_EQ(con::model::At(119, 0).Char, 'x');
    Feed("\x1b[?3l");
    info = Info();
    EXPECT_EQ(info.dwSize.X, 80);
    EXPECT_EQ(info.srWindow.Right, 79);
    EXPECT_EQ(info.dwSize.Y, kBufferRows);
}

// Line graphics become the code page's box drawing without writing into the
// caller's text; colours start from the console's own, higher console bits are
// never touched, and colours another writer set are picked up.
TEST_F(ScreenOps, GlyphsBellAndColoursOnTheConsole) {
    static const char kConst[] = "mjq";
    char copy[sizeof kConst];
    std::memcpy(copy, kConst, sizeof kConst);
    Feed("\x1b(0lqk\x0fx\x0e");
    beRawTextOut(copy, 3);
    Feed("\x1b(Bq\x07\x07");
    EXPECT_STREQ(copy, "mjq");
    EXPECT_EQ(Row(0), "\xda\xc4\xbfx\xc0\xd9\xc4q");
    EXPECT_EQ(con::model::BeepCount(), 2);
    con::SetTextAttribute(h, 0x801E); // bright yellow on blue, and a high bit
    vtInitVT100();
    Feed("\r\x1b[7;31;42mA\x1b[mB\x1b[35mC\x1b[39;49mD");
    EXPECT_EQ(AttrAt(0, 0), 0x80C2); // bright red on green, reversed
    EXPECT_EQ(AttrAt(1, 0), 0x801E);
    EXPECT_EQ(AttrAt(2, 0), 0x801D);
    EXPECT_EQ(AttrAt(3, 0), 0x801E);
    int fore = 0, back = 0;
    beSetTextAttributes(0x467, 0);
    con::SetTextAttribute(h, 0x2E);
    beGetTextAttributes(&fore, &back);
    EXPECT_EQ(fore * 0x100 + back, 0x47302); // the stored underline and set stay
}

TEST_F(ScreenOps, ModelWritesWrapOrStayAtTheEdgeAndScrollTheBuffer) {
    Write(std::string(79, 'a') + "bc");
    EXPECT_EQ(Row(0) + "|" + Row(1) + "|" + Cursor(), std::string(79, 'a') + "b|c|1,1");
    con::SetMode(h, con::kProcessedOutput);
    Place(78, 2);
    Write("xyz\rq\x08w\nn");
    EXPECT_EQ(Row(2) + "|" + Row(3), "w" + std::string(77, ' ') + "xz|n");
    con::SetMode(h, 0); // unprocessed: control bytes are glyphs
    Write("\r\n");
    EXPECT_EQ(Row(3), "n\r\n");
    con::SetMode(h, con::kProcessedOutput);
    Place(0, 299);
    con::SetTextAttribute(h, 0x1E);
    Write("bottom\nnext");
    EXPECT_EQ(Row(298) + "|" + Row(299) + "|" + Cursor(), "bottom|next|4,299");
    EXPECT_EQ(AttrAt(3, 299) * 0x100 + AttrAt(4, 299), 0x1E07); // the new row in the default
}

TEST_F(ScreenOps, ModelRefusesOrClipsWhatLiesOutsideTheBuffer) {
    EXPECT_FALSE(Place(80, 0) || Place(0, 300) || Place(-1, 0));
    EXPECT_TRUE(Place(5, 100));
    EXPECT_EQ(Info().srWindow.Top, 76);
    uint32_t n = 0;
    EXPECT_TRUE(con::FillOutputCharacter(h, '#', 1000, {70, 298}, &n));
    EXPECT_EQ(n, 90u);
    EXPECT_EQ(Row(298), std::string(70, ' ') + std::string(10, '#'));
    EXPECT_FALSE(con::FillOutputCharacter(h, '#', 5, {80, 0}, &n));
    // A rectangle move fills what it leaves; a clip keeps everything outside it.
    Number(6);
    const con::Rect clip{0, 0, 79, 3};
    EXPECT_TRUE(con::ScrollScreenBuffer(h, {2, 1, 9, 4}, &clip, {1, 0}, {'-', 0x1F}));
    EXPECT_EQ(Row(0).substr(0, 11), "r..........");
    EXPECT_EQ(Row(3).substr(0, 11) + Row(4).substr(0, 3), "r........-.r4.");
    EXPECT_EQ(AttrAt(9, 3), 0x1F); // the filled cell, inside the clip
    EXPECT_FALSE(con::ScrollScreenBuffer(h, {0, 300, 79, 310}, nullptr, {0, 0}, {' ', 7}));
    EXPECT_FALSE(con::ScrollScreenBuffer(h, {5, 0, 4, 0}, nullptr, {0, 0}, {' ', 7}));
    // Sizes: never smaller than the window, never a window beyond the largest.
    EXPECT_FALSE(con::SetScreenBufferSize(h, {79, 300}) || con::SetScreenBufferSize(h, {80, 24}));
    EXPECT_TRUE(con::SetScreenBufferSize(h, {132, 50}));
    EXPECT_EQ(AttrAt(100, 0), 0x07);
    EXPECT_FALSE(con::SetWindowInfo(h, true, {0, 0, 131, 24}));
    EXPECT_FALSE(con::SetWindowInfo(h, false, {53, 0, 53, 0}));
    EXPECT_TRUE(con::SetWindowInfo(h, true, {52, 25, 131, 49}));
    EXPECT_TRUE(con::SetScreenBufferSize(h, {80, 30}));
    EXPECT_EQ(Info().srWindow.Left * 100 + Info().srWindow.Bottom, 29);
}

// Only what changed reaches the terminal: rows that scrolled are scrolled
// there too, and only the rows that came in are drawn.
TEST_F(ScreenOps, ModelDrawsOnlyWhatChanged) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    con::SetRenderTarget(fds[1]);
    auto drawn = [&](const std::string &bytes) {
        Feed(bytes);
        std::string out(65536, '\0');
        const ssize_t n = read(fds[0], out.data(), out.size());
        return out.substr(0, size_t(n > 0 ? n : 0));
    };
    std::string out = drawn("\x1b[1;31;44mred\x1b[m");
    EXPECT_NE(out.find("\x1b[1;1H\x1b[0;91;44mred\x1b[0m\x1b[K"), std::string::npos) << out;
    EXPECT_NE(out.find("\x1b[25;1H"), std::string::npos); // the whole window at first
    out = drawn("\x1b[10;1Hx");
    EXPECT_NE(out.find("\x1b[10;1Hx"), std::string::npos) << out;
    EXPECT_EQ(out.find("\x1b[1;1H"), std::string::npos) << "unchanged rows are not drawn";
    EXPECT_NE(out.find("\x1b[10;2H\x1b[?25h"), std::string::npos); // cursor placed
    out = drawn("\x1b[25;1Hone\r\ntwo\r\nthree\x1b[5;20r\x1b[20;1H\n");
    EXPECT_NE(out.find("\x1b[1;25r\x1b[25;1H\x1b"
                       "D\x1b"
                       "D"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("\x1b[5;20r\x1b[20;1H\x1b"
                       "D\x1b[r"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("\x1b[23;1Hone"), std::string::npos);
    EXPECT_EQ(out.find("\x1b[10;1H"), std::string::npos) << "rows that scrolled are not drawn";
    EXPECT_EQ(drawn(""), "");
    con::SetRenderTarget(-1);
    close(fds[0]);
    close(fds[1]);
}

} // namespace
