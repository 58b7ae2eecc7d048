// Shows a little modem output through the emulator on standard output, then
// the screen model's sizes as the emulator found them.
#include "VT100.h"

#include <platform/Console.h>

int main() {
    vtInitVT100();
    vtprintf("\x1b[1;31;44mred\x1b[m \x1b(0lqk\x1b(B\x07");
    plat::con::ScreenBufferInfo info{};
    plat::con::GetScreenBufferInfo(plat::con::GetStdOutput(), &info);
    vtprintf("\r\nsize %d %d window %d %d", info.dwSize.X, info.dwSize.Y,
             info.srWindow.Right - info.srWindow.Left + 1,
             info.srWindow.Bottom - info.srWindow.Top + 1);
    return 0;
}
