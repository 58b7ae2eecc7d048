// The rules the Windows test build enforces where Wine does not: what the
// checked calls of the serial backend found broken.
#pragma once

#include <string>
#include <vector>

namespace plat::checked {

// The rules broken since the last call, oldest first; forgets them.
std::vector<std::string> TakeBrokenRules();

} // namespace plat::checked
