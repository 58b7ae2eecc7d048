// Command-line options through the C library's getopt (POSIX and MinGW).
#include "platform/Options.h"

#include <unistd.h>

namespace plat {

bool NextOption(int argc, char **argv, const char *optionString, Option *option) {
    opterr = 0;
    const int letter = getopt(argc, argv, optionString);
    if (letter == -1)
        return false;
    *option = Option{letter, optarg, optopt};
    return true;
}

int FirstOperand() {
    return optind;
}

} // namespace plat
