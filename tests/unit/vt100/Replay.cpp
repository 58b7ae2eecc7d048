// Replays bytes through the emulator on a fresh screen model and prints the
// window, one row a line, then "cursor <column> <row>" within the window.
// Usage: vt100_replay <columns> <rows> <chunk size> < bytes
#include "VT100.h"

#include <platform/Console.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char **argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <columns> <rows> <chunk size> < bytes\n", argv[0]);
        return 2;
    }
    const int columns = std::atoi(argv[1]);
    const int rows = std::atoi(argv[2]);
    const int chunk = std::atoi(argv[3]);
    if (columns < 1 || rows < 1 || chunk < 1)
        return 2;
    plat::con::SetRenderTarget(-1);
    plat::con::model::Reset(columns, rows, 300);
    vtInitVT100();

    std::string input;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0)
        input.append(buffer, n);
    for (size_t pos = 0; pos < input.size(); pos += size_t(chunk)) {
        const size_t len = std::min(input.size() - pos, size_t(chunk));
        vtProcessedTextOut(input.data() + pos, int(len));
    }

    plat::con::ScreenBufferInfo info{};
    plat::con::GetScreenBufferInfo(plat::con::GetStdOutput(), &info);
    for (int y = info.srWindow.Top; y <= info.srWindow.Bottom; ++y) {
        std::string row = plat::con::model::RowText(y);
        std::fwrite(row.data() + info.srWindow.Left, 1,
                    size_t(info.srWindow.Right - info.srWindow.Left + 1), stdout);
        std::fputc('\n', stdout);
    }
    std::printf("cursor %d %d\n", info.dwCursorPosition.X - info.srWindow.Left,
                info.dwCursorPosition.Y - info.srWindow.Top);
    return 0;
}
