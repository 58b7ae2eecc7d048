// Text output of the VT100 emulator's backend (module CONSOLE): runs of
// printable bytes, CR, LF with the scrolling rules, and the last column.
// Printing in the last column leaves the cursor there with a wrap pending;
// the next printable byte goes to the start of the next row, anything that
// moves the cursor first cancels it. With automatic wrap off nothing waits
// and every further byte lands in the last column. The last column
// is written in place, so the console's own end-of-line wrap never acts.
#include "CONSOLE.h"
#include "CONSOLEState.h"

#include <algorithm>
#include <cstdint>

namespace con = plat::con;

namespace {

// DEC special graphics letters and their code page 437 drawing characters.
const unsigned char kGraphics[][2] = {
    {'a', 0xB1}, {'f', 0xF8}, {'g', 0xF1}, {'j', 0xD9}, {'k', 0xBF}, {'l', 0xDA}, {'m', 0xC0},
    {'n', 0xC5}, {'o', 0xC4}, {'p', 0xC4}, {'q', 0xC4}, {'r', 0xC4}, {'s', 0xC4}, {'t', 0xC3},
    {'u', 0xB4}, {'v', 0xC1}, {'w', 0xC2}, {'x', 0xB3}, {'y', 0xF3}, {'z', 0xF2}};

struct GraphicsTable {
    unsigned char map[256];
    GraphicsTable() {
        for (int i = 0; i < 256; ++i)
            map[i] = static_cast<unsigned char>(i);
        for (const auto &entry : kGraphics)
            map[entry[0]] = entry[1];
    }
};
const GraphicsTable G1Chars;

bool IsGraphics() {
    return scForeFlags & kCharSetGraphics;
}

// Writes bytes at the cursor, which advances; they end before the last column.
void WriteText(const char *text, int length) {
    if (!IsGraphics()) {
        con::Write(hConOut, text, static_cast<uint32_t>(length), nullptr);
        return;
    }
    char work[256];
    while (length > 0) {
        const int n = std::min<int>(length, sizeof work);
        for (int i = 0; i < n; ++i)
            work[i] = static_cast<char>(G1Chars.map[static_cast<unsigned char>(text[i])]);
        con::Write(hConOut, work, static_cast<uint32_t>(n), nullptr);
        text += n;
        length -= n;
    }
}

// Puts one byte in the last column of the cursor's row; the cursor stays.
void PutLast(char c, const ConState &s) {
    if (IsGraphics())
        c = static_cast<char>(G1Chars.map[static_cast<unsigned char>(c)]);
    con::FillOutput(hConOut, con::Cell{c, s.A}, 1,
                    con::Coord{static_cast<int16_t>(s.W - 1), static_cast<int16_t>(s.cy)});
}

// Down one row, scrolling the margins at the bottom one. Without margins the
// window moves down the buffer onto a blank row, so that what scrolls off the
// screen stays above it; at the buffer's end the buffer scrolls.
void Index(const ConState &s) {
    int top = 0, bottom = 0;
    ScrollMargins(s, &top, &bottom);
    const int r = s.Row();
    if (r != bottom) {
        if (r < s.Rows() - 1)
            SetCursor(s, s.cx, s.cy + 1);
        return;
    }
    if (top != 0 || bottom != s.Rows() - 1) {
        ScrollRows(s, top, bottom, -1);
        return;
    }
    if (s.cy >= s.H - 1) {
        const con::Rect all{0, 1, static_cast<int16_t>(s.W - 1), static_cast<int16_t>(s.H - 1)};
        con::ScrollScreenBuffer(hConOut, all, nullptr, con::Coord{0, 0}, con::Cell{' ', s.A});
        return;
    }
    con::FillOutput(hConOut, con::Cell{' ', s.A}, uint32_t(s.W),
                    con::Coord{0, static_cast<int16_t>(s.cy + 1)});
    SetCursor(s, s.cx, s.cy + 1);
}

void NewLine() {
    ConState s;
    if (!ReadConsoleState(s))
        return;
    Index(s);
    if (ReadConsoleState(s))
        SetCursor(s, 0, s.cy);
    bWrapPending = false;
}

void PrintRun(const char *text, int length) {
    ConState s;
    if (!ReadConsoleState(s))
        return;
    const bool autoWrap = conTermMode & kModeAutoWrap;
    while (length > 0) {
        if (bWrapPending) { // even when automatic wrap went off since

            NewLine();
            if (!ReadConsoleState(s))
                return;
        }
        const int room = s.W - s.cx;
        if (length < room) {
            WriteText(text, length);
            return;
        }
        if (room > 1)
            WriteText(text, room - 1);
        if (!autoWrap) {
            // Every further byte lands in the last column: the final one stays.
            PutLast(text[length - 1], s);
            return;
        }
        if (!ReadConsoleState(s))
            return;
        PutLast(text[room - 1], s);
        bWrapPending = true;
        text += room;
        length -= room;
    }
}

} // namespace

int beIndex() {
    ConState before, after;
    if (!ReadConsoleState(before))
        return 0;
    // A scroll leaves the cursor on its cell of the screen, and a wrap pending.
    const bool pending = bWrapPending;
    Index(before);
    if (ReadConsoleState(after) && after.Row() == before.Row())
        bWrapPending = pending;
    return 0;
}

int beRawTextOut(const char *text, int length) {
    if (!text)
        return 0;
    int start = 0;
    for (int i = 0; i < length; ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n' && c != '\t')
            continue;
        PrintRun(text + start, i - start);
        start = i + 1;
        if (c == '\n') {
            NewLine();
        } else if (c == '\t') {
            beAdvanceToTab();
        } else {
            ConState s;
            if (ReadConsoleState(s))
                SetCursor(s, 0, s.cy);
        }
    }
    PrintRun(text + start, length - start);
    return 0;
}
