// A port opened on the near end of a line whose far end the test drives: a
// pseudo-terminal on POSIX, a second COM port under Wine. Shared by the port
// tests of both backends.
#pragma once

#include "PtyPair.h"
#include "platform/Serial.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace serialtest {

class PortTest : public ::testing::Test {
protected:
    void SetUp() override {
        uint32_t error = 0;
        port = plat::OpenPort(pty.PortPath().c_str(), &error);
        ASSERT_NE(port, plat::kInvalidPort) << "error " << error;
    }
    void TearDown() override {
        if (port != plat::kInvalidPort)
            plat::ClosePort(port);
    }
    // The engine's time-outs are Timeouts(5, 1, 3, 1, 1).
    void Timeouts(uint32_t interval, uint32_t multiplier, uint32_t constant,
                  uint32_t writeMultiplier = 0, uint32_t writeConstant = 0) {
        plat::CommTimeouts t{interval, multiplier, constant, writeMultiplier, writeConstant};
        ASSERT_TRUE(plat::SetCommTimeouts(port, t));
    }

    testing_support::PtyPair pty;
    plat::PortHandle port = plat::kInvalidPort;
};

} // namespace serialtest
