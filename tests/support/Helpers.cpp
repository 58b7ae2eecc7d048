// Waiting on conditions and running commands: helpers every test program
// links, whichever far end it drives.
#include "PtyPair.h"

#include <stdio.h>
#include <thread>

namespace testing_support {

bool WaitUntil(const std::function<bool()> &cond, int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!cond()) {
        if (std::chrono::steady_clock::now() >= end)
            return cond();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::string RunCommand(const std::string &command) {
    std::string out;
    char buf[512];
    if (FILE *p = popen(command.c_str(), "r")) {
        for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
            out.append(buf, n);
        pclose(p);
    }
    return out;
}

} // namespace testing_support
