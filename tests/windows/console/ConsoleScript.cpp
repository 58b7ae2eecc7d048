// Runs scripted byte sequences through the VT100 emulator and dumps the
// console after each one: every cell's byte and attribute, the cursor, the
// window, the buffer size, the attribute and the output mode. Built natively
// it runs over the POSIX screen model; built for Windows it runs over the
// real console. scripts/wine-console/run.sh compares the two dumps.
//
// Usage: console_script <output folder> [script name]
// Writes <output folder>/<script>.txt for every script (or the one named).
#include "ConsoleScripts.h"

#include "VT100.h"

#include <platform/Console.h>

#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace con = plat::con;

namespace {

constexpr int kWidth = 80;
constexpr int kWindowRows = 25;
constexpr int kBufferRows = 50;

// A known console: 80 x 50 buffer, 80 x 25 window at the top, attribute 0x07,
// processed output with end-of-line wrap, blank, cursor home.
bool PrepareConsole(std::string *why) {
    con::Handle h = con::GetStdOutput();
#ifdef _WIN32
    // A code page in which the line-graphics bytes of code page 437 are
    // letters: the console must still show them as line graphics.
    ::SetConsoleOutputCP(1251);
    // Shrink the window first so that any buffer size is accepted.
    con::SetWindowInfo(h, true, con::Rect{0, 0, 0, 0});
    if (!con::SetScreenBufferSize(h, con::Coord{kWidth, kBufferRows}))
        *why += "buffer size refused; ";
    if (!con::SetWindowInfo(h, true, con::Rect{0, 0, kWidth - 1, kWindowRows - 1}))
        *why += "window refused; ";
#else
    con::SetRenderTarget(-1);
    con::model::Reset(kWidth, kWindowRows, kBufferRows);
#endif
    con::SetMode(h, con::kProcessedOutput | con::kWrapAtEolOutput);
    con::SetTextAttribute(h, 0x07);
    con::FillOutputCharacter(h, ' ', kWidth * kBufferRows, con::Coord{0, 0}, nullptr);
    con::FillOutputAttribute(h, 0x07, kWidth * kBufferRows, con::Coord{0, 0}, nullptr);
    con::SetCursorPosition(h, con::Coord{0, 0});

    con::ScreenBufferInfo info{};
    if (!con::GetScreenBufferInfo(h, &info)) {
        *why += "no console";
        return false;
    }
    if (info.dwSize.X != kWidth || info.dwSize.Y != kBufferRows || info.srWindow.Left != 0 ||
        info.srWindow.Top != 0 || info.srWindow.Right != kWidth - 1 ||
        info.srWindow.Bottom != kWindowRows - 1) {
        char text[160];
        std::snprintf(text, sizeof text, "console is %dx%d, window %d,%d-%d,%d", info.dwSize.X,
                      info.dwSize.Y, info.srWindow.Left, info.srWindow.Top, info.srWindow.Right,
                      info.srWindow.Bottom);
        *why += text;
        return false;
    }
    return true;
}

// One row of cells from the console.
std::vector<con::Cell> ReadRow(int y, int width) {
    std::vector<con::Cell> row(size_t(width), con::Cell{' ', 0});
#ifdef _WIN32
    // The cells as Unicode, back to the code page 437 bytes of the model.
    std::vector<CHAR_INFO> cells(static_cast<size_t>(width));
    SMALL_RECT region{0, SHORT(y), SHORT(width - 1), SHORT(y)};
    if (::ReadConsoleOutputW(::GetStdHandle(STD_OUTPUT_HANDLE), cells.data(),
                             COORD{SHORT(width), 1}, COORD{0, 0}, &region)) {
        for (int x = 0; x < width; ++x) {
            char byte = '?';
            ::WideCharToMultiByte(437, WC_NO_BEST_FIT_CHARS, &cells[size_t(x)].Char.UnicodeChar, 1,
                                  &byte, 1, nullptr, nullptr);
            row[size_t(x)] = con::Cell{byte, cells[size_t(x)].Attributes};
        }
    } else {
        for (auto &cell : row)
            cell = con::Cell{'!', 0xFFFF};
    }
#else
    for (int x = 0; x < width; ++x)
        row[size_t(x)] = con::model::At(x, y);
#endif
    return row;
}

// The row's bytes, quoted, with anything unprintable as \xNN.
std::string Quote(const std::vector<con::Cell> &row) {
    std::string text = "\"";
    for (const auto &cell : row) {
        unsigned char c = static_cast<unsigned char>(cell.Char);
        if (c < 0x20 || c >= 0x7F || c == '"' || c == '\\') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            text += hex;
        } else {
            text += char(c);
        }
    }
    return text + "\"";
}

// Attributes as runs: "07*80" or "07*10 1c*3 07*67".
std::string Runs(const std::vector<con::Cell> &row) {
    std::string text;
    size_t i = 0;
    while (i < row.size()) {
        size_t j = i;
        while (j < row.size() && row[j].Attributes == row[i].Attributes)
            ++j;
        char run[32];
        std::snprintf(run, sizeof run, "%s%02x*%zu", text.empty() ? "" : " ",
                      unsigned(row[i].Attributes), j - i);
        text += run;
        i = j;
    }
    return text;
}

void Dump(std::FILE *out) {
    con::Handle h = con::GetStdOutput();
    con::ScreenBufferInfo info{};
    con::GetScreenBufferInfo(h, &info);
    uint32_t mode = 0;
    con::GetMode(h, &mode);
    std::fprintf(out, "size %d %d\n", info.dwSize.X, info.dwSize.Y);
    std::fprintf(out, "window %d %d %d %d\n", info.srWindow.Left, info.srWindow.Top,
                 info.srWindow.Right, info.srWindow.Bottom);
    std::fprintf(out, "cursor %d %d\n", info.dwCursorPosition.X, info.dwCursorPosition.Y);
    std::fprintf(out, "attribute %02x\n", unsigned(info.wAttributes));
    std::fprintf(out, "mode %u\n",
                 unsigned(mode & (con::kProcessedOutput | con::kWrapAtEolOutput)));
    for (int y = 0; y < info.dwSize.Y; ++y) {
        auto row = ReadRow(y, info.dwSize.X);
        std::fprintf(out, "%02d %s\n", y, Quote(row).c_str());
        std::fprintf(out, "%02d %s\n", y, Runs(row).c_str());
    }
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s <output folder> [script]\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const char *only = argc == 3 ? argv[2] : nullptr;
    int failures = 0;
    for (const Script &script : Scripts()) {
        if (only && script.name != only)
            continue;
        const std::string path = folder + "/" + script.name + ".txt";
        std::FILE *out = std::fopen(path.c_str(), "wb");
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 2;
        }
        std::string why;
        if (!PrepareConsole(&why)) {
            std::fprintf(out, "setup failed: %s\n", why.c_str());
            std::fclose(out);
            ++failures;
            continue;
        }
        vtInitVT100();
        for (const std::string &chunk : script.chunks)
            vtProcessedTextOut(chunk.data(), int(chunk.size()));
        Dump(out);
        std::fclose(out);
    }
    return failures ? 1 : 0;
}
