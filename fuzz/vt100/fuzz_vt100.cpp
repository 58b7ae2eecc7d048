// Fuzzes the VT100 emulator with modem output over the screen model. The
// first two bytes choose the screen size and the chunking; the rest is the
// output. Checks: no memory fault, the cursor always on the window, and the
// same screen whether the output comes in one piece or in chunks.
#include "VT100.h"

#include <platform/Console.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

namespace con = plat::con;

void Start(int columns, int rows) {
    con::model::Reset(columns, rows, rows + 7);
    vtInitVT100();
}

void CheckCursor() {
    con::ScreenBufferInfo info{};
    con::GetScreenBufferInfo(con::GetStdOutput(), &info);
    const con::Coord c = info.dwCursorPosition;
    const con::Rect w = info.srWindow;
    if (c.X < 0 || c.Y < w.Top || c.X >= info.dwSize.X || c.Y > w.Bottom || w.Left < 0 ||
        w.Top < 0 || w.Right >= info.dwSize.X || w.Bottom >= info.dwSize.Y)
        std::abort();
}

std::string Snapshot() {
    con::ScreenBufferInfo info{};
    con::GetScreenBufferInfo(con::GetStdOutput(), &info);
    std::string shot;
    for (int y = 0; y < info.dwSize.Y; ++y)
        for (int x = 0; x < info.dwSize.X; ++x) {
            con::Cell cell = con::model::At(x, y);
            shot += cell.Char;
            shot += static_cast<char>(cell.Attributes);
        }
    shot += std::to_string(info.dwCursorPosition.X) + "," +
            std::to_string(info.dwCursorPosition.Y) + "," + std::to_string(info.srWindow.Top) +
            "," + std::to_string(info.srWindow.Left) + "," + std::to_string(info.dwSize.X) + "," +
            std::to_string(info.wAttributes);
    return shot;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    con::SetRenderTarget(-1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2)
        return 0;
    const int columns = 8 + data[0] % 80;
    const int rows = 2 + (data[0] / 80) % 24;
    unsigned seed = data[1];
    const char *text = reinterpret_cast<const char *>(data + 2);
    const size_t length = size - 2;

    // Anything may come, in any size, and is taken whole. The output goes
    // twice, so that chunks larger than the interpreter's buffer come up too;
    // chunking must not matter.
    Start(columns, rows);
    const std::string twice = std::string(text, length) + std::string(text, length);
    vtProcessedTextOut(twice.data(), static_cast<int>(twice.size()));
    CheckCursor();
    const std::string whole = Snapshot();
    Start(columns, rows);
    for (size_t pos = 0; pos < twice.size();) {
        const size_t n =
            std::min<size_t>(twice.size() - pos, 1 + (seed >> 3) % (seed & 1   ? 3
                                                                    : seed & 2 ? 64
                                                                               : 5000));
        seed = seed * 1103515245u + 12345u;
        if (vtProcessedTextOut(twice.data() + pos, static_cast<int>(n)) != 0)
            std::abort();
        CheckCursor();
        pos += n;
    }
    if (Snapshot() != whole)
        std::abort();
    return 0;
}
