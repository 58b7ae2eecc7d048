// The console screen on POSIX: a model of the Win32 console's screen buffer,
// window, cursor and attribute, with the same rules for writing, wrapping,
// scrolling, fills and rectangle moves. ConsoleRender.cpp draws it.
#include "ConsoleModel.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <sys/ioctl.h>
#include <unistd.h>

namespace plat::con {
namespace detail {

namespace {

constexpr int kDefaultColumns = 80;
constexpr int kDefaultRows = 25;
constexpr int kBufferRows = 300;
// Larger buffers are refused, as the console refuses what it cannot hold.
constexpr int kMaxColumns = 1000;
constexpr int kMaxCells = 4 * 1024 * 1024;

bool InBuffer(const Screen &s, int x, int y) {
    return x >= 0 && y >= 0 && x < s.width && y < s.height;
}

// More scrolls than this between two draws: the window is repainted whole.
constexpr size_t kMaxShifts = 16;

// Records that window rows top..bottom moved by dy, joining it to the last
// record of the same rows and direction. Rows that come into the range from
// outside it must already be marked.
void AddShift(Screen &s, int top, int bottom, int dy) {
    if (s.allDirty)
        return;
    if (!s.shifts.empty()) {
        Shift &last = s.shifts.back();
        if (last.top == top && last.bottom == bottom && (last.dy < 0) == (dy < 0)) {
            last.dy += dy;
            if (std::abs(last.dy) > bottom - top) {
                s.shifts.pop_back(); // every row of the range is repainted
                s.MarkRows(s.window.Top + top, s.window.Top + bottom);
            }
            return;
        }
    }
    if (s.shifts.size() >= kMaxShifts)
        s.allDirty = true;
    else
        s.shifts.push_back(Shift{top, bottom, dy});
}

// Buffer rows lo..hi moved by dy: what the window sees of it.
void NoteShift(Screen &s, int lo, int hi, int dy) {
    const int wlo = std::max<int>(lo, s.window.Top), whi = std::min<int>(hi, s.window.Bottom);
    if (s.allDirty || wlo > whi)
        return;
    if (std::abs(dy) > whi - wlo) {
        s.MarkRows(wlo, whi);
        return;
    }
    for (int y = wlo; y <= whi; ++y)
        if (y - dy < wlo || y - dy > whi)
            s.dirty[size_t(y)] = 1; // from outside the window, or blank
    AddShift(s, wlo - s.window.Top, whi - s.window.Top, dy);
}

// The window moves as little as it must to show the cursor.
void FollowCursor(Screen &s) {
    Rect &w = s.window;
    int dy = 0, dx = 0;
    if (s.cursor.Y < w.Top)
        dy = s.cursor.Y - w.Top;
    else if (s.cursor.Y > w.Bottom)
        dy = s.cursor.Y - w.Bottom;
    if (s.cursor.X < w.Left)
        dx = s.cursor.X - w.Left;
    else if (s.cursor.X > w.Right)
        dx = s.cursor.X - w.Right;
    if (dx == 0 && dy == 0)
        return;
    w.Top = int16_t(w.Top + dy);
    w.Bottom = int16_t(w.Bottom + dy);
    w.Left = int16_t(w.Left + dx);
    w.Right = int16_t(w.Right + dx);
    // On the terminal the window's rows scroll the other way; the rows that
    // come into view are painted.
    if (dx != 0 || std::abs(dy) >= s.WindowRows()) {
        s.allDirty = true;
        return;
    }
    if (dy > 0)
        s.MarkRows(w.Bottom - dy + 1, w.Bottom);
    else
        s.MarkRows(w.Top, w.Top - dy - 1);
    AddShift(s, 0, s.WindowRows() - 1, -dy);
}

void BlankRow(Screen &s, int y, Cell fill) {
    Cell *row = s.Row(y);
    std::fill(row, row + s.width, fill);
}

// Full-width rows top..bottom move by dy (no further than their own height)
// within rows clipTop..clipBottom, which hold them: storage rows trade places,
// and with them the marks of what is still to be drawn. The rows left behind
// get fill; rows pushed past the clip are lost. Within the rows concerned this
// is a rotation, the rows coming round at the far end being the blank ones.
void ShiftRows(Screen &s, int top, int bottom, int dy, int clipTop, int clipBottom, Cell fill) {
    const int lo = std::max(clipTop, std::min(top, top + dy));
    const int hi = std::min(clipBottom, std::max(bottom, bottom + dy));
    const int n = std::abs(dy);
    const auto rotate = [&](auto &rows) {
        const auto first = rows.begin() + lo, last = rows.begin() + hi + 1;
        if (dy < 0)
            std::rotate(first, first + n, last);
        else
            std::rotate(first, last - n, last);
    };
    rotate(s.rowMap);
    rotate(s.dirty);
    const int blank = dy < 0 ? hi - n + 1 : lo;
    for (int y = blank; y < blank + n; ++y)
        BlankRow(s, y, fill);
    s.MarkRows(blank, blank + n - 1);
    NoteShift(s, lo, hi, dy);
}

// Writing past the last row: every row moves up one, the top row is lost and
// a blank row in the default attribute (not the current one) enters at the
// bottom, as the console does.
void ScrollWholeBuffer(Screen &s) {
    ShiftRows(s, 1, s.height - 1, -1, 0, s.height - 1, Cell{' ', s.defaultAttribute});
}

void NextRow(Screen &s) {
    if (s.cursor.Y + 1 < s.height)
        s.cursor.Y = int16_t(s.cursor.Y + 1);
    else
        ScrollWholeBuffer(s);
}

} // namespace

bool TerminalSize(int *columns, int *rows) {
    struct winsize size {};
    for (int fd : {STDOUT_FILENO, STDIN_FILENO, STDERR_FILENO}) {
        if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0) {
            *columns = std::min<int>(size.ws_col, kMaxColumns);
            *rows = std::min<int>(size.ws_row, kBufferRows);
            return true;
        }
    }
    return false;
}

void FitWindow(Screen &s, int columns, int rows) {
    columns = std::clamp(columns, 1, s.width);
    rows = std::clamp(rows, 1, s.height);
    Rect &w = s.window;
    // The top row stays where it was if it can, and the cursor in view.
    int top = std::clamp<int>(w.Top, 0, s.height - rows);
    top = std::clamp<int>(top, s.cursor.Y - rows + 1, s.cursor.Y);
    int left = std::clamp<int>(w.Left, 0, s.width - columns);
    left = std::clamp<int>(left, s.cursor.X - columns + 1, s.cursor.X);
    w = Rect{int16_t(left), int16_t(top), int16_t(left + columns - 1), int16_t(top + rows - 1)};
    s.maxWindow = Coord{int16_t(columns), int16_t(rows)};
    s.allDirty = true;
}

void Build(Screen &s, int width, int windowRows, int bufferRows) {
    s.width = width;
    s.height = bufferRows;
    s.cells.assign(size_t(width) * size_t(bufferRows), Cell{' ', 0x07});
    s.rowMap.resize(size_t(bufferRows));
    for (int y = 0; y < bufferRows; ++y)
        s.rowMap[size_t(y)] = y;
    s.window = Rect{0, 0, int16_t(width - 1), int16_t(windowRows - 1)};
    s.maxWindow = Coord{int16_t(width), int16_t(windowRows)};
    s.cursor = Coord{0, 0};
    s.attribute = 0x07;
    s.defaultAttribute = 0x07;
    s.mode = kProcessedOutput | kWrapAtEolOutput;
    s.dirty.assign(size_t(bufferRows), 0);
    s.shifts.clear();
    s.allDirty = true;
    s.pendingBeeps = 0;
    s.beepCount = 0;
}

Screen *gScreen = nullptr;

Screen &TheScreen() {
    static Screen screen = [] {
        Screen s;
        int columns = kDefaultColumns, rows = kDefaultRows;
        TerminalSize(&columns, &rows);
        Build(s, columns, rows, std::max(kBufferRows, rows));
        return s;
    }();
    gScreen = &screen;
    return screen;
}

} // namespace detail

using detail::Screen;
using detail::TheScreen;

Handle GetStdOutput() {
    return &TheScreen();
}

// Every handle comes from GetStdOutput, which has made the model by then.
static Screen *ScreenOf(Handle console) {
    return console && console == detail::gScreen ? static_cast<Screen *>(console) : nullptr;
}

bool GetScreenBufferInfo(Handle console, ScreenBufferInfo *info) {
    Screen *s = ScreenOf(console);
    if (!s || !info)
        return false;
    info->dwSize = Coord{int16_t(s->width), int16_t(s->height)};
    info->dwCursorPosition = s->cursor;
    info->wAttributes = s->attribute;
    info->srWindow = s->window;
    info->dwMaximumWindowSize = Coord{std::min<int16_t>(s->maxWindow.X, int16_t(s->width)),
                                      std::min<int16_t>(s->maxWindow.Y, int16_t(s->height))};
    return true;
}

bool SetCursorPosition(Handle console, Coord position) {
    Screen *s = ScreenOf(console);
    if (!s || !detail::InBuffer(*s, position.X, position.Y))
        return false;
    s->cursor = position;
    detail::FollowCursor(*s);
    return true;
}

bool Write(Handle console, const char *text, uint32_t length, uint32_t *written) {
    Screen *s = ScreenOf(console);
    if (written)
        *written = 0;
    if (!s || (!text && length))
        return false;
    const bool processed = s->mode & kProcessedOutput;
    const bool wrap = s->mode & kWrapAtEolOutput;
    const int width = s->width;
    int x = s->cursor.X;
    Cell *row = s->Row(s->cursor.Y);
    s->MarkRows(s->cursor.Y, s->cursor.Y);
    // The window keeps the cursor in view after every move, as it goes.
    auto followColumn = [&] {
        if (x < s->window.Left || x > s->window.Right) {
            s->cursor.X = int16_t(x);
            detail::FollowCursor(*s);
        }
    };
    auto nextRow = [&] {
        x = 0;
        s->cursor.X = 0;
        detail::NextRow(*s);
        detail::FollowCursor(*s);
        row = s->Row(s->cursor.Y);
        s->MarkRows(s->cursor.Y, s->cursor.Y);
    };
    for (uint32_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (processed && c < 0x0E &&
            (c == '\r' || c == '\n' || c == '\b' || c == '\t' || c == '\a')) {
            if (c == '\r') {
                x = 0;
            } else if (c == '\n') {
                nextRow();
            } else if (c == '\b') {
                if (x > 0)
                    --x;
            } else if (c == '\a') {
                ++s->pendingBeeps;
                ++s->beepCount;
            } else { // tab: spaces up to the next multiple of 8, within the row
                int stop = std::min((x / 8 + 1) * 8, width - 1);
                for (; x < stop; ++x)
                    row[x] = Cell{' ', s->attribute};
            }
            followColumn();
            continue;
        }
        // Plain bytes up to the window's or the row's edge in one go (the
        // cells' char member may alias anything: keep what the loop needs local).
        const uint16_t attribute = s->attribute;
        const int edge = std::min<int>(width - 1, s->window.Right);
        uint32_t j = i;
        while (j < length && x < edge &&
               !(processed && static_cast<unsigned char>(text[j]) < 0x0E)) {
            row[x++] = Cell{text[j++], attribute};
        }
        if (j > i) {
            i = j - 1;
            continue;
        }
        row[x] = Cell{static_cast<char>(c), attribute};
        if (++x < width) {
            if (x > s->window.Right)
                followColumn();
            continue;
        }
        if (wrap) {
            nextRow();
        } else {
            x = width - 1;
            followColumn();
        }
    }
    s->cursor.X = int16_t(x);
    detail::FollowCursor(*s);
    if (written)
        *written = length;
    return true;
}

// Fills in reading order from at, stopping at the end of the buffer.
template <class Apply>
static bool Fill(Handle console, uint32_t count, Coord at, uint32_t *written, Apply apply) {
    Screen *s = ScreenOf(console);
    if (written)
        *written = 0;
    if (!s || !detail::InBuffer(*s, at.X, at.Y))
        return false;
    uint64_t room = uint64_t(s->height - at.Y) * uint64_t(s->width) - uint64_t(at.X);
    uint32_t n = uint32_t(std::min<uint64_t>(count, room));
    int x = at.X, y = at.Y;
    uint32_t left = n;
    while (left > 0) {
        uint32_t piece = std::min<uint32_t>(left, uint32_t(s->width - x));
        Cell *row = s->Row(y);
        for (uint32_t i = 0; i < piece; ++i)
            apply(row[x + int(i)]);
        s->MarkRows(y, y);
        left -= piece;
        x = 0;
        ++y;
    }
    if (written)
        *written = n;
    return true;
}

bool FillOutputCharacter(Handle console, char ch, uint32_t count, Coord at, uint32_t *written) {
    return Fill(console, count, at, written, [ch](Cell &c) { c.Char = ch; });
}

bool FillOutputAttribute(Handle console, uint16_t attribute, uint32_t count, Coord at,
                         uint32_t *written) {
    return Fill(console, count, at, written, [attribute](Cell &c) { c.Attributes = attribute; });
}

bool FillOutput(Handle console, Cell fill, uint32_t count, Coord at) {
    return Fill(console, count, at, nullptr, [fill](Cell &c) { c = fill; });
}

bool ScrollScreenBuffer(Handle console, const Rect &scroll, const Rect *clip, Coord dest,
                        Cell fill) {
    Screen *s = ScreenOf(console);
    if (!s)
        return false;
    const int dx = dest.X - scroll.Left;
    const int dy = dest.Y - scroll.Top;
    // The source, clipped to the buffer.
    int left = std::max<int>(scroll.Left, 0), top = std::max<int>(scroll.Top, 0);
    int right = std::min<int>(scroll.Right, s->width - 1);
    int bottom = std::min<int>(scroll.Bottom, s->height - 1);
    if (left > right || top > bottom)
        return false;
    // The cells that may change.
    int cl = 0, ct = 0, cr = s->width - 1, cb = s->height - 1;
    if (clip) {
        cl = std::max<int>(clip->Left, 0);
        ct = std::max<int>(clip->Top, 0);
        cr = std::min<int>(clip->Right, s->width - 1);
        cb = std::min<int>(clip->Bottom, s->height - 1);
        if (cl > cr || ct > cb)
            return true;
    }
    // Whole rows inside the clip's rows, moving no further than their height.
    if (left == 0 && right == s->width - 1 && dx == 0 && cl == 0 && cr == s->width - 1 &&
        top >= ct && bottom <= cb && std::abs(dy) <= bottom - top + 1) {
        if (dy != 0)
            detail::ShiftRows(*s, top, bottom, dy, ct, cb, fill);
        return true;
    }

    const int w = right - left + 1;
    const int h = bottom - top + 1;
    s->scratch.resize(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        std::copy_n(s->Row(top + y) + left, w, s->scratch.begin() + std::ptrdiff_t(y) * w);
    auto inClip = [&](int x, int y) { return x >= cl && x <= cr && y >= ct && y <= cb; };
    auto inDest = [&](int x, int y) {
        return x >= left + dx && x <= right + dx && y >= top + dy && y <= bottom + dy;
    };
    // The cells left behind get the fill, then the block lands.
    for (int y = top; y <= bottom; ++y) {
        Cell *row = s->Row(y);
        for (int x = left; x <= right; ++x)
            if (inClip(x, y) && !inDest(x, y))
                row[x] = fill;
    }
    for (int y = 0; y < h; ++y) {
        int ty = top + dy + y;
        if (ty < ct || ty > cb)
            continue;
        Cell *row = s->Row(ty);
        for (int x = 0; x < w; ++x) {
            int tx = left + dx + x;
            if (tx >= cl && tx <= cr)
                row[tx] = s->scratch[size_t(y) * size_t(w) + size_t(x)];
        }
    }
    s->MarkRows(std::max(ct, std::min(top, top + dy)), std::min(cb, std::max(bottom, bottom + dy)));
    return true;
}

bool GetMode(Handle console, uint32_t *mode) {
    Screen *s = ScreenOf(console);
    if (!s || !mode)
        return false;
    *mode = s->mode;
    return true;
}

bool SetMode(Handle console, uint32_t mode) {
    Screen *s = ScreenOf(console);
    if (!s)
        return false;
    s->mode = mode;
    return true;
}

bool SetScreenBufferSize(Handle console, Coord size) {
    Screen *s = ScreenOf(console);
    if (!s)
        return false;
    const int winW = s->window.Right - s->window.Left + 1;
    const int winH = s->window.Bottom - s->window.Top + 1;
    if (size.X < winW || size.Y < winH || size.X > detail::kMaxColumns ||
        int64_t(size.X) * size.Y > detail::kMaxCells)
        return false;
    if (size.X == s->width && size.Y == s->height)
        return true;
    std::vector<Cell> cells(size_t(size.X) * size_t(size.Y), Cell{' ', s->defaultAttribute});
    const int keepW = std::min<int>(size.X, s->width);
    const int keepH = std::min<int>(size.Y, s->height);
    for (int y = 0; y < keepH; ++y)
        std::copy_n(s->Row(y), keepW, cells.begin() + std::ptrdiff_t(y) * size.X);
    s->cells.swap(cells);
    s->width = size.X;
    s->height = size.Y;
    s->rowMap.resize(size_t(size.Y));
    for (int y = 0; y < size.Y; ++y)
        s->rowMap[size_t(y)] = y;
    s->dirty.assign(size_t(size.Y), 0);
    s->shifts.clear();
    s->allDirty = true;
    // The window keeps its size and moves back inside if it must.
    Rect &w = s->window;
    if (w.Right >= size.X) {
        int shift = w.Right - (size.X - 1);
        w.Left = int16_t(w.Left - shift);
        w.Right = int16_t(w.Right - shift);
    }
    if (w.Bottom >= size.Y) {
        int shift = w.Bottom - (size.Y - 1);
        w.Top = int16_t(w.Top - shift);
        w.Bottom = int16_t(w.Bottom - shift);
    }
    s->cursor.X = std::min<int16_t>(s->cursor.X, int16_t(size.X - 1));
    s->cursor.Y = std::min<int16_t>(s->cursor.Y, int16_t(size.Y - 1));
    return true;
}

bool SetWindowInfo(Handle console, bool absolute, const Rect &window) {
    Screen *s = ScreenOf(console);
    if (!s)
        return false;
    Rect r = window;
    if (!absolute)
        r = Rect{int16_t(s->window.Left + window.Left), int16_t(s->window.Top + window.Top),
                 int16_t(s->window.Right + window.Right),
                 int16_t(s->window.Bottom + window.Bottom)};
    if (r.Left < 0 || r.Top < 0 || r.Left > r.Right || r.Top > r.Bottom || r.Right >= s->width ||
        r.Bottom >= s->height || r.Right - r.Left + 1 > s->maxWindow.X ||
        r.Bottom - r.Top + 1 > s->maxWindow.Y)
        return false;
    s->window = r;
    s->allDirty = true;
    return true;
}

bool SetTextAttribute(Handle console, uint16_t attribute) {
    Screen *s = ScreenOf(console);
    if (!s)
        return false;
    s->attribute = attribute;
    return true;
}

bool MessageBeep(uint32_t) {
    Screen &s = TheScreen();
    ++s.pendingBeeps;
    ++s.beepCount;
    return true;
}

namespace model {

void Reset(int width, int windowRows, int bufferRows) {
    detail::Build(TheScreen(), width, windowRows, bufferRows);
}

Cell At(int x, int y) {
    Screen &s = TheScreen();
    if (!detail::InBuffer(s, x, y))
        return Cell{' ', 0};
    return s.Row(y)[x];
}

std::string RowText(int y) {
    Screen &s = TheScreen();
    std::string text;
    if (y < 0 || y >= s.height)
        return text;
    const Cell *row = s.Row(y);
    for (int x = 0; x < s.width; ++x)
        text.push_back(row[x].Char);
    return text;
}

int BeepCount() {
    return TheScreen().beepCount;
}

} // namespace model

} // namespace plat::con
