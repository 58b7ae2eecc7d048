// The emulator's screen operations on the screen model: cursor rules and
// sentinels, erasing, deleting, inserting, margins, tab stops and modes.
#include "CONSOLEState.h"
#include "ScreenFixture.h"

namespace {

using ScreenOps = Screen;

TEST_F(ScreenOps, AbsoluteCursorSentinels) {
    Place(30, 10);
    beAbsoluteCursor(kCursorPos, 0);
    EXPECT_EQ(Cursor(), "0,10");
    beAbsoluteCursor(kLastPos, kLastPos);
    EXPECT_EQ(Cursor(), "79,24");
    beAbsoluteCursor(0, 0);
    EXPECT_EQ(Cursor(), "0,0");
    beAbsoluteCursor(5, kCursorPos);
    EXPECT_EQ(Cursor(), "0,4");
    // Outside the buffer: refused, the cursor stays.
    beAbsoluteCursor(301, 1);
    EXPECT_EQ(Cursor(), "0,4");
    beAbsoluteCursor(3, 81);
    EXPECT_EQ(Cursor(), "0,4");
    Feed("\x1b[" + std::string(30, '9') + ";1H");
    EXPECT_EQ(Cursor(), "0,4");
    // Inside the buffer but below the window: the window follows; rows are
    // then counted from the window's new top.
    beAbsoluteCursor(40, 1);
    EXPECT_EQ(Cursor(), "0,39");
    EXPECT_EQ(Info().srWindow.Top, 15);
    Feed("\x1b[H");
    EXPECT_EQ(Cursor(), "0,15");
    Feed("\x1b[2;3H");
    EXPECT_EQ(Cursor(), "2,16");
}

TEST_F(ScreenOps, RelativeMoves) {
    Feed("\x08");
    EXPECT_EQ(Cursor(), "0,0"); // BS at column 1 stays
    Place(77, 3);
    Feed("\x1b[5C");
    EXPECT_EQ(Cursor(), "2,4"); // continues on the next row
    Feed("\x1b[99A");
    EXPECT_EQ(Cursor(), "2,0"); // stops at the buffer's first row
    Place(5, 299);
    Feed("\x1b[B\x0b");
    EXPECT_EQ(Cursor(), "5,299"); // moving down never scrolls
    Feed("\x1b[0A\x1b[0D");
    EXPECT_EQ(Cursor(), "5,299");
    Feed("\x1b[" + std::string(30, '7') + "C"); // saturated, then refused
    EXPECT_EQ(Cursor(), "5,299");
}

TEST_F(ScreenOps, SaveAndRestoreAreRelativeToTheWindow) {
    Feed("\x1b"
         "8");
    EXPECT_EQ(Cursor(), "1,1"); // without a save: column 2, row 2
    Place(10, 5);
    Feed("\x1b"
         "7");
    Place(0, 60); // the window moves down to row 36
    Feed("\x1b"
         "8");
    EXPECT_EQ(Cursor(), "10,41");
}

TEST_F(ScreenOps, EraseSpans) {
    Number();
    Place(10, 3);
    Feed("\x1b[K");
    EXPECT_EQ(Row(3), "r3........"); // cursor cell included
    Place(10, 4);
    Feed("\x1b[1K");
    EXPECT_EQ(Row(4), std::string(10, ' ') + "." + std::string(68, '.')); // cursor cell kept
    Place(10, 5);
    Feed("\x1b[2K");
    EXPECT_EQ(Row(5), "");
    EXPECT_EQ(Cursor(), "10,5");
    Place(10, 20);
    Feed("\x1b[J");
    EXPECT_EQ(Row(20), "r20.......");
    EXPECT_EQ(Row(21), "");
    EXPECT_EQ(Row(24), "");
    Place(3, 2);
    Feed("\x1b[1J");
    EXPECT_EQ(Row(0), "");
    EXPECT_EQ(Row(1), "");
    EXPECT_EQ(Row(2), "   " + std::string(76, '.'));
    // The whole window, in the current attribute; the cursor stays.
    Feed("\x1b[44m\x1b[2J");
    EXPECT_EQ(Row(6), "");
    EXPECT_EQ(AttrAt(0, 0), 0x17);
    EXPECT_EQ(AttrAt(79, 24), 0x17);
    EXPECT_EQ(AttrAt(0, 25), 0x07);
    EXPECT_EQ(Cursor(), "3,2");
}

// Positions given as numbers are 1-based window rows and columns and name the
// same cells as the sentinels; the end column is not erased.
TEST_F(ScreenOps, ErasePositionsCountFromTheWindowsTopLeft) {
    Number();
    Place(10, 4);
    beEraseText(5, 1, 5, 11); // as ESC [ 1 K with the cursor in column 11
    EXPECT_EQ(Row(4), std::string(10, ' ') + std::string(69, '.'));
    EXPECT_EQ(Row(3), "r3" + std::string(77, '.'));
    beEraseText(7, 3, 8, 5);
    EXPECT_EQ(Row(6), "r6");
    EXPECT_EQ(Row(7), "    " + std::string(75, '.'));
    EXPECT_EQ(Cursor(), "10,4");

    Place(0, 60); // the window moves down: its first row is buffer row 36
    ASSERT_EQ(Info().srWindow.Top, 36);
    plat::con::Write(plat::con::GetStdOutput(), "0123456789", 10, nullptr);
    beEraseText(25, 4, 25, kLastPos);
    EXPECT_EQ(Row(60), "012");
}

// Output that is no console (on Windows, a redirected standard output): every
// operation gives up without touching anything, and the interpreter with it.
TEST_F(ScreenOps, WithoutAConsoleNothingChanges) {
    Number();
    Place(10, 4);
    const std::string row4 = Row(4), row5 = Row(5);
    hConOut = nullptr;
    beAbsoluteCursor(1, 1);
    beOffsetCursor(2, 2);
    beSaveCursor();
    beRestoreCursor();
    beEraseText(0, 0, kLastPos, kLastPos);
    beDeleteText(5, 0, 5, kLastPos);
    beInsertRow(5);
    Scroll(kLastPos);
    beAdvanceToTab();
    beClearTab(kCursorPos);
    beSetTermMode(beGetTermMode() ^ (kModeColumns132 | kModeAutoWrap));
    beRawTextOut("text\tmore\r\n", 11);
    Feed("\x1b[2J\x1b[H\x1b[Lline\r\n\t");
    hConOut = plat::con::GetStdOutput();
    EXPECT_EQ(Cursor(), "10,4");
    EXPECT_EQ(Row(4), row4);
    EXPECT_EQ(Row(5), row5);
    EXPECT_EQ(Row(0), "r0" + std::string(77, '.'));
    EXPECT_EQ(Info().dwSize.X, kWidth);
    // The stop at column 8 survived the refused clear.
    Feed("\r\t");
    EXPECT_EQ(Cursor(), "7,4");
}

TEST_F(ScreenOps, DeleteCharactersShiftTheLineLeft) {
    Feed("abcdefgh\x1b[1;3H\x1b[41m\x1b[P");
    EXPECT_EQ(Row(0), "abdefgh");
    EXPECT_EQ(plat::con::model::At(79, 0).Char, ' ');
    EXPECT_EQ(AttrAt(79, 0), 0x47); // a blank in the current attribute enters
    Feed("\x1b[3P");
    EXPECT_EQ(Row(0), "abgh");
    EXPECT_EQ(Cursor(), "2,0");
    Feed("\x1b[99P");
    EXPECT_EQ(Row(0), "ab");
    Place(79, 1);
    Feed("z");
    Place(79, 1);
    Feed("\x1b[P");
    EXPECT_EQ(Row(1), ""); // deleting the last column blanks it
}

TEST_F(ScreenOps, DeleteRowsMoveTheRowsBelowUp) {
    Number();
    Place(4, 10);
    Feed("\x1b[M");
    EXPECT_EQ(Row(9).substr(0, 3), "r9.");
    EXPECT_EQ(Row(10).substr(0, 4), "r11.");
    EXPECT_EQ(Row(23).substr(0, 4), "r24.");
    EXPECT_EQ(Row(24), ""); // blank row enters at the window's bottom
    EXPECT_EQ(Cursor(), "4,10");
    Feed("\x1b[2M");
    EXPECT_EQ(Row(10).substr(0, 4), "r13.");
    // Inside margins only the rows down to the bottom margin move.
    SetUp();
    Number();
    Feed("\x1b[5;15r\x1b[10;1H\x1b[M");
    EXPECT_EQ(Row(9).substr(0, 4), "r10.");
    EXPECT_EQ(Row(13).substr(0, 4), "r14.");
    EXPECT_EQ(Row(14), "");
    EXPECT_EQ(Row(15).substr(0, 4), "r15.");
}

TEST_F(ScreenOps, InsertRowPushesRowsDown) {
    Number();
    Place(7, 5);
    Feed("\x1b[L");
    EXPECT_EQ(Row(5), "");
    EXPECT_EQ(Row(6).substr(0, 3), "r5.");
    EXPECT_EQ(Row(24).substr(0, 4), "r23.");
    EXPECT_EQ(Row(25).substr(0, 4), "r24."); // into the buffer below the window
    EXPECT_EQ(Cursor(), "7,5");
}

TEST_F(ScreenOps, ScrollingInsideMarginsMovesExactlyTheRegion) {
    Number();
    Feed("\x1b[1;20r\x1b[20;1H\n");
    // Window rows 3..20 (1-based) moved up one, row 20 blank, rows 1, 2 and
    // 21 on untouched; the cursor goes on to row 21.
    EXPECT_EQ(Row(0).substr(0, 3), "r0.");
    EXPECT_EQ(Row(1).substr(0, 3), "r2.");
    EXPECT_EQ(Row(17).substr(0, 4), "r18.");
    EXPECT_EQ(Row(18).substr(0, 4), "r19.");
    EXPECT_EQ(Row(19), "");
    EXPECT_EQ(Row(20).substr(0, 4), "r20.");
    EXPECT_EQ(Cursor(), "0,20");
    // Above the bottom margin a new line only moves down.
    Feed("\x1b[5;1H\n");
    EXPECT_EQ(Row(2).substr(0, 3), "r3.");
    EXPECT_EQ(Cursor(), "0,5");
    // Without margins a new line on the buffer's last row scrolls the buffer.
    Feed("\x1b[r");
    Place(0, 299);
    Feed("last\n");
    EXPECT_EQ(Row(298), "last");
    EXPECT_EQ(Row(299), "");
    EXPECT_EQ(Cursor(), "0,299");
    EXPECT_EQ(beSetScrollingRows(9, 3), -1);
}

TEST_F(ScreenOps, TabStops) {
    Feed("\t");
    EXPECT_EQ(Cursor(), "7,0");
    Feed("\t");
    EXPECT_EQ(Cursor(), "15,0");
    Feed("\x1b[2g\x1b[0g"); // change nothing
    Feed("\r\t\t");
    EXPECT_EQ(Cursor(), "15,0");
    Feed("\r\t\x1b[g\r\t"); // the stop at the cursor (column 8) goes
    EXPECT_EQ(Cursor(), "15,0");
    Place(79, 2);
    Feed("\t");
    EXPECT_EQ(Cursor(), "7,3"); // stop 88 continues on the next row
    Feed("\x1b[3g\r\t");
    EXPECT_EQ(Cursor(), "79,3"); // no stops: to the last column
    // The tab writes spaces over what it passes.
    SetUp();
    Feed("abcdefghij\r\t");
    EXPECT_EQ(Row(0), "       hij");
}

TEST_F(ScreenOps, WideModeWidensTheBufferNotTheWindow) {
    Feed("\x1b[?3h");
    auto info = Info();
    EXPECT_EQ(info.dwSize.X, 132);
    EXPECT_EQ(info.srWindow.Left, 0);
    EXPECT_EQ(info.srWindow.Right, 79);
    EXPECT_EQ(beGetTermMode(), 0xC60);
    Feed("\x1b[1;120Hx");
    EXPECT_EQ(plat::con::model::At(119, 0).Char, 'x');
    Feed("\x1b[?3l");
    info = Info();
    EXPECT_EQ(info.dwSize.X, 80);
    EXPECT_EQ(info.srWindow.Right, 79);
    EXPECT_EQ(info.dwSize.Y, 300);
}

TEST_F(ScreenOps, BellRingsOncePerByte) {
    int before = plat::con::model::BeepCount();
    Feed("\x07\x07x\x07");
    EXPECT_EQ(plat::con::model::BeepCount() - before, 3);
    // ENQ and ESC Z answer nothing on the screen.
    Feed("\x05\x1bZ");
    EXPECT_EQ(Row(0), "x");
    EXPECT_EQ(Cursor(), "1,0");
}

} // namespace
