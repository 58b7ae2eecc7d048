// Requests from the test machine to the host that runs it (tests/vm/host.py),
// over a serial line of their own: the far ends of the lines under test, line
// breaks, and plugging the USB adapter in and out.
#pragma once

#include <string>

namespace vmtest {

// Sends one request ("write u0 4142", "break s1", "unplug u0", ...) and
// returns what follows "ok" in the answer; throws when the host refuses or
// does not answer.
std::string Host(const std::string &request);

// The line's far end, as the host names it (FALCREST_TEST_FAR).
std::string FarLine();

} // namespace vmtest
