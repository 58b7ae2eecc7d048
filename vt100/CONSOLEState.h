// State of the CONSOLE module shared between its screen half (CONSOLE.cpp),
// its text half (CONSOLEText.cpp) and its attribute half (CONSOLEAttr.cpp).
#pragma once

#include <platform/Console.h>

#include <cstdint>

extern plat::con::Handle hConOut; // target of every console call
extern int scForeFlags;           // current foreground attribute word
extern int scBackFlags;           // current background attribute word
extern int conTermMode;           // terminal-mode bits
// Text written in the last column waits there: the next printable character
// goes to the start of the next row first.
extern bool bWrapPending;

// The console's state as one operation needs it.
struct ConState {
    int W, H;   // buffer size
    int T, B;   // window's first and last rows
    int cx, cy; // cursor
    uint16_t A; // current console attribute
    int Rows() const { return B - T + 1; }
    int Row() const { return cy - T; } // the cursor's 0-based screen row
};
bool ReadConsoleState(ConState &s);
// Moves the cursor; a move to another cell ends a pending wrap.
void SetCursor(const ConState &s, long long column, long long row);
// The 0-based screen rows the margins hold, clamped to the window.
void ScrollMargins(const ConState &s, int *top, int *bottom);
// Rows top..bottom of the screen move by dy (down when positive); rows moved
// past them are lost and blank rows enter.
void ScrollRows(const ConState &s, int top, int bottom, int dy);

// Attribute masks and starting words from the console's attribute.
void InitTextAttributes();
