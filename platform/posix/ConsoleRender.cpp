// Draws the POSIX console screen model onto the real terminal with ANSI
// sequences: the rows of the window that changed since the last Flush, the
// 16 console colours as the 16 ANSI colours, and the bytes shown as their
// code page 437 glyphs (so the line-graphics bytes become box drawing).
#include "ConsoleModel.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace plat::con {
namespace {

int gRenderFd = STDOUT_FILENO;
constexpr int kMaxBells = 4;

// Code page 437 in UTF-8: the glyphs of the control bytes, and the upper half.
const char *const kLowGlyphs[32] = {
    " ", "☺", "☻", "♥", "♦", "♣", "♠", "•", "◘", "○", "◙", "♂", "♀", "♪", "♫", "☼",
    "►", "◄", "↕", "‼", "¶", "§", "▬", "↨", "↑", "↓", "→", "←", "∟", "↔", "▲", "▼"};
const char *const kHighGlyphs[128] = {
    "Ç", "ü", "é", "â", "ä", "à", "å", "ç", "ê", "ë", "è", "ï", "î", "ì", "Ä", "Å",
    "É", "æ", "Æ", "ô", "ö", "ò", "û", "ù", "ÿ", "Ö", "Ü", "¢", "£", "¥", "₧", "ƒ",
    "á", "í", "ó", "ú", "ñ", "Ñ", "ª", "º", "¿", "⌐", "¬", "½", "¼", "¡", "«", "»",
    "░", "▒", "▓", "│", "┤", "╡", "╢", "╖", "╕", "╣", "║", "╗", "╝", "╜", "╛", "┐",
    "└", "┴", "┬", "├", "─", "┼", "╞", "╟", "╚", "╔", "╩", "╦", "╠", "═", "╬", "╧",
    "╨", "╤", "╥", "╙", "╘", "╒", "╓", "╫", "╪", "┘", "┌", "█", "▄", "▌", "▐", "▀",
    "α", "ß", "Γ", "π", "Σ", "σ", "µ", "τ", "Φ", "Θ", "Ω", "δ", "∞", "φ", "ε", "∩",
    "≡", "±", "≥", "≤", "⌠", "⌡", "÷", "≈", "°", "∙", "·", "√", "ⁿ", "²", "■", " "};

// Console colour bits are blue 1, green 2, red 4; ANSI numbers red 1, green 2, blue 4.
int AnsiColour(int consoleColour) {
    return ((consoleColour & 4) ? 1 : 0) | (consoleColour & 2) | ((consoleColour & 1) ? 4 : 0);
}

void AppendNumber(std::string &out, int n) {
    char digits[12];
    int len = std::snprintf(digits, sizeof digits, "%d", n);
    out.append(digits, size_t(len));
}

void AppendSgr(std::string &out, uint16_t attribute) {
    int fore = attribute & 0x0F;
    int back = (attribute >> 4) & 0x0F;
    out += "\x1b[0;";
    AppendNumber(out, ((fore & 8) ? 90 : 30) + AnsiColour(fore & 7));
    out += ';';
    AppendNumber(out, ((back & 8) ? 100 : 40) + AnsiColour(back & 7));
    out += 'm';
}

void AppendGlyph(std::string &out, unsigned char c) {
    if (c < 0x20)
        out += kLowGlyphs[c];
    else if (c == 0x7F)
        out += "⌂";
    else if (c >= 0x80)
        out += kHighGlyphs[c - 0x80];
    else
        out += static_cast<char>(c);
}

void AppendMove(std::string &out, int row, int column) {
    out += "\x1b[";
    AppendNumber(out, row);
    out += ';';
    AppendNumber(out, column);
    out += 'H';
}

void WriteAll(int fd, const std::string &out) {
    size_t done = 0;
    while (done < out.size()) {
        ssize_t n = ::write(fd, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // the terminal went away; the model carries on
        done += size_t(n);
    }
}

} // namespace

void SetRenderTarget(int fd) {
    gRenderFd = fd;
    detail::TheScreen().allDirty = true;
}

void Flush(Handle console) {
    detail::Screen &s = detail::TheScreen();
    if (console != &s)
        return;
    if (gRenderFd < 0) {
        s.ClearDirty();
        s.pendingBeeps = 0;
        return;
    }
    static std::string out;
    out.clear();
    // Cursor hidden and the terminal's own wrap off while painting.
    out += "\x1b[?25l\x1b[?7l";
    const Rect &w = s.window;
    bool sgrKnown = false;
    uint16_t sgr = 0;
    for (int y = w.Top; y <= w.Bottom; ++y) {
        if (!s.allDirty && !s.dirty[size_t(y)])
            continue;
        AppendMove(out, y - w.Top + 1, 1);
        const Cell *row = s.Row(y);
        // Trailing plain blanks are erased rather than drawn.
        int end = w.Right;
        while (end >= w.Left && row[end].Char == ' ' && row[end].Attributes == 0x07)
            --end;
        for (int x = w.Left; x <= end; ++x) {
            if (!sgrKnown || row[x].Attributes != sgr) {
                sgr = row[x].Attributes;
                sgrKnown = true;
                AppendSgr(out, sgr);
            }
            AppendGlyph(out, static_cast<unsigned char>(row[x].Char));
        }
        if (end < w.Right) {
            out += "\x1b[0m\x1b[K";
            sgrKnown = false;
        }
    }
    // A burst of bells rings a few times, not thousands.
    for (int i = 0; i < s.pendingBeeps && i < kMaxBells; ++i)
        out += '\a';
    s.pendingBeeps = 0;
    out += "\x1b[0m\x1b[?7h";
    const Coord c = s.cursor;
    if (c.Y >= w.Top && c.Y <= w.Bottom && c.X >= w.Left && c.X <= w.Right) {
        AppendMove(out, c.Y - w.Top + 1, c.X - w.Left + 1);
        out += "\x1b[?25h";
    }
    s.ClearDirty();
    WriteAll(gRenderFd, out);
}

} // namespace plat::con
