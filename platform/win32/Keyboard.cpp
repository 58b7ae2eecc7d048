// Console keyboard on Windows: _getch, which reports extended keys as two codes.
#include "platform/Keyboard.h"

#include <conio.h>
#include <io.h>
#include <stdio.h>

namespace plat {

void RestoreKeyboard() {}
RawKeyboard::RawKeyboard() {}
RawKeyboard::~RawKeyboard() {}

const char *QuitKeyName() {
    return "Ctrl+Break";
}

int RawKeyboard::GetKey() {
    if (!_isatty(_fileno(stdin))) {
        int c = getchar();
        return c == EOF ? -1 : c;
    }
    return _getch();
}

} // namespace plat
