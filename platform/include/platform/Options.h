// Command-line options by the standard getopt convention, with the parser's
// own messages off.
#pragma once

namespace plat {

struct Option {
    int letter;        // the option character, '?' for an unknown one
    const char *value; // its value, for options that take one
    int unknown;       // the unknown option character (letter is then '?')
};

// The next option of argv by the option string (as getopt's); false after
// the last. Operands then start at FirstOperand().
bool NextOption(int argc, char **argv, const char *optionString, Option *option);
int FirstOperand();

} // namespace plat
