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
