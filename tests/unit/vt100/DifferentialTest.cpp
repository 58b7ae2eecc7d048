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
// differs is printed. VT100_DIFF_SECONDS and VT100_DIFF_SEED run
// random streams for that long instead (scripts/fuzz.sh).
#include "ScreenCases.h"

#include "VT100.h"

#include <platform/Console.h>

#include <gtest/gtest.h>
#include <vterm.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>
#include <regex>

namespace {

namespace con = plat::con;

constexpr int kColumns = 80, kRows = 25;

// A cell as both sides are compared: its character (code page 437 line
// graphics as Unicode), background and foreground as ANSI numbers 0..15.
struct Look {
    unsigned c;
    int back, fore;
};

// One line per row: the characters, then each cell's background and
// foreground (a blank shows no foreground); then the cursor.
template <class At> std::string Snapshot(At at, int cursorRow, int cursorColumn) {
    std::string text;
    for (int row = 0; row < kRows; ++row) {
        std::string chars, colours;
        for (int column = 0; column < kColumns; ++column) {
            const Look look = at(row, column);
            chars += char(look.c < 128 ? look.c : 0x80 | (look.c & 0x7F));
            colours += "0123456789abcdef"[look.back & 15];
            colours += look.c == ' ' ? '.' : "0123456789abcdef"[look.fore & 15];
        }
        text += chars + " " + colours + "\n";
    }
    return text + "cursor " + std::to_string(cursorRow + 1) + "," +
           std::to_string(cursorColumn + 1);
}

Look FromConsole(const con::Cell &cell) {
    static const char kGraphics[] = "\xDA\xC4\xBF\xB3\xC0\xD9\xC3\xB4\xC1\xC2\xC5";
    static const unsigned kUnicode[] = {0x250C, 0x2500, 0x2510, 0x2502, 0x2514, 0x2518,
                                        0x251C, 0x2524, 0x2534, 0x252C, 0x253C};
    const char *graphic = cell.Char ? std::strchr(kGraphics, cell.Char) : nullptr;
    auto ansi = [](int n) { return (n & 4 ? 1 : 0) | (n & 2) | (n & 1 ? 4 : 0) | (n & 8); };
    return {graphic ? kUnicode[graphic - kGraphics] : static_cast<unsigned char>(cell.Char),
            ansi((cell.Attributes >> 4) & 0x0F), ansi(cell.Attributes & 0x0F)};
}

// libvterm's screen after the bytes; default colours are the console's grey
// on black.
std::string TheirScreen(const std::string &bytes) {
    VTerm *vt = vterm_new(kRows, kColumns);
    vterm_set_utf8(vt, 0);
    VTermState *state = vterm_obtain_state(vt);
    VTermScreen *screen = vterm_obtain_screen(vt);
    vterm_screen_reset(screen, 1);
    auto write = [vt](const std::string &s) { vterm_input_write(vt, s.data(), s.size()); };
    // A restore without a save finds the start, as on a VT100 (libvterm's own
    // first saved rendition is black on black).
    write("\x1b[20h\x1b"
          "7");
    VTermPos pos{};
    int top = 0, bottom = kRows - 1;
    static const std::regex kMove("\x1b\\[(\\d*)(;(\\d*))?([ABr])");
    auto arg = [](const std::ssub_match &m) {
        return m.length() ? std::stoi(m.str().substr(0, 6)) : -1;
    };
    auto from = bytes.cbegin();
    for (std::sregex_iterator m(bytes.begin(), bytes.end(), kMove), end; m != end; ++m) {
        write(std::string(from, (*m)[0].first));
        from = (*m)[0].second;
        const int first = arg((*m)[1]), second = arg((*m)[3]);
        vterm_state_get_cursorpos(state, &pos);
        if (*(*m)[4].first == 'r') {
            const int b = second == -1 ? kRows : std::min(second, kRows), t = std::max(first, 1);
            top = b < t ? 0 : t - 1;
            bottom = b < t ? kRows - 1 : b - 1;
            write((*m)[0].str());
            continue;
        }
        const int count = std::max(first, 1);
        const int row = *(*m)[4].first == 'A'
                            ? std::max(pos.row - count, pos.row >= top ? top : 0)
                            : std::min(pos.row + count, pos.row <= bottom ? bottom : kRows - 1);
        write("\x1b[" + std::to_string(row + 1) + ";" + std::to_string(pos.col + 1) + "H");
    }
    write(std::string(from, bytes.cend()));
    vterm_state_get_cursorpos(state, &pos);
    const std::string text = Snapshot(
        [screen](int row, int column) {
            VTermScreenCell cell{};
            vterm_screen_get_cell(screen, VTermPos{row, column}, &cell);
            auto index = [](const VTermColor &c, int byDefault) {
                if (VTERM_COLOR_IS_DEFAULT_FG(&c) || VTERM_COLOR_IS_DEFAULT_BG(&c))
                    return byDefault;
                return VTERM_COLOR_IS_INDEXED(&c) ? int(c.indexed.idx) : -1;
            };
            Look look{cell.chars[0] ? cell.chars[0] : ' ', index(cell.bg, 0), index(cell.fg, 7)};
            if (cell.attrs.bold && look.fore < 8)
                look.fore += 8;
            if (cell.attrs.reverse)
                std::swap(look.fore, look.back);
            return look;
        },
        pos.row, pos.col);
    vterm_free(vt);
    return text;
}

// Where ours starts: the buffer only as tall as the window, a taller one with
// the window at its top, or with the window moved down to rows 36..60; the
// console's own wrap at the end of a line on (mode 3) or off.
struct Start {
    int bufferRows, windowTop;
    uint32_t mode;
};
const Start kStarts[] = {{kRows, 0, 3}, {300, 0, 1}, {300, 36, 3}, {300, 36, 1}};

// Our screen after the bytes, fed in chunks of the given sizes (cycled).
std::string OurScreen(const std::string &bytes, const Start &start,
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
    con::ScreenBufferInfo info{};
    con::GetScreenBufferInfo(out, &info);
    const int top = info.srWindow.Top;
    return Snapshot(
        [top](int row, int column) { return FromConsole(con::model::At(column, top + row)); },
        info.dwCursorPosition.Y - top, info.dwCursorPosition.X);
}

// Random pieces over the sequences the emulator understands: text, SGR lists,
// cursor moves with parameters left out, 0, small, around the screen's size or
// huge, erases, margins, and the fixed controls and escapes.
class Streams {
public:
    explicit Streams(unsigned seed) : rng_(seed) {}
    std::string Next() {
        std::string bytes;
        for (int n = Pick(1, 60); n > 0; --n)
            bytes += Piece();
        return bytes;
    }

private:
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    std::string Param() {
        const int kind = Pick(0, 9), ranges[][2] = {{0, 0}, {20, 30}, {76, 85}, {999, 999}};
        return kind == 0 ? ""
                         : std::to_string(kind < 5 ? Pick(ranges[kind - 1][0], ranges[kind - 1][1])
                                                   : Pick(1, 12));
    }
    std::string Text() {
        std::string text(size_t(Pick(0, 3) == 0 ? Pick(70, 90) : Pick(1, 12)), ' ');
        for (char &c : text)
            c = char(Pick(0, 7) == 0 ? ' ' : Pick('a', 'z'));
        return text;
    }
    // clang-format off
    std::string Piece() {
        static const char *const kFixed[] = {"\r", "\n", "\n", "\r\n", "\b", "\t", "\x1b" "D", "\x1bM", "\x1b" "E",
                                             "\x1b[?7l", "\x1b[?7h", "\x0b", "\x0c", "\x1b" "7", "\x1b" "8", "\x1b[g", "\x1b[3g"};
        static const int kSgr[] = {0, 1, 4, 5, 7, 22, 24, 25, 27, 30, 31, 32, 33, 34, 35, 36, 37, 39, 40, 41, 42, 43, 44, 45, 46, 47, 49};
        std::string args;
        switch (const int pick = Pick(0, 25)) {
        case 0: case 1: case 2: case 3: return Text();
        case 4: return Text() + "\r\n";
        case 5: case 6:
            for (int n = Pick(0, 4); n > 0; --n)
                args += std::to_string(kSgr[Pick(0, int(std::size(kSgr)) - 1)]) + (n > 1 ? ";" : "");
            return Csi(args + "m");
        case 7: return Csi(Param() + ";" + Param() + (Pick(0, 1) ? "H" : "f"));
        case 8: return At(Pick(1, 25), Pick(70, 80));
        case 9: return Csi(Param() + "ABCD"[Pick(0, 3)]);
        case 10: return Csi((Pick(0, 1) ? "" : std::to_string(Pick(0, 2))) + (Pick(0, 1) ? "J" : "K"));
        case 11: return Csi(Param() + "LMP"[Pick(0, 2)]);
        case 12: return Csi(Pick(0, 3) ? Param() + ";" + Param() + "r" : "r");
        default: return kFixed[pick - 13 + Pick(0, 4)];
        }
    }
    // clang-format on

    std::mt19937 rng_;
};

TEST(Differential, NamedCasesMatchLibvterm) {
    for (const ScreenCase &c : ScreenCases())
        for (const Start &start : kStarts)
            EXPECT_EQ(OurScreen(c.bytes, start), TheirScreen(c.bytes))
                << c.name << " (window at " << start.windowTop << " of " << start.bufferRows
                << " rows, mode " << start.mode << ")";
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
        const std::string bytes = streams.Next();
        const Start &start = kStarts[size_t(i) % std::size(kStarts)];
        std::vector<size_t> chunks(4);
        for (size_t &chunk : chunks)
            chunk = std::uniform_int_distribution<size_t>(1, 50)(sizes);
        const std::string ours = OurScreen(bytes, start, chunks), theirs = TheirScreen(bytes);
        EXPECT_EQ(ours, theirs) << "stream " << i << " (window at " << start.windowTop << ", mode "
                                << start.mode << "): " << testing::PrintToString(bytes);
        if (ours != theirs && ++failures == 5)
            break;
    }
}

} // namespace
