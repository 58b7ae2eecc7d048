// The screen backend of the VT100 emulator (module CONSOLE): the operations
// the interpreter calls, carried out on the console through platform/Console.h
// with a VT100's rules: the screen is the console's window, the cursor stays
// on it, text written in the last column waits there for the next character
// before wrapping, and scrolling keeps inside the margins.
//
// Rows and columns are 1-based window positions. Sentinels: -999 is the
// cursor's row or column; 0 is the window's first row or column 1; 12000 is
// the window's last row, or the last column. beClearTab also takes -1999,
// every stop.
#pragma once

// Attribute word bits (foreground word; the background word uses the colour
// bits and 0x10 for intensity).
constexpr int kAttrRed = 0x01;
constexpr int kAttrGreen = 0x02;
constexpr int kAttrBlue = 0x04;
constexpr int kAttrColours = 0x07;
constexpr int kAttrBold = 0x10;
constexpr int kAttrUnderline = 0x20;
constexpr int kAttrBlink = 0x40;
constexpr int kAttrReverse = 0x80;
constexpr int kCharSetAscii = 0x100;
constexpr int kCharSetAlt = 0x200;
constexpr int kCharSetGraphics = 0x400;
constexpr int kCharSetF = 0x800;
constexpr int kCharSetMask = 0xF00;

// Coordinate sentinels.
constexpr int kCursorPos = -999;
constexpr int kLastPos = 12000;
constexpr int kAllTabs = -1999;

// Terminal-mode bits of DEC private modes 0 to 8.
extern const int termAttrMode[9];
constexpr int kModeAnsi = 0x20;       // mode 2: off means VT52 escapes
constexpr int kModeColumns132 = 0x40; // mode 3
constexpr int kModeAutoWrap = 0x400;  // mode 7

int beInitVT100Terminal();
// Printable bytes, CR (column 1) and LF (next row, scrolling at the bottom
// margin, then column 1); an HT goes to the next tab stop.
int beRawTextOut(const char *text, int length);
// Relative move, stopping at the screen's edges; up and down stop at the
// margins when the cursor starts inside them.
int beOffsetCursor(int rows, int columns);
// Absolute move; positions past the screen stop at its edges.
int beAbsoluteCursor(int row, int column);
// The position and the attribute words.
int beSaveCursor();
int beRestoreCursor();
int beGetTextAttributes(int *fore, int *back);
int beSetTextAttributes(int fore, int back);
// Blanks from the first position through the second, both included.
int beEraseText(int fromRow, int fromColumn, int toRow, int toColumn);
// At the cursor: rows between it and the bottom margin move, rows pushed past
// the margin are lost, blank rows or cells enter. Nothing outside the margins.
int beInsertRows(int count);
int beDeleteRows(int count);
int beDeleteChars(int count);
// Down one row, scrolling the margins up at the bottom one; the column stays.
int beIndex();
// Up one row, scrolling the margins down at the top one; the column stays.
int beReverseIndex();
int beTransmitText(const char *text, int length);
int beAdvanceToTab();
int beClearTab(int column);
// 1-based margins; 0 or less for the top is row 1, kLastPos for the bottom is
// the last row. Margins that hold no row mean none. The cursor goes home.
int beSetScrollingRows(int top, int bottom);
int beRingBell();
int beGetTermMode();
int beSetTermMode(int mode);
// Shows the changes on the screen; the interpreter calls it after each chunk.
int beFlushScreen();
// Draws the whole screen again (after the terminal was resized or given back).
int beRefreshScreen();
