// Console keyboard on Windows: _getch, which reports extended keys as two
// codes. Ctrl+C and Ctrl+Break end the input, so that the program ends
// through its own teardown rather than being ended by the system.
#include "platform/Keyboard.h"

#include <windows.h>

#include <atomic>
#include <conio.h>
#include <io.h>
#include <stdio.h>

namespace plat {

namespace {

constexpr int kCtrlC = 0x03;

std::atomic<bool> gQuit{false};

// A key for the console input, so that a _getch waiting for one returns and
// finds the input ended.
void WakeKeyReader() {
    INPUT_RECORD key{};
    key.EventType = KEY_EVENT;
    key.Event.KeyEvent.bKeyDown = TRUE;
    key.Event.KeyEvent.wRepeatCount = 1;
    key.Event.KeyEvent.uChar.UnicodeChar = L' ';
    DWORD written = 0;
    WriteConsoleInputW(GetStdHandle(STD_INPUT_HANDLE), &key, 1, &written);
}

// Runs on a thread of its own. Returning TRUE keeps the process alive: the
// key loop ends and the program tears down
// (https://learn.microsoft.com/en-us/windows/console/handlerroutine).
BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    gQuit = true;
    WakeKeyReader();
    return TRUE;
}

} // namespace

void RestoreKeyboard() {}

// https://learn.microsoft.com/en-us/windows/console/setconsolectrlhandler
RawKeyboard::RawKeyboard() {
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}
RawKeyboard::~RawKeyboard() {
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
}

const char *QuitKeyName() {
    return "Ctrl+Break";
}

int RawKeyboard::GetKey() {
    if (gQuit)
        return -1;
    if (!_isatty(_fileno(stdin))) {
        int c = getchar();
        return c == EOF || gQuit ? -1 : c;
    }
    // With the console's processed input off while _getch reads, Ctrl+C
    // comes as its key rather than as a signal: it quits all the same.
    int c = _getch();
    return gQuit || c == kCtrlC ? -1 : c;
}

} // namespace plat
