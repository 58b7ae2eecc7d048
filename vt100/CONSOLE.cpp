// The screen backend of the VT100 emulator (module CONSOLE): cursor moves,
// erasing, deleting and inserting, scrolling inside the margins, tab stops,
// terminal modes and text output with its new-line and right-margin rules.
// It keeps no copy of the screen: every operation asks the console first.
#include "CONSOLE.h"
#include "CONSOLEState.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace con = plat::con;

const int termAttrMode[9] = {0, 0x10, 0x20, 0x40, 0x80, 0x100, 0x200, 0x400, 0x800};

con::Handle hConOut = nullptr;
con::Coord cursorPosSave{1, 1}; // column absolute, row from the window's top
int topScrollRow = 0;
int bottomScrollRow = kLastPos;
int conTermMode = 0xC20;
int tabSet[132];
int numTabs = 0;
unsigned char G1Chars[256];
// With automatic wrap off, text that reached the right edge ends the line:
// what follows is dropped until a CR or until the cursor is moved.
bool bLineFull = false;

namespace {

constexpr int kStartTabs = 16;
constexpr int kNoMargin = 0;

// DEC special graphics letters and their code page 437 drawing characters.
const unsigned char kGraphics[][2] = {
    {'a', 0xB1}, {'f', 0xF8}, {'g', 0xF1}, {'j', 0xD9}, {'k', 0xBF}, {'l', 0xDA}, {'m', 0xC0},
    {'n', 0xC5}, {'o', 0xC4}, {'p', 0xC4}, {'q', 0xC4}, {'r', 0xC4}, {'s', 0xC4}, {'t', 0xC3},
    {'u', 0xB4}, {'v', 0xC1}, {'w', 0xC2}, {'x', 0xB3}, {'y', 0xF3}, {'z', 0xF2}};

struct State {
    int W, H;   // buffer size
    int T, B;   // window's first and last rows
    int cx, cy; // cursor
    uint16_t A; // current console attribute
};

bool Read(State &s) {
    con::ScreenBufferInfo info{};
    if (!con::GetScreenBufferInfo(hConOut, &info))
        return false;
    s.W = info.dwSize.X;
    s.H = info.dwSize.Y;
    s.T = info.srWindow.Top;
    s.B = info.srWindow.Bottom;
    s.cx = info.dwCursorPosition.X;
    s.cy = info.dwCursorPosition.Y;
    s.A = info.wAttributes;
    return true;
}

// Sums are done wide and handed to the console saturated, so that a huge
// move is refused like any other position outside the buffer instead of
// wrapping around to a position inside it.
int16_t Coord16(long long v) {
    return static_cast<int16_t>(std::clamp<long long>(v, INT16_MIN, INT16_MAX));
}

void MoveCursor(long long column, long long row) {
    con::SetCursorPosition(hConOut, con::Coord{Coord16(column), Coord16(row)});
    bLineFull = false;
}

long long RowOf(int row, const State &s) {
    if (row == kCursorPos)
        return s.cy;
    if (row == 0)
        return s.T;
    if (row == kLastPos)
        return s.B;
    return static_cast<long long>(s.T) + row - 1;
}

long long ColumnOf(int column, const State &s, int last) {
    if (column == kCursorPos)
        return s.cx;
    if (column == 0)
        return 0;
    if (column == kLastPos)
        return last;
    return static_cast<long long>(column) - 1;
}

con::Cell Blank(const State &s) { return con::Cell{' ', s.A}; }

void FillBlank(long long column, long long row, long long count, const State &s) {
    if (count <= 0)
        return;
    const con::Coord at{Coord16(column), Coord16(row)};
    const uint32_t n = static_cast<uint32_t>(std::min<long long>(count, UINT32_MAX));
    con::FillOutputCharacter(hConOut, ' ', n, at, nullptr);
    con::FillOutputAttribute(hConOut, s.A, n, at, nullptr);
}

// Writes bytes at the cursor, through G1Chars while line graphics are selected.
void WriteText(const char *text, int length) {
    if (!(scForeFlags & kCharSetGraphics)) {
        con::Write(hConOut, text, static_cast<uint32_t>(length), nullptr);
        return;
    }
    char work[256];
    while (length > 0) {
        int n = std::min<int>(length, sizeof work);
        for (int i = 0; i < n; ++i)
            work[i] = static_cast<char>(G1Chars[static_cast<unsigned char>(text[i])]);
        con::Write(hConOut, work, static_cast<uint32_t>(n), nullptr);
        text += n;
        length -= n;
    }
}

// Writes one line segment without its LF. Pieces run up to the right edge,
// an HT or a CR; reaching the edge gives Scroll its chance; with automatic
// wrap on the console has moved to the next row and the rest goes there,
// with it off the rest of the line is dropped. The outcome depends only on
// the bytes, not on where the caller's chunks happened to end.
void PrintPieces(const char *text, int length) {
    int pos = 0;
    while (pos < length) {
        if (text[pos] == '\t') {
            if (!bLineFull)
                beAdvanceToTab();
            ++pos;
            continue;
        }
        if (text[pos] == '\r') {
            con::Write(hConOut, "\r", 1, nullptr);
            bLineFull = false;
            ++pos;
            continue;
        }
        int end = pos;
        while (end < length && text[end] != '\t' && text[end] != '\r')
            ++end;
        if (bLineFull) {
            pos = end;
            continue;
        }
        State s;
        if (!Read(s))
            return;
        const int room = s.W - s.cx;
        if (room <= 0) {
            pos = end;
            continue;
        }
        const int n = std::min(end - pos, room);
        if (n > 0) {
            // A CR right behind a piece that fits travels in the same write.
            const bool withCr = n == end - pos && n < room && end < length && text[end] == '\r';
            WriteText(text + pos, withCr ? n + 1 : n);
            pos += withCr ? n + 1 : n;
            if (withCr)
                continue;
        }
        if (n >= room) {
            Scroll(kCursorPos);
            if (!(conTermMode & kModeAutoWrap))
                bLineFull = true;
        }
    }
}

} // namespace

int beInitVT100Terminal() {
    for (int i = 0; i < 132; ++i)
        tabSet[i] = i < kStartTabs ? 8 * (i + 1) : 0;
    numTabs = kStartTabs;
    cursorPosSave = con::Coord{1, 1};
    topScrollRow = kNoMargin;
    bottomScrollRow = kLastPos;
    conTermMode = 0xC20;
    hConOut = con::GetStdOutput();
    InitTextAttributes();
    for (int i = 0; i < 256; ++i)
        G1Chars[i] = static_cast<unsigned char>(i);
    for (const auto &entry : kGraphics)
        G1Chars[entry[0]] = entry[1];
    bLineFull = false;
    return 0;
}

int beAbsoluteCursor(int row, int column) {
    State s;
    if (!Read(s))
        return 0;
    MoveCursor(ColumnOf(column, s, s.W - 1), RowOf(row, s));
    return 0;
}

int beOffsetCursor(int rows, int columns) {
    State s;
    if (!Read(s))
        return 0;
    long long column = static_cast<long long>(s.cx) + columns;
    long long row = static_cast<long long>(s.cy) + rows;
    if (column < 0)
        column = 0;
    if (column >= s.W) {
        column -= s.W;
        ++row;
    }
    if (row < 0)
        row = 0;
    MoveCursor(column, row);
    return 0;
}

int beSaveCursor() {
    State s;
    if (!Read(s))
        return 0;
    cursorPosSave = con::Coord{Coord16(s.cx), Coord16(s.cy - s.T)};
    return 0;
}

int beRestoreCursor() {
    State s;
    if (!Read(s))
        return 0;
    MoveCursor(cursorPosSave.X, static_cast<long long>(cursorPosSave.Y) + s.T);
    return 0;
}

int beEraseText(int fromRow, int fromColumn, int toRow, int toColumn) {
    State s;
    if (!Read(s))
        return 0;
    const long long r1 = fromRow == kCursorPos ? s.cy
                         : fromRow == 0        ? s.T
                                               : static_cast<long long>(s.T) + fromRow - 1;
    const long long c1 = fromColumn == kCursorPos ? s.cx
                         : fromColumn == 0        ? 0
                                                  : static_cast<long long>(fromColumn) - 1;
    const long long r2 = toRow == kCursorPos ? s.cy
                         : toRow == kLastPos  ? s.B
                                              : static_cast<long long>(s.T) + toRow - 1;
    const long long c2 = toColumn == kCursorPos ? s.cx
                         : toColumn == kLastPos  ? s.W
                                                 : static_cast<long long>(toColumn) - 1;
    // A span that ends before it starts erases nothing.
    FillBlank(c1, r1, (r2 - r1) * s.W + (c2 - c1), s);
    con::SetCursorPosition(hConOut, con::Coord{Coord16(s.cx), Coord16(s.cy)});
    return 0;
}

// Deletes one unit: a whole row when the span covers the line from column 1 to
// its end (the rows below, down to the bottom margin or the window's last row,
// move up and a blank row enters at the bottom), otherwise the character at
// the start (the rest of the line moves left and a blank enters at the edge).
int beDeleteText(int fromRow, int fromColumn, int toRow, int toColumn) {
    (void)toRow;
    State s;
    if (!Read(s))
        return 0;
    const long long row = RowOf(fromRow, s);
    const long long column = ColumnOf(fromColumn, s, s.W - 1);
    const long long end = ColumnOf(toColumn, s, s.W);
    if (row < 0 || row >= s.H || column < 0 || column >= s.W)
        return 0;
    if (column == 0 && end >= s.W) {
        long long bottom = s.B;
        if (bottomScrollRow != kLastPos && s.T + static_cast<long long>(bottomScrollRow) - 1 >= row)
            bottom = s.T + static_cast<long long>(bottomScrollRow) - 1;
        bottom = std::min<long long>(bottom, s.H - 1);
        if (bottom > row)
            con::ScrollScreenBuffer(
                hConOut, con::Rect{0, Coord16(row + 1), Coord16(s.W - 1), Coord16(bottom)},
                nullptr, con::Coord{0, Coord16(row)}, Blank(s));
        else
            FillBlank(0, row, s.W, s);
        return 0;
    }
    if (column < s.W - 1)
        con::ScrollScreenBuffer(
            hConOut, con::Rect{Coord16(column + 1), Coord16(row), Coord16(s.W - 1), Coord16(row)},
            nullptr, con::Coord{Coord16(column), Coord16(row)}, Blank(s));
    else
        FillBlank(column, row, 1, s);
    return 0;
}

int beInsertRow(int row) {
    State s;
    if (!Read(s))
        return 0;
    const long long r = RowOf(row, s);
    con::ScrollScreenBuffer(hConOut,
                            con::Rect{0, Coord16(r), Coord16(s.W), Coord16(s.B)}, nullptr,
                            con::Coord{0, Coord16(r + 1)}, Blank(s));
    return 0;
}

int Scroll(int row) {
    State s;
    if (!Read(s))
        return 0;
    long long r = row == kCursorPos ? s.cy
                  : row == 0        ? s.T
                  : row == kLastPos ? s.B
                                    : static_cast<long long>(s.T) + row;
    if (!(r >= s.H - 1 || r - s.T + 1 >= bottomScrollRow))
        return 0;
    long long top = 1, dest = 0;
    if (topScrollRow != kNoMargin) {
        top = static_cast<long long>(s.T) + topScrollRow + 1;
        dest = static_cast<long long>(s.T) + topScrollRow;
    }
    long long bottom = r;
    if (bottomScrollRow != kLastPos && s.T + static_cast<long long>(bottomScrollRow) < r)
        bottom = s.T + static_cast<long long>(bottomScrollRow);
    con::ScrollScreenBuffer(hConOut,
                            con::Rect{0, Coord16(top), Coord16(s.W), Coord16(bottom)}, nullptr,
                            con::Coord{0, Coord16(dest)}, Blank(s));
    return 0;
}

int beRawTextOut(const char *text, int length) {
    if (!text || length <= 0)
        return 0;
    int start = 0;
    for (int i = 0; i < length; ++i) {
        if (text[i] == '\n') {
            RawPrintLine(text + start, i - start, 1);
            start = i + 1;
        }
    }
    if (start < length)
        RawPrintLine(text + start, length - start, 0);
    return 0;
}

int RawPrintLine(const char *text, int length, int newLine) {
    if (!newLine && (!text || length <= 0))
        return 0;
    if (text && length > 0)
        PrintPieces(text, length);
    if (newLine) {
        Scroll(kCursorPos);
        beAbsoluteCursor(kCursorPos, 1);
        beOffsetCursor(1, 0);
    }
    return 0;
}

int beTransmitText(const char *, int) { return 0; }

int beAdvanceToTab() {
    State s;
    if (!Read(s))
        return 0;
    const int q = s.cx + 1;
    int stop = s.W;
    for (int i = 0; i < numTabs; ++i) {
        if (tabSet[i] > q) {
            stop = tabSet[i];
            break;
        }
    }
    const int n = stop - q;
    if (n > 0)
        con::FillOutputCharacter(hConOut, ' ', static_cast<uint32_t>(n),
                                 con::Coord{Coord16(s.cx), Coord16(s.cy)}, nullptr);
    beOffsetCursor(0, n);
    return 0;
}

int beClearTab(int column) {
    if (column == kAllTabs) {
        numTabs = 0;
        tabSet[0] = 0;
        return 0;
    }
    if (column == kCursorPos) {
        State s;
        if (!Read(s))
            return 0;
        column = s.cx + 1;
    }
    for (int i = 0; i < numTabs; ++i) {
        if (tabSet[i] == column) {
            std::copy(tabSet + i + 1, tabSet + numTabs, tabSet + i);
            --numTabs;
            break;
        }
    }
    return 0;
}

int beSetScrollingRows(int top, int bottom) {
    if (top > bottom)
        return -1;
    topScrollRow = top;
    bottomScrollRow = bottom;
    return 0;
}

int beRingBell() {
    con::MessageBeep(0xFFFFFFFF);
    return 0;
}

int beGetTermMode() { return conTermMode; }

int beSetTermMode(int mode) {
    const int changed = mode ^ conTermMode;
    for (int bit : termAttrMode) {
        if (!(bit & changed))
            continue;
        if (bit == kModeColumns132) {
            State s;
            if (!Read(s))
                continue;
            const int width = (mode & kModeColumns132) ? 132 : 80;
            if (width == s.W)
                continue;
            con::SetScreenBufferSize(hConOut, con::Coord{Coord16(width), Coord16(s.H)});
            con::SetWindowInfo(hConOut, true,
                               con::Rect{0, Coord16(s.T), Coord16(s.W - 1), Coord16(s.B)});
        } else if (bit == kModeAutoWrap) {
            uint32_t consoleMode = 0;
            if (!con::GetMode(hConOut, &consoleMode))
                continue;
            const bool on = consoleMode & con::kWrapAtEolOutput;
            if ((mode & kModeAutoWrap) && !on)
                con::SetMode(hConOut, consoleMode | con::kWrapAtEolOutput);
            else if (!(mode & kModeAutoWrap) && on)
                con::SetMode(hConOut, consoleMode & ~con::kWrapAtEolOutput);
        }
    }
    conTermMode = mode;
    bLineFull = false;
    return 0;
}

int beFlushScreen() {
    con::Flush(hConOut);
    return 0;
}
