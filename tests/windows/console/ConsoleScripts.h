// The scripted byte sequences that console_script feeds to the emulator.
#pragma once

#include <string>
#include <vector>

struct Script {
    std::string name;
    // Fed one vtProcessedTextOut call each.
    std::vector<std::string> chunks;
};

const std::vector<Script> &Scripts();
