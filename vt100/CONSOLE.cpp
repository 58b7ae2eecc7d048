// The screen backend of the VT100 emulator (module CONSOLE): cursor moves,
// erasing, inserting and deleting, scrolling inside the margins, tab stops and
// terminal modes. The screen is the console's window; every operation asks the
// console for its state first and keeps the cursor on the window.
#include "CONSOLE.h"
#include "CONSOLEState.h"

#include <algorithm>
#include <bitset>
#include <climits>
#include <cstdint>

namespace con = plat::con;

const int termAttrMode[9] = {0, 0x10, 0x20, 0x40, 0x80, 0x100, 0x200, 0x400, 0x800};

con::Handle hConOut = nullptr;
int conTermMode = 0xC20;
bool bWrapPending = false;

namespace {

constexpr int kNoMargin = 0;
constexpr int kTabEvery = 8;
constexpr int kMaxColumns = 1024;

struct SavedCursor {
    int column, row; // row counted from the window's top
    int fore, back;
};
SavedCursor cursorPosSave{0, 0, kCharSetAscii, 0};
int topScrollRow = kNoMargin;      // 1-based, kNoMargin for none
int bottomScrollRow = kLastPos;    // 1-based, kLastPos for none
std::bitset<kMaxColumns> tabStops; // 0-based columns

// Sums are done wide and handed to the console saturated.
int16_t Coord16(long long v) {
    return static_cast<int16_t>(std::clamp<long long>(v, INT16_MIN, INT16_MAX));
}

long long Clamp(long long v, long long low, long long high) {
    return std::max(low, std::min(v, high));
}

// A 1-based screen row or a sentinel, as a 0-based row on the screen.
long long ScreenRow(int row, const ConState &s) {
    if (row == kCursorPos)
        return s.Row();
    if (row == kLastPos)
        return s.Rows() - 1;
    return Clamp(static_cast<long long>(row) - 1, 0, s.Rows() - 1);
}

long long ScreenColumn(int column, const ConState &s) {
    if (column == kCursorPos)
        return s.cx;
    if (column == kLastPos)
        return s.W - 1;
    return Clamp(static_cast<long long>(column) - 1, 0, s.W - 1);
}

void FillBlank(long long column, long long row, long long count, const ConState &s) {
    if (count <= 0)
        return;
    con::FillOutput(hConOut, con::Cell{' ', s.A},
                    static_cast<uint32_t>(std::min<long long>(count, UINT32_MAX)),
                    con::Coord{Coord16(column), Coord16(row)});
}

} // namespace

bool ReadConsoleState(ConState &s) {
    con::ScreenBufferInfo info;
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

void SetCursor(const ConState &s, long long column, long long row) {
    if (column == s.cx && row == s.cy)
        return;
    con::SetCursorPosition(hConOut, con::Coord{Coord16(column), Coord16(row)});
    bWrapPending = false;
}

void ScrollMargins(const ConState &s, int *top, int *bottom) {
    *top = 0;
    *bottom = s.Rows() - 1;
    if (topScrollRow == kNoMargin && bottomScrollRow == kLastPos)
        return;
    const int t = std::max(topScrollRow, 1) - 1;
    const int b = std::min(bottomScrollRow, s.Rows()) - 1;
    if (t <= b) {
        *top = t;
        *bottom = b;
    }
}

void ScrollRows(const ConState &s, int top, int bottom, int dy) {
    const long long first = static_cast<long long>(s.T) + top;
    const long long last = static_cast<long long>(s.T) + bottom;
    const long long n = std::abs(static_cast<long long>(dy)), height = last - first + 1;
    if (dy == 0 || height <= 0)
        return;
    if (n >= height) {
        FillBlank(0, first, height * s.W, s);
        return;
    }
    const con::Rect region{0, Coord16(first), Coord16(s.W - 1), Coord16(last)};
    const con::Rect source{0, Coord16(dy > 0 ? first : first + n), Coord16(s.W - 1),
                           Coord16(dy > 0 ? last - n : last)};
    const con::Coord dest{0, Coord16(dy > 0 ? first + n : first)};
    con::ScrollScreenBuffer(hConOut, source, &region, dest, con::Cell{' ', s.A});
    // The console blanks what the moved rows left, not the rows between them
    // and where they land.
    if (2 * n > height)
        FillBlank(0, dy > 0 ? first : last - n + 1, n * s.W, s);
}

int beInitVT100Terminal() {
    tabStops.reset();
    for (int column = kTabEvery; column < kMaxColumns; column += kTabEvery)
        tabStops.set(size_t(column));
    topScrollRow = kNoMargin;
    bottomScrollRow = kLastPos;
    conTermMode = 0xC20;
    bWrapPending = false;
    hConOut = con::GetStdOutput();
    InitTextAttributes();
    cursorPosSave = SavedCursor{0, 0, scForeFlags, scBackFlags};
    return 0;
}

// A cursor movement ends a pending wrap even where it stays on its cell.
int beAbsoluteCursor(int row, int column) {
    ConState s;
    if (ReadConsoleState(s))
        SetCursor(s, ScreenColumn(column, s), s.T + ScreenRow(row, s));
    bWrapPending = false;
    return 0;
}

int beOffsetCursor(int rows, int columns) {
    ConState s;
    if (!ReadConsoleState(s))
        return 0;
    int top = 0, bottom = 0;
    ScrollMargins(s, &top, &bottom);
    const long long r = s.Row();
    long long row = r + rows;
    if (rows < 0)
        row = std::max<long long>(row, r >= top ? top : 0);
    else
        row = std::min<long long>(row, r <= bottom ? bottom : s.Rows() - 1);
    SetCursor(s, Clamp(static_cast<long long>(s.cx) + columns, 0, s.W - 1), s.T + row);
    bWrapPending = false;
    return 0;
}

int beSaveCursor() {
    ConState s;
    if (!ReadConsoleState(s))
        return 0;
    cursorPosSave.column = s.cx;
    cursorPosSave.row = s.Row();
    beGetTextAttributes(&cursorPosSave.fore, &cursorPosSave.back);
    return 0;
}

int beRestoreCursor() {
    ConState s;
    if (!ReadConsoleState(s))
        return 0;
    beSetTextAttributes(cursorPosSave.fore, cursorPosSave.back);
    SetCursor(s, Clamp(cursorPosSave.column, 0, s.W - 1),
              s.T + Clamp(cursorPosSave.row, 0, s.Rows() - 1));
    return 0;
}

int beEraseText(int fromRow, int fromColumn, int toRow, int toColumn) {
    ConState s;
    if (!ReadConsoleState(s))
        return 0;
    const long long r1 = ScreenRow(fromRow, s), c1 = ScreenColumn(fromColumn, s);
    const long long r2 = ScreenRow(toRow, s), c2 = ScreenColumn(toColumn, s);
    FillBlank(c1, s.T + r1, (r2 - r1) * s.W + (c2 - c1) + 1, s);
    return 0;
}

namespace {

// Rows from the cursor's down to the bottom margin move by dy; nothing when
// the cursor is outside the margins.
void ShiftFromCursor(int count, int direction) {
    ConState s;
    if (!ReadConsoleState(s))
        return;
    int top = 0, bottom = 0;
    ScrollMargins(s, &top, &bottom);
    const int r = s.Row();
    if (r < top || r > bottom)
        return;
    const int n = std::clamp(count, 1, bottom - r + 1);
    ScrollRows(s, r, bottom, direction * n);
}

} // namespace

int beInsertRows(int count) {
    ShiftFromCursor(count, 1);
    return 0;
}

int beDeleteRows(int count) {
    ShiftFromCursor(count, -1);
    return 0;
}

// Like the rows, only inside the margins.
int beDeleteChars(int count) {
    ConState s;
    if (!ReadConsoleState(s))
        return 0;
    int top = 0, bottom = 0;
    ScrollMargins(s, &top, &bottom);
    if (s.Row() < top || s.Row() > bottom)
        return 0;
    const int n = std::clamp(count, 1, s.W - s.cx);
    if (s.cx + n < s.W)
        con::ScrollScreenBuffer(
            hConOut, con::Rect{Coord16(s.cx + n), Coord16(s.cy), Coord16(s.W - 1), Coord16(s.cy)},
            nullptr, con::Coord{Coord16(s.cx), Coord16(s.cy)}, con::Cell{' ', s.A});
    FillBlank(s.W - n, s.cy, n, s);
    return 0;
}

int beReverseIndex() {
    ConState s;
    if (!ReadConsoleState(s))
        return 0;
    int top = 0, bottom = 0;
    ScrollMargins(s, &top, &bottom);
    if (s.Row() == top)
        ScrollRows(s, top, bottom, 1);
    else if (s.Row() > 0)
        SetCursor(s, s.cx, s.cy - 1);
    return 0;
}

int beTransmitText(const char *, int) {
    return 0;
}

int beAdvanceToTab() {
    ConState s;
    if (!ReadConsoleState(s))
        return 0;
    int column = s.cx + 1;
    while (column < s.W - 1 && !(column < kMaxColumns && tabStops.test(size_t(column))))
        ++column;
    SetCursor(s, std::min(column, s.W - 1), s.cy);
    return 0;
}

int beClearTab(int column) {
    if (column == kAllTabs) {
        tabStops.reset();
        return 0;
    }
    if (column == kCursorPos) {
        ConState s;
        if (!ReadConsoleState(s))
            return 0;
        column = s.cx + 1;
    }
    if (column >= 1 && column <= kMaxColumns)
        tabStops.reset(size_t(column - 1));
    return 0;
}

int beSetScrollingRows(int top, int bottom) {
    ConState s;
    if (!ReadConsoleState(s))
        return 0;
    topScrollRow = std::max(top, 1);
    bottomScrollRow = std::min(bottom, s.Rows());
    if (bottomScrollRow < topScrollRow || (topScrollRow == 1 && bottomScrollRow == s.Rows())) {
        topScrollRow = kNoMargin;
        bottomScrollRow = kLastPos;
    }
    SetCursor(s, 0, s.T);
    return 0;
}

int beRingBell() {
    con::MessageBeep(0xFFFFFFFF);
    return 0;
}

int beGetTermMode() {
    return conTermMode;
}

int beSetTermMode(int mode) {
    const int changed = mode ^ conTermMode;
    for (int bit : termAttrMode) {
        if (!(bit & changed))
            continue;
        if (bit == kModeColumns132) {
            ConState s;
            if (!ReadConsoleState(s))
                continue;
            const int width = (mode & kModeColumns132) ? 132 : 80;
            if (width == s.W)
                continue;
            // The buffer is never narrower than the window: narrowing shrinks
            // the window first, widening grows the buffer first
            // (https://learn.microsoft.com/en-us/windows/console/setconsolescreenbuffersize).
            const con::Coord buffer{Coord16(width), Coord16(s.H)};
            const con::Rect window{0, Coord16(s.T), Coord16(std::min(s.W, width) - 1),
                                   Coord16(s.B)};
            if (width < s.W) {
                con::SetWindowInfo(hConOut, true, window);
                con::SetScreenBufferSize(hConOut, buffer);
            } else {
                con::SetScreenBufferSize(hConOut, buffer);
                con::SetWindowInfo(hConOut, true, window);
            }
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
    return 0;
}

int beFlushScreen() {
    con::Flush(hConOut);
    return 0;
}

int beRefreshScreen() {
    con::Refresh(hConOut);
    return 0;
}
