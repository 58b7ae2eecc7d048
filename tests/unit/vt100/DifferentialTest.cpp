// The emulator over the POSIX screen model beside libvterm, fed the same
// bytes: every cell's character and the colours the console can show
// (reverse video included), and the cursor, must agree. libvterm gets ESC [ 20 h
// first, so that LF starts its line at column 1 as ours does. One departure of
// libvterm from the VT100 is bridged on its side: its cursor up and down do
// not stop at the scrolling margins, so a move that a VT100 stops there is
// handed to it as the absolute move to that row.
//
// Named cases (ScreenCases.cpp) and seeded random streams over the sequences
// the emulator understands, fed to ours in random chunks; the first stream
// that differs is printed. VT100_DIFF_SECONDS and VT100_DIFF_SEED run
// random streams for that long as well (scripts/fuzz.sh).
//
// Then what the comparison cannot see: the buffer below the window, no
// console at all, the console's own colour words and glyphs, and what the
// model draws onto a terminal. (Wide mode, the model's bounds and the buffer
// above the window are compared with the real console on Windows.)
#include "CONSOLE.h"
#include "CONSOLEState.h"
#include "ScreenCases.h"
#include "VT100.h"

#include <platform/Console.h>

#include <gtest/gtest.h>
#include <vterm.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <regex>
#include <sys/mman.h>
#include <unistd.h>

namespace {

namespace con = plat::con;

constexpr int kColumns = 80, kRows = 25;
const con::Handle h = con::GetStdOutput();

// A cell as both sides show it: its character (line graphics as the low
// byte of their Unicode value, with the top bit set), then its background and
// foreground as ANSI numbers 0..15; a blank has no foreground.
std::string Cell(unsigned c, int back, int fore) {
    static const char kHex[] = "0123456789abcdef";
    return {char(c < 128 ? c : 0x80 | (c & 0x7F)), kHex[back & 15],
            c == ' ' ? '.' : kHex[fore & 15]};
}

// One line per row: the characters, then the colours; then the cursor.
template <class At> std::string Snapshot(At at, int y, int x) {
    std::string text;
    for (int row = 0; row < kRows; ++row) {
        std::string chars, colours;
        for (int column = 0; column < kColumns; ++column) {
            const std::string cell = at(row, column);
            chars += cell[0];
            colours += cell.substr(1);
        }
        text += chars + " " + colours + "\n";
    }
    return text + "cursor " + std::to_string(y + 1) + "," + std::to_string(x + 1);
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
    write("\033[20h\0337");
    VTermPos pos{};
    int top = 0, bottom = kRows - 1;
    // Parameters past their sixth digit are saturated alike on both sides.
    static const std::regex kMove("\x1b\\[(\\d{0,6})\\d*(;(\\d{0,6})\\d*)?([ABr])");
    auto arg = [](const std::ssub_match &m) { return m.length() ? std::stoi(m.str()) : -1; };
    auto from = bytes.cbegin();
    for (std::sregex_iterator m(bytes.begin(), bytes.end(), kMove), end; m != end; ++m) {
        write(std::string(from, (*m)[0].first));
        from = (*m)[0].second;
        const int first = arg((*m)[1]), second = arg((*m)[3]), count = std::max(first, 1);
        vterm_state_get_cursorpos(state, &pos);
        if (*(*m)[4].first == 'r') {
            const int b = second == -1 ? kRows : std::min(second, kRows), t = std::max(first, 1);
            top = b < t ? 0 : t - 1;
            bottom = b < t ? kRows - 1 : b - 1;
            write((*m)[0].str());
            continue;
        }
        const int row = pos.row + (*(*m)[4].first == 'A' ? -count : count);
        write(At(std::clamp(row, pos.row >= top ? top : 0, pos.row <= bottom ? bottom : kRows - 1) +
                     1,
                 pos.col + 1));
    }
    write(std::string(from, bytes.cend()));
    vterm_state_get_cursorpos(state, &pos);
    auto look = [screen](int row, int column) {
        VTermScreenCell c{};
        vterm_screen_get_cell(screen, VTermPos{row, column}, &c);
        auto index = [](const VTermColor &colour, int byDefault) {
            if (VTERM_COLOR_IS_DEFAULT_FG(&colour) || VTERM_COLOR_IS_DEFAULT_BG(&colour))
                return byDefault;
            return VTERM_COLOR_IS_INDEXED(&colour) ? int(colour.indexed.idx) : -1;
        };
        int back = index(c.bg, 0),
            fore = index(c.fg, 7) + (c.attrs.bold && index(c.fg, 7) < 8 ? 8 : 0);
        if (c.attrs.reverse)
            std::swap(fore, back);
        return Cell(c.chars[0] ? c.chars[0] : ' ', back, fore);
    };
    const std::string text = Snapshot(look, pos.row, pos.col);
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

void Begin(const Start &start = {300, 0, 3}) {
    con::SetRenderTarget(-1);
    con::model::Reset(kColumns, kRows, start.bufferRows);
    con::SetCursorPosition(h, {0, int16_t(start.windowTop + kRows - 1)});
    con::SetCursorPosition(h, {0, int16_t(start.windowTop)});
    con::SetMode(h, start.mode);
    vtInitVT100();
}
const auto Feed = [](const std::string &bytes) {
    vtProcessedTextOut(bytes.data(), int(bytes.size()));
};

// Our screen after the bytes, fed in chunks of the given sizes (cycled).
std::string OurScreen(const std::string &bytes, const Start &start,
                      const std::vector<size_t> &chunks) {
    Begin(start);
    for (size_t pos = 0, i = 0; pos < bytes.size(); pos += chunks[i++ % chunks.size()])
        vtProcessedTextOut(bytes.data() + pos,
                           int(std::min(chunks[i % chunks.size()], bytes.size() - pos)));
    con::ScreenBufferInfo info{};
    con::GetScreenBufferInfo(h, &info);
    const int top = info.srWindow.Top;
    auto look = [top](int row, int column) {
        static const char kGraphics[] = "\xDA\xC4\xBF\xB3\xC0\xD9\xC3\xB4\xC1\xC2\xC5";
        static const unsigned kUnicode[] = {0x250C, 0x2500, 0x2510, 0x2502, 0x2514, 0x2518,
                                            0x251C, 0x2524, 0x2534, 0x252C, 0x253C};
        const con::Cell cell = con::model::At(column, top + row);
        const char *graphic = cell.Char ? std::strchr(kGraphics, cell.Char) : nullptr;
        auto ansi = [](int n) { return (n & 4 ? 1 : 0) | (n & 2) | (n & 1 ? 4 : 0) | (n & 8); };
        return Cell(graphic ? kUnicode[graphic - kGraphics] : static_cast<unsigned char>(cell.Char),
                    ansi((cell.Attributes >> 4) & 0x0F), ansi(cell.Attributes & 0x0F));
    };
    return Snapshot(look, info.dwCursorPosition.Y - top, info.dwCursorPosition.X);
}

// Pieces of the random streams over the sequences the emulator understands:
// '$' stands for a run of text, '#' for a parameter (left out, 0, small,
// around the screen's size or huge), '%' for a list of renditions.
const char *const kPieces[] = {
    "$",         "$",       "$",       "$",       "$\r\n",     "\033[%m", "\033[%m", "\033[#;#H",
    "\033[#;#f", "\033[#A", "\033[#B", "\033[#C", "\033[#D",   "\033[J",  "\033[#J", "\033[K",
    "\033[#K",   "\033[#L", "\033[#M", "\033[#P", "\033[#;#r", "\033[r",  "\r",      "\n",
    "\n",        "\r\n",    "\b",      "\t",      "\033D",     "\033M",   "\033E",   "\033[?7l",
    "\033[?7h",  "\v",      "\f",      "\0337",   "\0338",     "\033[g",  "\033[3g"};

std::string RandomStream(std::mt19937 &rng) {
    static const int kRanges[][2] = {{0, 0}, {20, 30}, {76, 85}, {999, 999}, {1, 12}, {1, 12}};
    static const int kSgr[] = {0,  1,  4,  5,  7,  22, 24, 25, 27, 30, 31, 32, 33, 34,
                               35, 36, 37, 39, 40, 41, 42, 43, 44, 45, 46, 47, 49};
    auto pick = [&rng](int low, int high) { return std::uniform_int_distribution(low, high)(rng); };
    std::string bytes;
    for (int n = pick(1, 60); n > 0; --n)
        for (const char *p = kPieces[pick(0, int(std::size(kPieces)) - 1)]; *p; ++p) {
            const int kind = pick(0, int(std::size(kRanges)));
            if (*p == '#' && kind > 0)
                bytes += std::to_string(pick(kRanges[kind - 1][0], kRanges[kind - 1][1]));
            for (int k = *p == '$' ? (pick(0, 3) ? pick(1, 12) : pick(70, 90)) : 0; k > 0; --k)
                bytes += char(pick(0, 7) ? pick('a', 'z') : ' ');
            for (int k = *p == '%' ? pick(0, 4) : 0; k > 0; --k)
                bytes +=
                    std::to_string(kSgr[pick(0, int(std::size(kSgr)) - 1)]) + (k > 1 ? ";" : "");
            if (!std::strchr("$#%", *p))
                bytes += *p;
        }
    return bytes;
}

// The named cases under every start, then the random streams; all fed in
// random chunks.
TEST(Differential, NamedCasesAndRandomStreamsMatchLibvterm) {
    const char *seconds = std::getenv("VT100_DIFF_SECONDS"), *seed = std::getenv("VT100_DIFF_SEED");
    std::mt19937 streams(seed ? unsigned(std::strtoul(seed, nullptr, 10)) : 20261207u), sizes(7);
    const auto now = [] { return std::chrono::steady_clock::now(); };
    const auto until = now() + std::chrono::seconds(seconds ? std::atoi(seconds) : 0);
    const size_t named = ScreenCases().size() * 4;
    for (size_t i = 0; i < named + 2000 || (seconds && now() < until); ++i) {
        const ScreenCase c =
            i < named ? ScreenCases()[i / 4] : ScreenCase{"", RandomStream(streams)};
        const Start &start = kStarts[i % 4];
        std::vector<size_t> chunks(4);
        for (size_t &chunk : chunks)
            chunk = std::uniform_int_distribution<size_t>(1, 50)(sizes);
        const std::string ours = OurScreen(c.bytes, start, chunks), theirs = TheirScreen(c.bytes);
        ASSERT_EQ(ours, theirs) << c.name << " " << i << " (window at " << start.windowTop << " of "
                                << start.bufferRows << ", mode " << start.mode
                                << "): " << testing::PrintToString(c.bytes);
    }
}

// Buffer row y without trailing blanks.
std::string Row(int y) {
    std::string text = con::model::RowText(y);
    return text.erase(text.find_last_not_of(' ') + 1);
}

// An erase stops at the window's last row. Output that is no console (on
// Windows, a redirected standard output): every operation gives up without
// touching anything, and the interpreter with it.
TEST(Console, TheWindowIsTheScreenAndNoConsoleIsLeftAlone) {
    Begin();
    uint32_t n = 0;
    con::FillOutputCharacter(h, '#', kColumns * 300, {0, 0}, &n);
    Feed("\033[2J");
    hConOut = nullptr;
    Feed("\033[H\033[L\033[M\033[P\033D\033M\0337\0338\033[3;4r\033[g\t\033[?3h\033[?7l" +
         std::string(90, 'x'));
    hConOut = h;
    EXPECT_EQ(Row(0) + "|" + Row(24) + "|" + Row(25), "||" + std::string(kColumns, '#'));
    // Wide mode widens the buffer, not the window, and narrows it back.
    Begin();
    Feed("\033[?3h");
    con::ScreenBufferInfo wide{}, back{};
    con::GetScreenBufferInfo(h, &wide);
    Feed("\033[1;120Hx");
    EXPECT_EQ(Row(0), std::string(119, ' ') + "x");
    Feed("\033[?3l");
    con::GetScreenBufferInfo(h, &back);
    EXPECT_EQ(std::vector<int>({wide.dwSize.X, wide.srWindow.Right, back.dwSize.X, back.dwSize.Y}),
              std::vector<int>({132, kColumns - 1, kColumns, 300}));
}

// Line graphics become the code page's box drawing without reading past or
// writing into the caller's text (here read-only, its last byte the last of
// its page); colours start from the console's own and higher console bits are
// never touched.
TEST(Console, GlyphsBellAndColoursOnTheConsole) {
    Begin();
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    char *pages = static_cast<char *>(
        mmap(nullptr, page * 2, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    std::memcpy(pages + page - 3, "mjq", 3);
    ASSERT_EQ(mprotect(pages, page, PROT_READ) + mprotect(pages + page, page, PROT_NONE), 0);
    Feed("\033(0lqk\017x\016");
    beRawTextOut(pages + page - 3, 3);
    Feed("\033(Bq\a\a");
    munmap(pages, page * 2);
    EXPECT_EQ(Row(0) + std::to_string(con::model::BeepCount()), "\xda\xc4\xbfx\xc0\xd9\xc4q2");
    con::SetTextAttribute(h, 0x801E); // bright yellow on blue, and a high bit
    vtInitVT100();
    Feed("\r\033[7;31;42mA\033[mB\033[35mC"); // bright red on green reversed, the start's, magenta
    auto word = [](int x) { return int(con::model::At(x, 0).Attributes); };
    EXPECT_EQ((std::vector{word(0), word(1), word(2)}), (std::vector{0x80C2, 0x801E, 0x801D}));
}

// Only what changed reaches the terminal: rows that scrolled are scrolled
// there too, and only the rows that came in are drawn.
TEST(Console, ModelDrawsOnlyWhatChanged) {
    Begin();
    int fds[2];
    ASSERT_EQ(pipe(fds) + fcntl(fds[0], F_SETFL, O_NONBLOCK), 0);
    con::SetRenderTarget(fds[1]);
    // clang-format off
    const std::array<std::string, 4> kSteps[] = { // bytes, drawn, drawn too, not drawn
        {"\033[1;31;44mred\033[m", "\033[1;1H\033[0;91;44mred\033[0m\033[K", "\033[25;1H", "\033[26;1H"},
        {"\033[10;1Hx", "\033[10;1Hx", "\033[10;2H\033[?25h", "\033[1;1H"},
        {"\033[25;1Hone\r\ntwo\r\nthree", "\033[1;25r\033[25;1H\033D\033D", "\033[23;1Hone", "\033[10;1H"},
        {"\033[5;20r\033[20;1H\n", "\033[5;20r\033[20;1H\033D\033[r", "", "\033[21;1H"},
        {"\033[Hy", "\033[1;1Hy", "\033[1;2H\033[?25h", "\033[10;1H"}, // the cursor on the top row
        {"", "", "", "\033"},
    };
    // clang-format on
    for (const auto &[bytes, drawn, drawnToo, notDrawn] : kSteps) {
        Feed(bytes);
        std::string out(65536, '\0');
        out.resize(size_t(std::max<ssize_t>(read(fds[0], out.data(), out.size()), 0)));
        auto has = [&out](const std::string &piece) { return out.find(piece) != out.npos; };
        EXPECT_TRUE(has(drawn) && has(drawnToo) && !has(notDrawn)) << out;
    }
    con::SetRenderTarget(-1);
    close(fds[0]), close(fds[1]);
}

} // namespace
