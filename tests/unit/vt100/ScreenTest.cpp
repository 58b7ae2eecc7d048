// The emulator's screen on the console: what the comparison with libvterm
// cannot see. The screen is the console's window wherever it stands in the
// buffer, what scrolls off it stays above it, the console's own wrap plays no
// part, and without a console nothing happens.
#include "CONSOLEState.h"
#include "ScreenFixture.h"

namespace {

using ScreenOps = Screen;

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
         "8");
    EXPECT_EQ(Cursor(), "79,36");
    Feed("\x1b[2J");
    EXPECT_EQ(Row(35).substr(0, 4), "r35.");
    EXPECT_EQ(Row(36), "");
    EXPECT_EQ(Row(60), "");
    EXPECT_EQ(Row(61).substr(0, 4), "r61.");
    EXPECT_EQ(Info().srWindow.Top, 36);
}

TEST_F(ScreenOps, WhatScrollsOffTheScreenStaysAboveIt) {
    for (int i = 0; i < 30; ++i)
        Feed("line " + std::to_string(i) + "\r\n");
    EXPECT_EQ(Info().srWindow.Top, 6);
    EXPECT_EQ(Row(0), "line 0");
    EXPECT_EQ(Row(29), "line 29");
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
    EXPECT_EQ(Row(kBufferRows - 25), "C");
    EXPECT_EQ(Row(kBufferRows - 24), "");
}

// The last column is written in place, so the console's own end-of-line wrap
// changes nothing: a full line and CR LF leave no empty row either way.
TEST_F(ScreenOps, TheConsolesOwnWrapPlaysNoPart) {
    for (uint32_t mode :
         {plat::con::kProcessedOutput | plat::con::kWrapAtEolOutput, plat::con::kProcessedOutput}) {
        SetUp();
        plat::con::SetMode(plat::con::GetStdOutput(), mode);
        Feed(std::string(80, 'a') + "\r\nb" + "\x1b[25;1H" + std::string(80, 'c') + "\r\nd");
        EXPECT_EQ(Row(1), "b");
        EXPECT_EQ(Row(24), std::string(80, 'c'));
        EXPECT_EQ(Row(25), "d");
        EXPECT_EQ(Cursor(), "1,25");
    }
}

// Output that is no console (on Windows, a redirected standard output): every
// operation gives up without touching anything, and the interpreter with it.
TEST_F(ScreenOps, WithoutAConsoleNothingChanges) {
    Number();
    Place(10, 4);
    const std::string row4 = Row(4), row5 = Row(5);
    hConOut = nullptr;
    Feed("\x1b[2J\x1b[H\x1b[L\x1b[M\x1b[P\x1b"
         "D\x1bM\x1b"
         "7\x1b"
         "8\x1b[3;4r\x1b[g"
         "line\r\n\t\x1b[?3h\x1b[?7l" +
         std::string(90, 'x'));
    hConOut = plat::con::GetStdOutput();
    EXPECT_EQ(Cursor(), "10,4");
    EXPECT_EQ(Row(4), row4);
    EXPECT_EQ(Row(5), row5);
    EXPECT_EQ(Info().dwSize.X, kWidth);
}

TEST_F(ScreenOps, WideModeWidensTheBufferNotTheWindow) {
    Feed("\x1b[?3h");
    auto info = Info();
    EXPECT_EQ(info.dwSize.X, 132);
    EXPECT_EQ(info.srWindow.Left, 0);
    EXPECT_EQ(info.srWindow.Right, 79);
    Feed("\x1b[1;120Hx");
    EXPECT_EQ(plat::con::model::At(119, 0).Char, 'x');
    Feed("\x1b[?3l");
    info = Info();
    EXPECT_EQ(info.dwSize.X, 80);
    EXPECT_EQ(info.srWindow.Right, 79);
    EXPECT_EQ(info.dwSize.Y, kBufferRows);
    // A console whose window is wider than 80 columns narrows its window
    // before the buffer, which may never be narrower than the window.
    plat::con::model::Reset(100, 25, kBufferRows);
    Feed("\x1b[?3h\x1b[?3l");
    info = Info();
    EXPECT_EQ(info.dwSize.X, 80);
    EXPECT_EQ(info.srWindow.Right, 79);
}

TEST_F(ScreenOps, BellRingsOncePerByte) {
    const int before = plat::con::model::BeepCount();
    Feed("\x07\x07x\x07");
    EXPECT_EQ(plat::con::model::BeepCount() - before, 3);
}

} // namespace
