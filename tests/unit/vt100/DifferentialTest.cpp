// The emulator over the POSIX screen model beside libvterm, fed the same
// bytes: every cell's character and the colours the console can show
// (reverse video included), and the cursor, must agree. libvterm gets ESC [ 20 h
// first, so that LF starts its line at column 1 as ours does. One departure of
// libvterm from the VT100 is bridged on its side: its cursor up and down do
// not stop at the scrolling margins, so a move that a VT100 stops there is
// handed to it as the absolute move to that row.
//
// Named cases (ScreenCases.cpp) and seeded random streams over the sequences
// the emulator understands, fed to ours in random chunks; a stream that
// differs is shrunk and printed. VT100_DIFF_SECONDS and VT100_DIFF_SEED run
// random streams for that long instead (scripts/fuzz.sh).
#include "ScreenCases.h"

#include "VT100.h"

#include <platform/Console.h>

#include <gtest/gtest.h>
#include <vterm.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

namespace {

namespace con = plat::con;

constexpr int kColumns = 80, kRows = 25;

// The code page 437 line-graphics bytes as libvterm's characters.
unsigned Unicode(unsigned char c) {
    static const char kBytes[] = "\xDA\xC4\xBF\xB3\xC0\xD9\xC3\xB4\xC1\xC2\xC5";
    static const unsigned kCodes[] = {0x250C, 0x2500, 0x2510, 0x2502, 0x2514, 0x2518,
                                      0x251C, 0x2524, 0x2534, 0x252C, 0x253C};
    const char *at = c ? std::strchr(kBytes, char(c)) : nullptr;
    return at ? kCodes[at - kBytes] : c;
}

// Colours as ANSI numbers 0..15: foreground, background.
struct Colours {
    int fore, back;
};

Colours FromConsole(uint16_t attribute) {
    auto ansi = [](int n) { return (n & 4 ? 1 : 0) | (n & 2) | (n & 1 ? 4 : 0) | (n & 8); };
    return {ansi(attribute & 0x0F), ansi((attribute >> 4) & 0x0F)};
}

class Vterm {
public:
    Vterm() : vt_(vterm_new(kRows, kColumns)) {
        vterm_set_utf8(vt_, 0);
        state_ = vterm_obtain_state(vt_);
        screen_ = vterm_obtain_screen(vt_);
        vterm_screen_reset(screen_, 1);
        // A restore without a save finds the start, as on a VT100 (libvterm's
        // own first saved rendition is black on black).
        Write("\x1b[20h\x1b"
              "7");
    }
    ~Vterm() { vterm_free(vt_); }
    Vterm(const Vterm &) = delete;
    Vterm &operator=(const Vterm &) = delete;

    // Feeds bytes, keeping the margins and bridging cursor up and down at them.
    void Feed(const std::string &bytes) {
        size_t done = 0;
        for (size_t at = bytes.find("\x1b["); at != std::string::npos;
             at = bytes.find("\x1b[", at + 1)) {
            const size_t end = bytes.find_first_not_of("0123456789;", at + 2);
            if (end == std::string::npos || !std::strchr("ABr", bytes[end]))
                continue;
            Write(bytes.substr(done, at - done));
            int args[2] = {-1, -1};
            for (size_t i = 0, p = at + 2; i < 2 && p < end; ++i, p = bytes.find(';', p) + 1) {
                if (std::isdigit(static_cast<unsigned char>(bytes[p])))
                    args[i] = int(
                        std::min(std::stol(bytes.substr(p, std::min<size_t>(9, end - p))), 99999L));
                if (bytes.find(';', p) >= end)
                    break;
            }
            done = end + 1;
            if (bytes[end] == 'r') {
                const int top = std::max(args[0], 1),
                          bottom = args[1] == -1 ? kRows : std::min(args[1], kRows);
                top_ = bottom < top ? 0 : top - 1;
                bottom_ = bottom < top ? kRows - 1 : bottom - 1;
                Write(bytes.substr(at, done - at));
                continue;
            }
            const int count = std::max(args[0], 1);
            const VTermPos pos = Cursor();
            const int row =
                bytes[end] == 'A'
                    ? std::max(pos.row - count, pos.row >= top_ ? top_ : 0)
                    : std::min(pos.row + count, pos.row <= bottom_ ? bottom_ : kRows - 1);
            Write("\x1b[" + std::to_string(row + 1) + ";" + std::to_string(pos.col + 1) + "H");
        }
        Write(bytes.substr(done));
    }
    VTermPos Cursor() const {
        VTermPos pos{};
        vterm_state_get_cursorpos(state_, &pos);
        return pos;
    }
    VTermScreenCell Cell(int row, int column) const {
        VTermScreenCell cell{};
        vterm_screen_get_cell(screen_, VTermPos{row, column}, &cell);
        return cell;
    }
    unsigned Char(int row, int column) const {
        const unsigned c = Cell(row, column).chars[0];
        return c ? c : ' ';
    }
    // Default colours are the console's grey on black.
    Colours ColoursAt(int row, int column) const {
        const VTermScreenCell cell = Cell(row, column);
        auto index = [](const VTermColor &c, int byDefault) {
            if (VTERM_COLOR_IS_DEFAULT_FG(&c) || VTERM_COLOR_IS_DEFAULT_BG(&c))
                return byDefault;
            return VTERM_COLOR_IS_INDEXED(&c) ? int(c.indexed.idx) : -1;
        };
        Colours colours{index(cell.fg, 7), index(cell.bg, 0)};
        if (cell.attrs.bold && colours.fore < 8)
            colours.fore += 8;
        if (cell.attrs.reverse)
            std::swap(colours.fore, colours.back);
        return colours;
    }

private:
    void Write(const std::string &bytes) {
        if (!bytes.empty())
            vterm_input_write(vt_, bytes.data(), bytes.size());
    }

    VTerm *vt_;
    VTermState *state_;
    VTermScreen *screen_;
    int top_ = 0, bottom_ = kRows - 1;
};

// Where ours starts: the buffer only as tall as the window, a taller one with
// the window at its top, or with the window moved down to rows 36..60; the
// console's own wrap at the end of a line on (mode 3) or off.
struct Start {
    int bufferRows, windowTop;
    uint32_t mode;
};
const Start kStarts[] = {{kRows, 0, 3}, {300, 0, 1}, {300, 36, 3}, {300, 36, 1}};

// One line per row: the characters, then each cell's background and
// foreground (a blank shows no foreground); then the cursor.
template <class At> std::string Snapshot(At at, VTermPos cursor) {
    std::string text;
    for (int row = 0; row < kRows; ++row) {
        std::string chars, colours;
        for (int column = 0; column < kColumns; ++column) {
            const auto [c, colour] = at(row, column);
            chars += char(c < 128 ? c : 0x80 | (c & 0x7F));
            colours += "0123456789abcdef"[colour.back & 15];
            colours += c == ' ' ? '.' : "0123456789abcdef"[colour.fore & 15];
        }
        text += chars + " " + colours + "\n";
    }
    return text + "cursor " + std::to_string(cursor.row + 1) + "," + std::to_string(cursor.col + 1);
}

// Feeds ours in chunks of the given sizes (cycled); returns both screens.
std::pair<std::string, std::string> Screens(const std::string &bytes, const Start &start,
                                            const std::vector<size_t> &chunks = {4096}) {
    const con::Handle out = con::GetStdOutput();
    con::SetRenderTarget(-1);
    con::model::Reset(kColumns, kRows, start.bufferRows);
    con::SetCursorPosition(out, {0, int16_t(start.windowTop + kRows - 1)});
    con::SetCursorPosition(out, {0, int16_t(start.windowTop)});
    con::SetMode(out, start.mode);
    vtInitVT100();
    for (size_t pos = 0, i = 0; pos < bytes.size(); pos += chunks[i++ % chunks.size()])
        vtProcessedTextOut(bytes.data() + pos,
                           int(std::min(chunks[i % chunks.size()], bytes.size() - pos)));
    Vterm vterm;
    vterm.Feed(bytes);
    con::ScreenBufferInfo info{};
    con::GetScreenBufferInfo(out, &info);
    const int top = info.srWindow.Top;
    auto ours = [&](int row, int column) {
        const con::Cell cell = con::model::At(column, top + row);
        return std::pair(Unicode(static_cast<unsigned char>(cell.Char)),
                         FromConsole(cell.Attributes));
    };
    auto theirs = [&](int row, int column) {
        return std::pair(vterm.Char(row, column), vterm.ColoursAt(row, column));
    };
    const VTermPos cursor{info.dwCursorPosition.Y - top, info.dwCursorPosition.X};
    return {Snapshot(ours, cursor), Snapshot(theirs, vterm.Cursor())};
}

// Random pieces over the sequences the emulator understands: text, SGR lists,
// moves with parameters left out, 0, small, around the screen's size or huge,
// erases, margins, and the fixed controls and escapes.
class Streams {
public:
    explicit Streams(unsigned seed) : rng_(seed) {}
    std::vector<std::string> Next() {
        std::vector<std::string> pieces(size_t(Pick(1, 60)));
        for (std::string &piece : pieces)
            piece = Piece();
        return pieces;
    }

private:
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    std::string Param() {
        const int kind = Pick(0, 9);
        return kind == 0   ? ""
               : kind == 1 ? "0"
               : kind == 2 ? std::to_string(Pick(20, 30))
               : kind == 3 ? std::to_string(Pick(76, 85))
               : kind == 4 ? "999"
                           : std::to_string(Pick(1, 12));
    }
    std::string Text() {
        std::string text(size_t(Pick(0, 3) == 0 ? Pick(70, 90) : Pick(1, 12)), ' ');
        for (char &c : text)
            c = char(Pick(0, 7) == 0 ? ' ' : Pick('a', 'z'));
        return text;
    }
    std::string Sgr() {
        static const int kValues[] = {0,  1,  4,  5,  7,  22, 24, 25, 27, 30, 31, 32, 33, 34,
                                      35, 36, 37, 39, 40, 41, 42, 43, 44, 45, 46, 47, 49};
        std::string args;
        for (int n = Pick(0, 4); n > 0; --n)
            args +=
                std::to_string(kValues[Pick(0, int(std::size(kValues)) - 1)]) + (n > 1 ? ";" : "");
        return Csi(args + "m");
    }
    std::string Piece() {
        static const char *const kFixed[] = {"\r",
                                             "\n",
                                             "\n",
                                             "\r\n",
                                             "\b",
                                             "\t",
                                             "\x1b"
                                             "D",
                                             "\x1bM",
                                             "\x1b"
                                             "E",
                                             "\x1b[?7l",
                                             "\x1b[?7h",
                                             "\x0b",
                                             "\x0c",
                                             "\x1b"
                                             "7",
                                             "\x1b"
                                             "8",
                                             "\x1b[g",
                                             "\x1b[3g"};
        // clang-format off
        switch (const int pick = Pick(0, 25); pick) {
        case 0: case 1: case 2: case 3: return Text();
        case 4: return Text() + "\r\n";
        case 5: case 6: return Sgr();
        case 7: return Csi(Param() + ";" + Param() + (Pick(0, 1) ? "H" : "f"));
        case 8: return At(Pick(1, 25), Pick(70, 80));
        case 9: return Csi(Param() + "ABCD"[Pick(0, 3)]);
        case 10: return Csi((Pick(0, 1) ? "" : std::to_string(Pick(0, 2))) + (Pick(0, 1) ? "J" : "K"));
        case 11: return Csi(Param() + "LMP"[Pick(0, 2)]);
        case 12: return Csi(Pick(0, 3) ? Param() + ";" + Param() + "r" : "r");
        default: return kFixed[pick - 13 + Pick(0, 4)];
        }
        // clang-format on
    }

    std::mt19937 rng_;
};

std::string Join(const std::vector<std::string> &pieces) {
    std::string bytes;
    for (const std::string &piece : pieces)
        bytes += piece;
    return bytes;
}

bool Differs(const std::vector<std::string> &pieces, const Start &start) {
    const auto [ours, theirs] = Screens(Join(pieces), start);
    return ours != theirs;
}

// Drops runs of pieces, halving the run, while the stream still differs.
std::vector<std::string> Shrink(std::vector<std::string> pieces, const Start &start) {
    for (size_t size = pieces.size() / 2; size >= 1; size /= 2) {
        for (size_t at = 0; at + size <= pieces.size();) {
            std::vector<std::string> fewer = pieces;
            fewer.erase(fewer.begin() + std::ptrdiff_t(at),
                        fewer.begin() + std::ptrdiff_t(at + size));
            if (Differs(fewer, start))
                pieces = fewer;
            else
                at += size;
        }
    }
    return pieces;
}

TEST(Differential, NamedCasesMatchLibvterm) {
    for (const ScreenCase &c : ScreenCases())
        for (const Start &start : kStarts) {
            const auto [ours, theirs] = Screens(c.bytes, start);
            EXPECT_EQ(ours, theirs) << c.name << " (window at " << start.windowTop << " of "
                                    << start.bufferRows << " rows, mode " << start.mode << ")";
        }
}

TEST(Differential, RandomStreamsMatchLibvterm) {
    const char *seconds = std::getenv("VT100_DIFF_SECONDS");
    const char *seed = std::getenv("VT100_DIFF_SEED");
    Streams streams(seed ? unsigned(std::strtoul(seed, nullptr, 10)) : 20261207u);
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::seconds(seconds ? std::atoi(seconds) : 0);
    std::mt19937 sizes(7);
    int failures = 0;
    for (int i = 0; seconds ? std::chrono::steady_clock::now() < until : i < 2000; ++i) {
        const std::vector<std::string> pieces = streams.Next();
        const Start &start = kStarts[size_t(i) % std::size(kStarts)];
        std::vector<size_t> chunks(4);
        for (size_t &chunk : chunks)
            chunk = std::uniform_int_distribution<size_t>(1, 50)(sizes);
        if (const auto [ours, theirs] = Screens(Join(pieces), start, chunks); ours == theirs)
            continue;
        const std::string bytes = Join(Shrink(pieces, start));
        const auto [ours, theirs] = Screens(bytes, start);
        EXPECT_EQ(ours, theirs) << "stream " << i << " (window at " << start.windowTop << ", mode "
                                << start.mode
                                << ") differs; shrunk: " << testing::PrintToString(bytes);
        if (++failures == 5)
            break;
    }
}

} // namespace
