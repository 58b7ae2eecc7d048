// Console keyboard: one key at a time, no echo, no line buffering.
#pragma once

namespace plat {

// While alive, Ctrl+C (SIGINT) ends input: GetKey then reports its end.
// While alive, the terminal on standard input (if any) is in raw mode; the
// previous mode comes back when it goes, and also at exit or on SIGINT/SIGTERM.
class RawKeyboard {
public:
    RawKeyboard();
    ~RawKeyboard();
    RawKeyboard(const RawKeyboard &) = delete;
    RawKeyboard &operator=(const RawKeyboard &) = delete;
    // The next key code (0..255), -1 at end of input. Keys that Windows reports
    // as two codes come as two calls.
    int GetKey();
};

// Restores the terminal mode saved by a RawKeyboard (safe to call anywhere).
void RestoreKeyboard();

} // namespace plat
