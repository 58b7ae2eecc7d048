// The console screen on Windows: the real console of the process.
#include "platform/Console.h"

#include <windows.h>

#include <algorithm>

namespace plat::con {

namespace {
HANDLE H(Handle console) {
    return static_cast<HANDLE>(console);
}
COORD C(Coord c) {
    return COORD{c.X, c.Y};
}
SMALL_RECT R(const Rect &r) {
    return SMALL_RECT{r.Left, r.Top, r.Right, r.Bottom};
}

// Cells hold code page 437 bytes (the emulator's line graphics among them).
// Written as such with the console's "A" calls they would take the meaning
// of whatever output code page the console has (866, 1251, 65001, ...), so
// they go to it as the Unicode characters they stand for, one UTF-16 unit
// and one cell per byte. Control bytes stay controls.
struct Cp437 {
    wchar_t wide[256];
    Cp437() {
        for (int i = 0; i < 256; ++i) {
            const char byte = char(i);
            if (::MultiByteToWideChar(437, 0, &byte, 1, &wide[i], 1) != 1)
                wide[i] = wchar_t(i);
        }
    }
};
wchar_t Wide(char c) {
    static const Cp437 table;
    return table.wide[static_cast<unsigned char>(c)];
}
} // namespace

Handle GetStdOutput() {
    return ::GetStdHandle(STD_OUTPUT_HANDLE);
}

bool GetScreenBufferInfo(Handle console, ScreenBufferInfo *info) {
    CONSOLE_SCREEN_BUFFER_INFO csbi;
    if (!info || !::GetConsoleScreenBufferInfo(H(console), &csbi))
        return false;
    info->dwSize = Coord{csbi.dwSize.X, csbi.dwSize.Y};
    info->dwCursorPosition = Coord{csbi.dwCursorPosition.X, csbi.dwCursorPosition.Y};
    info->wAttributes = csbi.wAttributes;
    info->srWindow =
        Rect{csbi.srWindow.Left, csbi.srWindow.Top, csbi.srWindow.Right, csbi.srWindow.Bottom};
    info->dwMaximumWindowSize = Coord{csbi.dwMaximumWindowSize.X, csbi.dwMaximumWindowSize.Y};
    return true;
}

bool SetCursorPosition(Handle console, Coord position) {
    return ::SetConsoleCursorPosition(H(console), C(position)) != 0;
}

bool Write(Handle console, const char *text, uint32_t length, uint32_t *written) {
    wchar_t wide[256];
    uint32_t done = 0;
    bool ok = true;
    while (ok && done < length) {
        const uint32_t n = std::min<uint32_t>(length - done, sizeof wide / sizeof wide[0]);
        for (uint32_t i = 0; i < n; ++i)
            wide[i] = Wide(text[done + i]);
        DWORD cells = 0;
        ok = ::WriteConsoleW(H(console), wide, n, &cells, nullptr) != 0;
        done += cells;
        if (cells < n)
            break;
    }
    if (written)
        *written = done;
    return ok;
}

namespace {

// Fills the cells of a rectangle, clipped to the buffer, row by row.
void FillRect(HANDLE h, SMALL_RECT r, const CONSOLE_SCREEN_BUFFER_INFO &csbi, Cell fill) {
    r.Left = std::max<SHORT>(r.Left, 0);
    r.Top = std::max<SHORT>(r.Top, 0);
    r.Right = std::min<SHORT>(r.Right, SHORT(csbi.dwSize.X - 1));
    r.Bottom = std::min<SHORT>(r.Bottom, SHORT(csbi.dwSize.Y - 1));
    for (SHORT y = r.Top; r.Left <= r.Right && y <= r.Bottom; ++y) {
        DWORD n = 0;
        const DWORD count = DWORD(r.Right - r.Left + 1);
        ::FillConsoleOutputCharacterW(h, Wide(fill.Char), count, COORD{r.Left, y}, &n);
        ::FillConsoleOutputAttribute(h, fill.Attributes, count, COORD{r.Left, y}, &n);
    }
}

} // namespace

bool FillOutputCharacter(Handle console, char ch, uint32_t count, Coord at, uint32_t *written) {
    DWORD n = 0;
    BOOL ok = ::FillConsoleOutputCharacterW(H(console), Wide(ch), count, C(at), &n);
    if (written)
        *written = n;
    return ok != 0;
}

bool FillOutputAttribute(Handle console, uint16_t attribute, uint32_t count, Coord at,
                         uint32_t *written) {
    DWORD n = 0;
    BOOL ok = ::FillConsoleOutputAttribute(H(console), attribute, count, C(at), &n);
    if (written)
        *written = n;
    return ok != 0;
}

bool FillOutput(Handle console, Cell fill, uint32_t count, Coord at) {
    DWORD n = 0;
    return ::FillConsoleOutputCharacterW(H(console), Wide(fill.Char), count, C(at), &n) &&
           ::FillConsoleOutputAttribute(H(console), fill.Attributes, count, C(at), &n);
}

bool ScrollScreenBuffer(Handle console, const Rect &scroll, const Rect *clip, Coord destination,
                        Cell fill) {
    COORD dest = C(destination);
    // The console clips a source reaching past the buffer, but not every
    // console does (Wine refuses the call): clip it here, moving the
    // destination with a clipped top or left edge.
    SMALL_RECT source = R(scroll);
    CONSOLE_SCREEN_BUFFER_INFO csbi;
    if (::GetConsoleScreenBufferInfo(H(console), &csbi)) {
        if (source.Left < 0) {
            dest.X = SHORT(dest.X - source.Left);
            source.Left = 0;
        }
        if (source.Top < 0) {
            dest.Y = SHORT(dest.Y - source.Top);
            source.Top = 0;
        }
        if (source.Right >= csbi.dwSize.X)
            source.Right = SHORT(csbi.dwSize.X - 1);
        if (source.Bottom >= csbi.dwSize.Y)
            source.Bottom = SHORT(csbi.dwSize.Y - 1);
        if (source.Left > source.Right || source.Top > source.Bottom)
            return false;
        // A block moved wholly off the buffer only leaves fill behind, which
        // Wine refuses to do.
        const int w = source.Right - source.Left + 1, h = source.Bottom - source.Top + 1;
        if (dest.X >= csbi.dwSize.X || dest.Y >= csbi.dwSize.Y || dest.X + w <= 0 ||
            dest.Y + h <= 0) {
            SMALL_RECT area = source;
            if (clip) {
                area.Left = std::max(area.Left, clip->Left);
                area.Top = std::max(area.Top, clip->Top);
                area.Right = std::min(area.Right, clip->Right);
                area.Bottom = std::min(area.Bottom, clip->Bottom);
            }
            FillRect(H(console), area, csbi, fill);
            return true;
        }
    }
    SMALL_RECT clipRect{};
    if (clip)
        clipRect = R(*clip);
    CHAR_INFO cell;
    cell.Char.UnicodeChar = Wide(fill.Char);
    cell.Attributes = fill.Attributes;
    return ::ScrollConsoleScreenBufferW(H(console), &source, clip ? &clipRect : nullptr, dest,
                                        &cell) != 0;
}

bool GetMode(Handle console, uint32_t *mode) {
    DWORD m = 0;
    if (!mode || !::GetConsoleMode(H(console), &m))
        return false;
    *mode = m;
    return true;
}

bool SetMode(Handle console, uint32_t mode) {
    return ::SetConsoleMode(H(console), mode) != 0;
}

bool SetScreenBufferSize(Handle console, Coord size) {
    return ::SetConsoleScreenBufferSize(H(console), C(size)) != 0;
}

bool SetWindowInfo(Handle console, bool absolute, const Rect &window) {
    SMALL_RECT r = R(window);
    return ::SetConsoleWindowInfo(H(console), absolute ? TRUE : FALSE, &r) != 0;
}

bool SetTextAttribute(Handle console, uint16_t attribute) {
    return ::SetConsoleTextAttribute(H(console), attribute) != 0;
}

bool MessageBeep(uint32_t type) {
    return ::MessageBeep(type) != 0;
}

void Flush(Handle) {}

void Refresh(Handle) {}

void SetRenderTarget(int) {}

} // namespace plat::con
