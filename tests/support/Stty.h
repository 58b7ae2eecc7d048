// The settings of a pseudo-terminal's port end as stty prints them, also
// while the port is open exclusively.
#pragma once

#include "PtyPair.h"

#include <string>

namespace testing_support {

// The exclusive flag of an open port keeps stty out of its path, so stty
// reads the settings through the far end, which the kernel answers with the
// port end's settings.
inline std::string Stty(const PtyPair &pty) {
    return RunCommand("stty -a <&" + std::to_string(pty.FarFd()) + " 2>&1");
}

// True when word stands alone in stty's output (between blanks, line ends or
// a semicolon), so "-ixon" does not match "ixon".
inline bool SttyHas(std::string text, const std::string &word) {
    for (char &c : text)
        if (c == '\n' || c == ';')
            c = ' ';
    return (" " + text + " ").find(" " + word + " ") != std::string::npos;
}

} // namespace testing_support
