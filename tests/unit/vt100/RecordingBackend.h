// A screen backend that records the interpreter's calls, one line each.
#pragma once

#include <string>
#include <vector>

namespace recording {

extern std::vector<std::string> calls;
extern int fore; // attribute words handed out by beGetTextAttributes
extern int back;
extern int termMode;

// Forgets the calls and restores the starting words and modes.
void Reset();
// The calls with adjacent text runs joined, as one text.
std::string Log();

} // namespace recording
