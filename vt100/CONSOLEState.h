// State of the CONSOLE module shared between its text/screen half
// (CONSOLE.cpp) and its attribute half (CONSOLEAttr.cpp).
#pragma once

#include <platform/Console.h>

extern plat::con::Handle hConOut; // target of every console call
extern int scForeFlags;           // current foreground attribute word
extern int scBackFlags;           // current background attribute word

// Attribute masks and starting words from the console's attribute.
void InitTextAttributes();
