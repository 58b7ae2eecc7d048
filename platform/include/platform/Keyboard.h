// Console keyboard: one key at a time, no echo, no line buffering.
#pragma once

namespace plat {

// GetKey's answer when the terminal was resized, or given back after the
// program was stopped from outside: the screen wants drawing again.
constexpr int kTerminalChanged = -2;

// While alive, the terminal on standard input (if any) is in raw mode: keys
// come as they are typed, Ctrl+Z included; only the key that quits
// (QuitKeyName) is the system's. The previous mode comes back when it goes,
// at exit, on SIGTERM and SIGHUP, and while the program is stopped.
class RawKeyboard {
public:
    RawKeyboard();
    ~RawKeyboard();
    RawKeyboard(const RawKeyboard &) = delete;
    RawKeyboard &operator=(const RawKeyboard &) = delete;
    // The next key code (0..255), -1 at end of input or after the quit key,
    // or kTerminalChanged. Keys that Windows reports as two codes come as two
    // calls.
    int GetKey();
};

// Restores the terminal mode saved by a RawKeyboard (safe to call anywhere).
void RestoreKeyboard();

// The key that ends the program, as the user presses it: "Ctrl+C" on POSIX
// (SIGINT ends input, so the program ends through its own teardown),
// "Ctrl+Break" on Windows.
const char *QuitKeyName();

} // namespace plat
