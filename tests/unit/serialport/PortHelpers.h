// Shared by the POSIX port tests: the port fixture, and the device's settings
// as stty reports them.
#pragma once

#include "PortFixture.h"
#include "Stty.h"

#include <gtest/gtest.h>
#include <string>

namespace serialtest {

using testing_support::Stty;
inline bool HasWord(const std::string &text, const std::string &word) {
    return testing_support::SttyHas(text, word);
}

} // namespace serialtest
