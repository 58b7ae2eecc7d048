// The emulator over the POSIX screen model beside libvterm, fed the same
// bytes: every cell's character and the colours the console can show
// (reverse video included), and the cursor, must agree. libvterm gets ESC [ 20 h
// first, so that LF starts its line at column 1 as ours does. One departure of
// libvterm from the VT100 is bridged on its side: its cursor up and down do
// not stop at the scrolling margins, so a move that a VT100 stops there is
// handed to it as the absolute move to that row.
//
// Named cases (ScreenCases.cpp) and seeded random streams over the sequences
// the emulator understands; a stream that differs is shrunk and printed.
// VT100_DIFF_SECONDS and VT100_DIFF_SEED run random streams for that long
// instead (scripts/fuzz.sh).
#include "ScreenCases.h"

#include "VT100.h"

#include <platform/Console.h>

#include <gtest/gtest.h>
#include <vterm.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

namespace con = plat::con;

constexpr int kColumns = 80;
constexpr int kRows = 25;

// The code page 437 line-graphics bytes as libvterm's characters.
unsigned Unicode(unsigned char c) {
    static const struct {
        unsigned char byte;
        unsigned code;
    } kGraphics[] = {{0xDA, 0x250C}, {0xC4, 0x2500}, {0xBF, 0x2510}, {0xB3, 0x2502},
                     {0xC0, 0x2514}, {0xD9, 0x2518}, {0xC3, 0x251C}, {0xB4, 0x2524},
                     {0xC1, 0x2534}, {0xC2, 0x252C}, {0xC5, 0x253C}};
    for (const auto &g : kGraphics)
        if (g.byte == c)
            return g.code;
    return c;
}

// Colours as ANSI numbers 0..15: foreground, background.
struct Colours {
    int fore, back;
};

Colours FromConsole(uint16_t attribute) {
    auto ansi = [](int nibble) {
        return ((nibble & 4) ? 1 : 0) | (nibble & 2) | ((nibble & 1) ? 4 : 0) | (nibble & 8);
    };
    return {ansi(attribute & 0x0F), ansi((attribute >> 4) & 0x0F)};
}

class Vterm {
public:
    Vterm() : vt_(vterm_new(kRows, kColumns)) {
        vterm_set_utf8(vt_, 0);
        state_ = vterm_obtain_state(vt_);
        screen_ = vterm_obtain_screen(vt_);
        vterm_screen_reset(screen_, 1);
        // LF starts the line at column 1; a restore without a save finds the
        // start, as on a VT100 (libvterm's own first saved rendition is black
        // on black).
        Write("\x1b[20h\x1b"
              "7");
    }
    ~Vterm() { vterm_free(vt_); }
    Vterm(const Vterm &) = delete;
    Vterm &operator=(const Vterm &) = delete;

    // Feeds bytes, bridging cursor up and down at the margins.
    void Feed(const std::string &bytes) {
        size_t done = 0;
        for (size_t at = bytes.find("\x1b["); at != std::string::npos;
             at = bytes.find("\x1b[", at + 1)) {
            const size_t end = bytes.find_first_not_of("0123456789;", at + 2);
            if (end == std::string::npos || !std::strchr("ABr", bytes[end]))
                continue;
            Write(bytes.substr(done, at - done));
            done = end + 1;
            Move(bytes[end], bytes.substr(at + 2, end - at - 2), bytes.substr(at, done - at));
        }
        Write(bytes.substr(done));
    }

    VTermPos Cursor() const {
        VTermPos pos{};
        vterm_state_get_cursorpos(state_, &pos);
        return pos;
    }
    unsigned Char(int row, int column) const {
        VTermScreenCell cell{};
        vterm_screen_get_cell(screen_, VTermPos{row, column}, &cell);
        return cell.chars[0] ? cell.chars[0] : ' ';
    }
    Colours ColoursAt(int row, int column) const {
        VTermScreenCell cell{};
        vterm_screen_get_cell(screen_, VTermPos{row, column}, &cell);
        Colours c{Index(cell.fg, 7), Index(cell.bg, 0)};
        if (cell.attrs.bold && c.fore < 8)
            c.fore += 8;
        if (cell.attrs.reverse)
            std::swap(c.fore, c.back);
        return c;
    }

private:
    void Write(const std::string &bytes) {
        if (!bytes.empty())
            vterm_input_write(vt_, bytes.data(), bytes.size());
    }
    // Default colours are the console's grey on black.
    static int Index(const VTermColor &colour, int byDefault) {
        if (VTERM_COLOR_IS_DEFAULT_FG(&colour) || VTERM_COLOR_IS_DEFAULT_BG(&colour))
            return byDefault;
        return VTERM_COLOR_IS_INDEXED(&colour) ? colour.indexed.idx : -1;
    }
    static int Arg(const std::string &args, size_t field) {
        size_t start = 0;
        for (size_t i = 0; i < field; ++i) {
            start = args.find(';', start);
            if (start == std::string::npos)
                return -1;
            ++start;
        }
        const size_t end = args.find(';', start);
        const std::string text = args.substr(start, end - start);
        return text.empty() ? -1 : int(std::min(std::stol(text.substr(0, 9)), 99999L));
    }
    // Margins as a VT100 keeps them (0-based rows), and cursor up and down
    // stopping there.
    void Move(char final, const std::string &args, const std::string &bytes) {
        if (final == 'r') {
            const int top = std::max(Arg(args, 0), 1);
            const int b = Arg(args, 1);
            const int bottom = b == -1 ? kRows : std::min(b, kRows);
            top_ = bottom < top ? 0 : top - 1;
            bottom_ = bottom < top ? kRows - 1 : bottom - 1;
            Write(bytes);
            return;
        }
        const int count = std::max(Arg(args, 0), 1);
        const VTermPos pos = Cursor();
        int row = 0;
        if (final == 'A')
            row = std::max(pos.row - count, pos.row >= top_ ? top_ : 0);
        else
            row = std::min(pos.row + count, pos.row <= bottom_ ? bottom_ : kRows - 1);
        Write("\x1b[" + std::to_string(row + 1) + ";" + std::to_string(pos.col + 1) + "H");
    }

    VTerm *vt_;
    VTermState *state_;
    VTermScreen *screen_;
    int top_ = 0, bottom_ = kRows - 1;
};

// Feeds ours in chunks of the given sizes (cycled), on a buffer of
// bufferRows, and returns the first difference from libvterm, or "".
std::string Compare(const std::string &bytes, int bufferRows, const std::vector<size_t> &chunks) {
    con::SetRenderTarget(-1);
    con::model::Reset(kColumns, kRows, bufferRows);
    vtInitVT100();
    for (size_t pos = 0, i = 0; pos < bytes.size(); ++i) {
        const size_t n = std::min(chunks[i % chunks.size()], bytes.size() - pos);
        vtProcessedTextOut(bytes.data() + pos, int(n));
        pos += n;
    }
    Vterm vterm;
    vterm.Feed(bytes);

    con::ScreenBufferInfo info{};
    con::GetScreenBufferInfo(con::GetStdOutput(), &info);
    const int top = info.srWindow.Top;
    char text[160];
    for (int row = 0; row < kRows; ++row) {
        for (int column = 0; column < kColumns; ++column) {
            const con::Cell cell = con::model::At(column, top + row);
            const unsigned ours = Unicode(static_cast<unsigned char>(cell.Char));
            const unsigned theirs = vterm.Char(row, column);
            const Colours a = FromConsole(cell.Attributes), b = vterm.ColoursAt(row, column);
            // A blank shows its background only.
            const bool sameColours = a.back == b.back && (ours == ' ' || a.fore == b.fore);
            if (ours != theirs || !sameColours) {
                std::snprintf(text, sizeof text,
                              "row %d column %d: ours '%c' %d/%d, libvterm '%c' %d/%d", row + 1,
                              column + 1, ours < 128 ? int(ours) : '?', a.fore, a.back,
                              theirs < 128 ? int(theirs) : '?', b.fore, b.back);
                std::string rows = text;
                rows += "\n  ours:     " + con::model::RowText(top + row) + "\n  libvterm: ";
                for (int x = 0; x < kColumns; ++x)
                    rows += char(vterm.Char(row, x) < 128 ? vterm.Char(row, x) : '?');
                return rows;
            }
        }
    }
    const VTermPos pos = vterm.Cursor();
    const int x = info.dwCursorPosition.X, y = info.dwCursorPosition.Y - top;
    if (x != pos.col || y != pos.row) {
        std::snprintf(text, sizeof text, "cursor: ours row %d column %d, libvterm row %d column %d",
                      y + 1, x + 1, pos.row + 1, pos.col + 1);
        return text;
    }
    return "";
}

std::string Escaped(const std::string &bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        char hex[8];
        if (c == 0x1B)
            out += "\\e";
        else if (c < 0x20 || c >= 0x7F) {
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += char(c);
        }
    }
    return out;
}

// Random streams over the sequences the emulator understands, as pieces.
class Streams {
public:
    explicit Streams(unsigned seed) : rng_(seed) {}

    std::vector<std::string> Next() {
        std::vector<std::string> pieces;
        for (int n = Pick(1, 60); n > 0; --n)
            pieces.push_back(Piece());
        return pieces;
    }

private:
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    // A parameter: left out, 0, small, around the screen's size, or huge.
    std::string Param() {
        switch (Pick(0, 9)) {
        case 0:
            return "";
        case 1:
            return "0";
        case 2:
            return std::to_string(Pick(20, 30));
        case 3:
            return std::to_string(Pick(76, 85));
        case 4:
            return "999";
        default:
            return std::to_string(Pick(1, 12));
        }
    }
    std::string Csi(const std::string &args, char final) { return "\x1b[" + args + final; }
    std::string Text() {
        std::string text;
        const int n = Pick(0, 3) == 0 ? Pick(70, 90) : Pick(1, 12);
        for (int i = 0; i < n; ++i)
            text += char(Pick(0, 7) == 0 ? ' ' : Pick('a', 'z'));
        return text;
    }
    std::string Sgr() {
        static const int kValues[] = {0,  1,  4,  5,  7,  22, 24, 25, 27, 30, 31, 32, 33, 34,
                                      35, 36, 37, 39, 40, 41, 42, 43, 44, 45, 46, 47, 49};
        std::string args;
        for (int n = Pick(0, 4); n > 0; --n) {
            args += std::to_string(kValues[Pick(0, int(std::size(kValues)) - 1)]);
            if (n > 1)
                args += ';';
        }
        return Csi(args, 'm');
    }
    // One of: text, a control, or a sequence, with the fixed ones picked from
    // a list split at '|' (IND, RI, NEL, wrap off and on, VT, FF, save,
    // restore, tab clears).
    std::string Piece() {
        static const std::string kFixed = "\r|\n|\n|\r\n|\b|\t|\x1b"
                                          "D|\x1bM|\x1b"
                                          "E|\x1b[?7l|"
                                          "\x1b[?7h|\x0b|\x0c|\x1b"
                                          "7|\x1b"
                                          "8|\x1b[g|\x1b[3g";
        const int pick = Pick(0, 25);
        if (pick < 4)
            return Text();
        if (pick == 4)
            return Text() + "\r\n";
        if (pick < 7)
            return Sgr();
        switch (pick) {
        case 7:
            return Csi(Param() + ";" + Param(), Pick(0, 1) ? 'H' : 'f');
        case 8:
            return Csi(std::to_string(Pick(1, 25)) + ";" + std::to_string(Pick(70, 80)), 'H');
        case 9:
            return Csi(Param(), "ABCD"[Pick(0, 3)]);
        case 10:
            return Csi(Pick(0, 1) ? "" : std::to_string(Pick(0, 2)), Pick(0, 1) ? 'J' : 'K');
        case 11:
            return Csi(Param(), "LMP"[Pick(0, 2)]);
        case 12:
            return Pick(0, 3) ? Csi(Param() + ";" + Param(), 'r') : Csi("", 'r');
        default: {
            size_t at = 0;
            for (int n = Pick(0, 16); n > 0; --n)
                at = kFixed.find('|', at) + 1;
            return kFixed.substr(at, kFixed.find('|', at) - at);
        }
        }
    }

    std::mt19937 rng_;
};

std::string Join(const std::vector<std::string> &pieces) {
    std::string bytes;
    for (const std::string &piece : pieces)
        bytes += piece;
    return bytes;
}

bool Differs(const std::vector<std::string> &pieces, int bufferRows) {
    return !Compare(Join(pieces), bufferRows, {4096}).empty();
}

// Drops pieces, then shortens the remaining text, while the stream differs.
std::vector<std::string> Shrink(std::vector<std::string> pieces, int bufferRows) {
    for (size_t size = pieces.size() / 2; size >= 1; size = size > 1 ? size / 2 : 0) {
        for (size_t at = 0; at + size <= pieces.size();) {
            std::vector<std::string> fewer = pieces;
            fewer.erase(fewer.begin() + std::ptrdiff_t(at),
                        fewer.begin() + std::ptrdiff_t(at + size));
            if (Differs(fewer, bufferRows))
                pieces = fewer;
            else
                at += size;
        }
    }
    for (std::string &piece : pieces) {
        while (piece.size() > 1 && piece[0] >= 'a') {
            const std::string kept = piece;
            piece.erase(piece.size() / 2, (piece.size() + 1) / 2);
            if (!Differs(pieces, bufferRows)) {
                piece = kept;
                break;
            }
        }
    }
    return pieces;
}

TEST(Differential, NamedCasesMatchLibvterm) {
    for (const ScreenCase &c : ScreenCases())
        for (int bufferRows : {kRows, 300})
            EXPECT_EQ(Compare(c.bytes, bufferRows, {4096}), "")
                << c.name << " (buffer of " << bufferRows << " rows)";
}

// Each stream goes to ours in chunks of random sizes: the chunking must not
// show either.
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
        const int bufferRows = i % 3 == 0 ? kRows : 300;
        std::vector<size_t> chunks;
        for (int k = 0; k < 4; ++k)
            chunks.push_back(std::uniform_int_distribution<size_t>(1, 50)(sizes));
        if (Compare(Join(pieces), bufferRows, chunks).empty())
            continue;
        const std::vector<std::string> small = Shrink(pieces, bufferRows);
        const std::string bytes = Join(small);
        ADD_FAILURE() << "stream " << i << " (buffer of " << bufferRows
                      << " rows) differs; shrunk: \"" << Escaped(bytes) << "\"\n  "
                      << Compare(bytes, bufferRows, {4096});
        if (++failures == 5)
            break;
    }
}

} // namespace
