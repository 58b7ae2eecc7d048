// Draws the POSIX console screen model onto the real terminal with ANSI
// sequences: the scrolls of the window's rows as scrolls of the terminal, then
// the rows that changed; the 16 console colours as the 16 ANSI colours (plain
// grey on black as the terminal's default colours); the bytes as their code
// page 437 glyphs in the terminal's character set. A terminal is drawn on in
// its alternate screen.
#include "ConsoleModel.h"
#include "ConsoleTerminal.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <string>
#include <unistd.h>

namespace plat::con {
namespace {

int gRenderFd = STDOUT_FILENO;
bool gTargetChecked = false; // whether gRenderFd is a terminal was looked at
constexpr int kMaxBells = 4;
constexpr uint16_t kPlain = 0x07;

// Code page 437 in UTF-8: the glyphs of the control bytes, and the upper half.
// clang-format off
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
// clang-format on

// The glyph of a byte that is not printable ASCII, in UTF-8; null for one that is.
const char *Cp437Utf8(unsigned char c) {
    if (c < 0x20)
        return kLowGlyphs[c];
    if (c == 0x7F)
        return "⌂";
    if (c >= 0x80)
        return kHighGlyphs[c - 0x80];
    return nullptr;
}

// Where a terminal's character set has no glyph: the line-graphics and box
// characters as + - |, shades and blocks as #, the rest as ?.
char AsciiFallback(unsigned char c) {
    switch (c) {
    case 0xC4:
    case 0xCD:
        return '-';
    case 0xB3:
    case 0xBA:
        return '|';
    case 0xB0:
    case 0xB1:
    case 0xB2:
    case 0xDB:
    case 0xDC:
    case 0xDD:
    case 0xDE:
    case 0xDF:
    case 0xF1:
        return '#';
    case 0xF2:
        return '>';
    case 0xF3:
        return '<';
    case 0xF8:
        return '\'';
    default:
        return c >= 0xB4 && c <= 0xDA ? '+' : '?';
    }
}

// The character set of the locale the environment names (LC_ALL, LC_CTYPE,
// LANG); for a locale this system lacks, UTF-8 if its name says so, else
// ASCII.
std::string Codeset() {
    if (locale_t named = newlocale(LC_CTYPE_MASK, "", locale_t(0))) {
        std::string codeset = nl_langinfo_l(CODESET, named);
        freelocale(named);
        return codeset;
    }
    std::string name;
    for (const char *variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char *value = std::getenv(variable);
        if (value && *value) {
            name = value;
            break;
        }
    }
    for (char &c : name)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    const bool utf8 =
        name.find("utf-8") != std::string::npos || name.find("utf8") != std::string::npos;
    return utf8 ? "UTF-8" : "ANSI_X3.4-1968";
}

// What each byte looks like on the terminal, in its character set.
struct Glyphs {
    std::string of[256];
    Glyphs() {
        const std::string codeset = Codeset();
        const bool utf8 = codeset == "UTF-8";
        iconv_t convert = utf8 ? iconv_t(-1) : iconv_open(codeset.c_str(), "UTF-8");
        for (int c = 0; c < 256; ++c) {
            const char *glyph = Cp437Utf8(static_cast<unsigned char>(c));
            if (!glyph)
                of[c] = std::string(1, char(c));
            else if (utf8)
                of[c] = glyph;
            else
                of[c] = Convert(convert, glyph, static_cast<unsigned char>(c));
        }
        if (convert != iconv_t(-1))
            iconv_close(convert);
    }
    static std::string Convert(iconv_t convert, const char *glyph, unsigned char c) {
        char out[8];
        char *in = const_cast<char *>(glyph), *to = out;
        size_t inLeft = std::strlen(glyph), outLeft = sizeof out;
        if (convert == iconv_t(-1) || iconv(convert, &in, &inLeft, &to, &outLeft) == size_t(-1) ||
            inLeft != 0) {
            if (convert != iconv_t(-1))
                iconv(convert, nullptr, nullptr, nullptr, nullptr);
            return std::string(1, AsciiFallback(c));
        }
        return std::string(out, size_t(to - out));
    }
};

const Glyphs &TheGlyphs() {
    static const Glyphs glyphs;
    return glyphs;
}

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
    if ((attribute & 0xFF) == kPlain) {
        out += "\x1b[0m"; // the console's plain grey on black is the terminal's own look
        return;
    }
    int fore = attribute & 0x0F;
    int back = (attribute >> 4) & 0x0F;
    out += "\x1b[0;";
    AppendNumber(out, ((fore & 8) ? 90 : 30) + AnsiColour(fore & 7));
    out += ';';
    AppendNumber(out, ((back & 8) ? 100 : 40) + AnsiColour(back & 7));
    out += 'm';
}

void AppendMove(std::string &out, int row, int column) {
    out += "\x1b[";
    AppendNumber(out, row);
    out += ';';
    AppendNumber(out, column);
    out += 'H';
}

// The terminal's rows top..bottom (0-based) scroll by dy, down when positive.
void AppendScroll(std::string &out, const detail::Shift &shift) {
    out += "\x1b[";
    AppendNumber(out, shift.top + 1);
    out += ';';
    AppendNumber(out, shift.bottom + 1);
    out += 'r';
    AppendMove(out, (shift.dy < 0 ? shift.bottom : shift.top) + 1, 1);
    const char *step = shift.dy < 0 ? "\x1b"
                                      "D"
                                    : "\x1bM";
    for (int i = 0; i < (shift.dy < 0 ? -shift.dy : shift.dy); ++i)
        out += step;
}

// One row of the window; sgr is the terminal's rendition (low byte of a
// console attribute), before and after.
void AppendRow(std::string &out, detail::Screen &s, int y, const Glyphs &glyphs, int &sgr) {
    const Rect &w = s.window;
    AppendMove(out, y - w.Top + 1, 1);
    const Cell *row = s.Row(y);
    // Trailing plain blanks are erased rather than drawn.
    int end = w.Right;
    while (end >= w.Left && row[end].Char == ' ' && (row[end].Attributes & 0xFF) == kPlain)
        --end;
    for (int x = w.Left; x <= end; ++x) {
        if ((row[x].Attributes & 0xFF) != sgr) {
            sgr = row[x].Attributes & 0xFF;
            AppendSgr(out, uint16_t(sgr));
        }
        out += glyphs.of[static_cast<unsigned char>(row[x].Char)];
    }
    if (end < w.Right) {
        if (sgr != kPlain)
            out += "\x1b[0m";
        sgr = kPlain;
        out += "\x1b[K";
    }
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

// What the terminal shows: the window and cursor last drawn.
Rect gDrawnWindow{};
Coord gDrawnCursor{-1, -1};

bool SameRect(const Rect &a, const Rect &b) {
    return a.Left == b.Left && a.Top == b.Top && a.Right == b.Right && a.Bottom == b.Bottom;
}

bool AnyDirty(const detail::Screen &s) {
    for (int y = s.window.Top; y <= s.window.Bottom; ++y)
        if (s.dirty[size_t(y)])
            return true;
    return false;
}

} // namespace

void SetRenderTarget(int fd) {
    gRenderFd = fd;
    gTargetChecked = false;
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
    const Rect &w = s.window;
    // The window's shape changed: everything goes again.
    if (w.Right - w.Left != gDrawnWindow.Right - gDrawnWindow.Left ||
        w.Bottom - w.Top != gDrawnWindow.Bottom - gDrawnWindow.Top || w.Left != gDrawnWindow.Left)
        s.allDirty = true;
    const Coord c = s.cursor;
    if (!s.allDirty && s.shifts.empty() && s.pendingBeeps == 0 && c.X == gDrawnCursor.X &&
        c.Y == gDrawnCursor.Y && SameRect(w, gDrawnWindow) && !AnyDirty(s))
        return;
    if (!gTargetChecked && isatty(gRenderFd))
        term::EnterAlternateScreen(gRenderFd);
    gTargetChecked = true;
    const Glyphs &glyphs = TheGlyphs();
    static std::string out;
    out.clear();
    // Cursor hidden and the terminal's own wrap off while painting.
    out += "\x1b[?25l\x1b[?7l\x1b[0m";
    if (!s.allDirty && !s.shifts.empty()) {
        for (const detail::Shift &shift : s.shifts)
            AppendScroll(out, shift);
        out += "\x1b[r";
    }
    int sgr = kPlain;
    for (int y = w.Top; y <= w.Bottom; ++y)
        if (s.allDirty || s.dirty[size_t(y)])
            AppendRow(out, s, y, glyphs, sgr);
    // A burst of bells rings a few times, not thousands.
    for (int i = 0; i < s.pendingBeeps && i < kMaxBells; ++i)
        out += '\a';
    s.pendingBeeps = 0;
    out += "\x1b[0m\x1b[?7h";
    if (c.Y >= w.Top && c.Y <= w.Bottom && c.X >= w.Left && c.X <= w.Right) {
        AppendMove(out, c.Y - w.Top + 1, c.X - w.Left + 1);
        out += "\x1b[?25h";
    }
    gDrawnWindow = w;
    gDrawnCursor = c;
    s.ClearDirty();
    WriteAll(gRenderFd, out);
}

void Refresh(Handle console) {
    detail::Screen *s = detail::gScreen;
    if (!s || console != s)
        return;
    int columns = 0, rows = 0;
    if (gRenderFd >= 0 && detail::TerminalSize(&columns, &rows))
        detail::FitWindow(*s, columns, rows);
    s->allDirty = true;
    Flush(console);
}

} // namespace plat::con
