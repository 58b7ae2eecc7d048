// One short case per screen rule of the emulator, each on a blank 80 x 25
// screen: compared with libvterm natively, and run on Wine's console by
// console_script, so that both backends keep the same screen.
#pragma once

#include <string>
#include <vector>

struct ScreenCase {
    const char *name;
    std::string bytes;
};

const std::vector<ScreenCase> &ScreenCases();

// What the cases are written with.
std::string Csi(const std::string &s);
std::string At(int row, int column);
// n letters from first on, round the alphabet.
std::string Run(int n, char first = 'A');
// Window rows 1..rows numbered "r<row>" and dotted up to column 79, so that
// no line reaches the right edge; the cursor ends at home.
std::string Numbered(int rows = 25);
