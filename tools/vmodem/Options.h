// vmodem's command line and its help text.
#pragma once

#include "Modem.h"

#include <string>

namespace vmodem {

struct SOptions {
    std::string link;
    std::string control;
    std::string store;
    int speed = 33600;
    double clockScale = 1; // waits this many times shorter (tests)
    EDataMode mode = EDataMode::Echo;
    std::string stream; // file played after each CONNECT (mode stream)
    Registers profile = DefaultRegisters();
    bool help = false;
    bool version = false;
};

// Parses argv; throws std::invalid_argument with a message on a bad option.
SOptions ParseOptions(int argc, char **argv);

const char *HelpText();

} // namespace vmodem
