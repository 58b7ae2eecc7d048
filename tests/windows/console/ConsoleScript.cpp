// Runs scripted byte sequences through the VT100 emulator and dumps the
// console after each: every cell's byte and attribute, the cursor, the
// window, the buffer size, the attribute and the output mode. Built natively
// it runs over the POSIX screen model, built for Windows over the real
// console; scripts/wine/run-windows-tests.sh compares the two.
//
// Usage: console_script <output folder>; writes <folder>/<script>.txt each.
#include "ScreenCases.h"
#include "VT100.h"

#include <platform/Console.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace con = plat::con;

namespace {

constexpr int kWidth = 80, kWindowRows = 25, kBufferRows = 50;

struct Script {
    std::string name, bytes;
    size_t chunk = 300; // bytes per vtProcessedTextOut call
};

std::string Lines(int n) { // "line <i>" each ended by LF
    std::string text;
    for (int i = 1; i <= n; ++i)
        text += "line " + std::to_string(i) + "\n";
    return text;
}

// A deterministic mixture of text, controls and sequences.
std::string Mixture(unsigned seed, int pieces) {
    // clang-format off
    static const char *const kPieces[] = {
        "\n", "\r", "\t", "\b", "\x0b", "\x1b[K", "\x1b[1K", "\x1b[2K", "\x1b[J", "\x1b[1J",
        "\x1b[A", "\x1b[3B", "\x1b[7C", "\x1b[2D", "\x1b[L", "\x1b[M", "\x1b[2P", "\x1b[1;31m",
        "\x1b[44m", "\x1b[7m", "\x1b[m", "\x1b" "7", "\x1b" "8", "\x1bM", "\x1b" "E",
        "\x1b(0lqk\x1b(B", "\x1b[5;20r", "\x1b[r", "\x1b[?7l", "\x1b[?7h", "\x1b[g", "\x01",
        "\x1b[24;70H", "\x1b[25;80H", "\x1bH", "\x1b[?3h", "\x1b[?3l",
        "\x1b[1;7;36;41m", "\x1b[3g", "\x1b[P", "\x1b[40;1H", "\x1b[99B\n"};
    // clang-format on
    std::string text;
    auto next = [state = seed]() mutable {
        return ((state = state * 1103515245u + 12345u) >> 16) & 0x7FFF;
    };
    for (int i = 0; i < pieces; ++i) {
        unsigned pick = next() % (std::size(kPieces) + 6);
        text += pick < std::size(kPieces) ? std::string(kPieces[pick])
                                          : Run(int(next() % 90), char('a' + next() % 26));
    }
    return text;
}

// Each starts on a blank 80 x 25 window at the top of an 80 x 50 buffer,
// attribute 0x07, cursor home. They aim where the emulator leans on the
// console's own behaviour: the right edge, the buffer's last row, the window
// following the cursor, fills, rectangle moves, mode and size changes.
std::vector<Script> Scripts() {
    std::vector<Script> s = {
        {"cursor_window_moved", At(3, 5) + "\0337" + Lines(60) + "\0338R" + At(25, 80) + "e"},
        {"mode_132_window_right", Numbered() + Csi("?3h") + At(5, 125) + "right\n" + At(25, 110) +
                                      "low\n" + Csi("K") + At(6, 120) + Csi("L") + Csi("2P") +
                                      Csi("1K") + Run(30)},
    };
    for (const ScreenCase &c : ScreenCases()) // the rules, compared with libvterm natively
        s.push_back({std::string("rule_") + c.name, c.bytes});
    // Mixtures from the top, the buffer's last row and a window moved down,
    // 80 and 132 wide, fed 300 bytes or one byte at a time.
    for (unsigned seed = 0; seed < 12; ++seed)
        s.push_back({"mixture_" + std::to_string(seed),
                     (seed / 2 % 3 == 0 ? "" : Lines(seed / 2 % 3 == 1 ? 49 : 60)) +
                         (seed / 6 ? Csi("?3h") : "") + Mixture(seed + 1, 150),
                     seed % 2 ? 1u : 300u});
    return s;
}

// A known console: 80 x 50 buffer, 80 x 25 window at the top, attribute 0x07,
// processed output with end-of-line wrap, blank, cursor home.
void PrepareConsole() {
    con::Handle h = con::GetStdOutput();
#ifdef _WIN32
    ::SetConsoleOutputCP(1251);
    con::SetWindowInfo(h, true, con::Rect{0, 0, 0, 0}); // shrunk first, so any buffer size fits
    con::SetScreenBufferSize(h, con::Coord{kWidth, kBufferRows});
    con::SetWindowInfo(h, true, con::Rect{0, 0, kWidth - 1, kWindowRows - 1});
#else
    con::SetRenderTarget(-1);
    con::model::Reset(kWidth, kWindowRows, kBufferRows);
#endif
    con::SetMode(h, con::kProcessedOutput | con::kWrapAtEolOutput);
    con::SetTextAttribute(h, 0x07);
    con::FillOutputCharacter(h, ' ', kWidth * kBufferRows, con::Coord{0, 0}, nullptr);
    con::FillOutputAttribute(h, 0x07, kWidth * kBufferRows, con::Coord{0, 0}, nullptr);
    con::SetCursorPosition(h, con::Coord{0, 0});
}

con::Cell CellAt(int x, int y) {
#ifdef _WIN32
    // The cell as Unicode, back to the code page 437 byte of the model.
    CHAR_INFO cell{};
    SMALL_RECT region{SHORT(x), SHORT(y), SHORT(x), SHORT(y)};
    if (!::ReadConsoleOutputW(::GetStdHandle(STD_OUTPUT_HANDLE), &cell, COORD{1, 1}, COORD{0, 0},
                              &region))
        return con::Cell{'!', 0xFFFF};
    char byte = '?';
    ::WideCharToMultiByte(437, WC_NO_BEST_FIT_CHARS, &cell.Char.UnicodeChar, 1, &byte, 1, nullptr,
                          nullptr);
    return con::Cell{byte, cell.Attributes};
#else
    return con::model::At(x, y);
#endif
}

// Each row as its bytes (unprintable ones as \xNN) and its cells' attributes.
void Dump(std::FILE *out) {
    con::Handle h = con::GetStdOutput();
    con::ScreenBufferInfo info{};
    con::GetScreenBufferInfo(h, &info);
    uint32_t mode = 0;
    con::GetMode(h, &mode);
    std::fprintf(out, "size %d %d window %d %d %d %d cursor %d %d attribute %02x mode %u\n",
                 info.dwSize.X, info.dwSize.Y, info.srWindow.Left, info.srWindow.Top,
                 info.srWindow.Right, info.srWindow.Bottom, info.dwCursorPosition.X,
                 info.dwCursorPosition.Y, unsigned(info.wAttributes),
                 unsigned(mode & (con::kProcessedOutput | con::kWrapAtEolOutput)));
    for (int y = 0; y < info.dwSize.Y; ++y) {
        std::vector<con::Cell> row;
        for (int x = 0; x < info.dwSize.X; ++x)
            row.push_back(CellAt(x, y));
        std::fprintf(out, "%02d ", y);
        for (con::Cell cell : row) {
            unsigned c = static_cast<unsigned char>(cell.Char);
            std::fprintf(out, c < 0x20 || c >= 0x7F || c == '\\' ? "\\x%02X" : "%c", c);
        }
        std::fprintf(out, "\n%02d ", y);
        for (con::Cell cell : row)
            std::fprintf(out, "%02x", unsigned(cell.Attributes));
        std::fputc('\n', out);
    }
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2)
        return std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]), 2;
    for (const Script &script : Scripts()) {
        std::FILE *out =
            std::fopen((std::string(argv[1]) + "/" + script.name + ".txt").c_str(), "wb");
        if (!out)
            return 1;
        PrepareConsole(); // a console that refused the size shows in the dump
        vtInitVT100();
        for (size_t pos = 0; pos < script.bytes.size(); pos += script.chunk)
            vtProcessedTextOut(script.bytes.data() + pos,
                               int(std::min(script.chunk, script.bytes.size() - pos)));
        Dump(out);
        std::fclose(out);
    }
}
