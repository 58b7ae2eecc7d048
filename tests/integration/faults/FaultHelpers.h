// Helpers of the fault tests. (A test that deadlocks is ended by the suite's
// time-out.)
#pragma once

#include <filesystem>
#include <iterator>

namespace faults {

inline int OpenDescriptors() {
    return int(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}
inline int Threads() {
    return int(std::distance(std::filesystem::directory_iterator("/proc/self/task"), {}));
}

// The mode the tests open ports with: fast, no handshake.
constexpr const char *kDcb = "baud=115200 octs=off odsr=off xon=off";

} // namespace faults
