// The VT100 emulator's entry points: the escape-sequence interpreter that
// turns the modem's output into operations on the console screen.
// Single-threaded: all calls must come from one thread at a time.
#pragma once

#include <cstdarg>

// Empties the held-back bytes and initialises the screen backend. Call once
// before any other operation (again to start afresh).
int vtInitVT100();
// Interprets length bytes of text, any number of them; a sequence cut off at
// the end is held back and completed by the next call. 0, or -1 for a
// negative length or no text.
int vtProcessedTextOut(const char *text, int length);
// The text and one LF; text past 1,022 bytes is cut. Returns 0.
int vtputs(const char *text);
// printf-style; output past 1,023 bytes is cut. Returns 0.
int vtprintf(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// vtprintf with the arguments of a caller's own variadic function.
int vtvprintf(const char *format, va_list args);
// Draws the whole screen again: after the terminal was resized or given back.
int vtRedraw();
