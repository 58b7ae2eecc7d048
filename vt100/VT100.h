// The VT100 interpreter: turns the modem's output into screen operations.
#pragma once

int vtInitVT100();
int vtProcessedTextOut(const char *text, int length);
int vtputs(const char *text);
int vtprintf(const char *format, ...);
