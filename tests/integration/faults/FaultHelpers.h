// Helpers of the fault tests: counting the process's descriptors and
// threads. (A test that deadlocks is ended by the suite's time-out.)
#pragma once

#include <dirent.h>

namespace faults {

inline int CountEntries(const char *dir) {
    int n = 0;
    if (DIR *d = opendir(dir)) {
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.')
                ++n;
        closedir(d);
    }
    return n;
}
inline int OpenDescriptors() {
    return CountEntries("/proc/self/fd");
}
inline int Threads() {
    return CountEntries("/proc/self/task");
}

// The mode the tests open ports with: fast, no handshake.
constexpr const char *kDcb = "baud=115200 octs=off odsr=off xon=off";

} // namespace faults
