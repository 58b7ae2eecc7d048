// The console screen: one screen buffer of W x H cells (a byte and a 16-bit
// attribute each), a window onto it, a cursor and the current text attribute.
//
// The operations have the shape and the behaviour of the Win32 console calls
// of the same purpose. On Windows they are those calls. On POSIX they work on
// a screen model with the same behaviour, which Flush draws onto the real
// terminal with ANSI sequences:
//   - Write puts the bytes at the cursor in the current attribute and advances
//     it; with kProcessedOutput CR returns to column 0, LF goes to column 0 of
//     the next row, BS moves left within the row, BEL beeps and HT moves to the
//     next multiple of 8; with kWrapAtEolOutput writing the last column moves
//     the cursor to column 0 of the next row (scrolling the whole buffer up
//     when there is none, a blank row in the console's default attribute
//     entering at the bottom), without it the cursor stays in the last column;
//   - a cursor position outside the buffer is refused; one inside the buffer
//     but outside the window moves the window until the cursor is visible;
//   - fills run in reading order and stop at the end of the buffer;
//   - ScrollScreenBuffer moves a rectangle (clipped to the buffer) so that its
//     top left corner lands on dest, changing only cells inside clip (or the
//     buffer), and fills the cells it left that the moved block does not cover.
#pragma once

#include <cstdint>
#include <string>

namespace plat::con {

using Handle = void *;

struct Coord {
    int16_t X;
    int16_t Y;
};

// Inclusive on all four sides, like SMALL_RECT.
struct Rect {
    int16_t Left;
    int16_t Top;
    int16_t Right;
    int16_t Bottom;
};

struct Cell {
    char Char;
    uint16_t Attributes;
};

struct ScreenBufferInfo {
    Coord dwSize;
    Coord dwCursorPosition;
    uint16_t wAttributes;
    Rect srWindow;
    Coord dwMaximumWindowSize;
};

// Output mode flags.
constexpr uint32_t kProcessedOutput = 1;
constexpr uint32_t kWrapAtEolOutput = 2;

// The standard output console.
Handle GetStdOutput();
bool GetScreenBufferInfo(Handle console, ScreenBufferInfo *info);
bool SetCursorPosition(Handle console, Coord position);
bool Write(Handle console, const char *text, uint32_t length, uint32_t *written);
bool FillOutputCharacter(Handle console, char ch, uint32_t count, Coord at, uint32_t *written);
bool FillOutputAttribute(Handle console, uint16_t attribute, uint32_t count, Coord at,
                         uint32_t *written);
// Both fills at once: count cells from at become the cell given.
bool FillOutput(Handle console, Cell fill, uint32_t count, Coord at);
bool ScrollScreenBuffer(Handle console, const Rect &scroll, const Rect *clip, Coord dest,
                        Cell fill);
bool GetMode(Handle console, uint32_t *mode);
bool SetMode(Handle console, uint32_t mode);
// Refused when smaller than the window. Cells it adds are blanks in the
// console's default attribute (0x07 in the model), not the current one.
bool SetScreenBufferSize(Handle console, Coord size);
// absolute: window is in buffer coordinates; otherwise each edge is a delta.
// Refused when the result leaves the buffer or exceeds the largest window.
bool SetWindowInfo(Handle console, bool absolute, const Rect &window);
bool SetTextAttribute(Handle console, uint16_t attribute);
// 0xFFFFFFFF is the simple beep.
bool MessageBeep(uint32_t type);
// Shows what changed since the last call: the POSIX model scrolls the
// terminal as the window's rows scrolled and repaints the rows that changed;
// on Windows the console is already on screen.
void Flush(Handle console);
// Draws everything again: the POSIX model first fits its window to the
// terminal's size (after a resize, or when the terminal was given back after
// a suspend). No effect on Windows.
void Refresh(Handle console);

// Where the POSIX model draws: a file descriptor (standard output at start),
// or -1 to draw nothing (tests and benchmarks). No effect on Windows. A
// terminal is drawn on in its alternate screen, which is left again at exit,
// on SIGTERM and SIGHUP and while the program is stopped; glyphs follow the
// character set of the locale (LC_ALL, LC_CTYPE, LANG).
void SetRenderTarget(int fd);

// Reaching into the POSIX screen model, for tests.
namespace model {
// Starts afresh: a buffer of width x bufferRows blank cells (attribute 0x07),
// the window at its top showing windowRows rows of the full width (also the
// largest window), cursor at 0,0, output mode 3, nothing counted.
void Reset(int width, int windowRows, int bufferRows);
// The cell at column x, row y of the buffer; a blank for positions outside.
Cell At(int x, int y);
// Row y from column 0, the bytes only, trailing blanks kept.
std::string RowText(int y);
// BEL beeps and MessageBeep calls since the last Reset.
int BeepCount();
} // namespace model

} // namespace plat::con
