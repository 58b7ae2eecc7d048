// The screen backend of the VT100 emulator (module CONSOLE): the operations
// the interpreter calls, carried out on the console through platform/Console.h.
//
// Rows and columns are 1-based window positions. Sentinels: -999 is the
// cursor's row or column; 0 is the window's first row or column 1; 12000 is
// the window's last row, or as an end column the end of the line. beClearTab
// also takes -1999, every stop.
#pragma once

// Attribute word bits (foreground word; the background word uses the colour
// bits and 0x10 for intensity).
constexpr int kAttrRed = 0x01;
constexpr int kAttrGreen = 0x02;
constexpr int kAttrBlue = 0x04;
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
constexpr int kModeColumns132 = 0x40; // mode 3
constexpr int kModeAutoWrap = 0x400;  // mode 7

int beInitVT100Terminal();
int beRawTextOut(const char *text, int length);
int beOffsetCursor(int rows, int columns);
int beAbsoluteCursor(int row, int column);
int beSaveCursor();
int beRestoreCursor();
int beGetTextAttributes(int *fore, int *back);
int beSetTextAttributes(int fore, int back);
int beEraseText(int fromRow, int fromColumn, int toRow, int toColumn);
int beDeleteText(int fromRow, int fromColumn, int toRow, int toColumn);
int beInsertRow(int row);
int beTransmitText(const char *text, int length);
int beAdvanceToTab();
int beClearTab(int column);
int beSetScrollingRows(int top, int bottom);
int beRingBell();
int beGetTermMode();
int beSetTermMode(int mode);
// Shows the changes on the screen; the interpreter calls it after each chunk.
int beFlushScreen();

// Internal to the backend; declared for its tests.
int RawPrintLine(const char *text, int length, int newLine);
int Scroll(int row);
