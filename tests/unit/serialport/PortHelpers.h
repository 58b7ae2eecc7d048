// Shared by the port tests: a port opened on a fresh pseudo-terminal, and the
// device's settings as stty reports them.
#pragma once

#include "PtyPair.h"
#include "Stty.h"
#include "platform/Serial.h"

#include <gtest/gtest.h>
#include <string>

namespace serialtest {

using testing_support::Stty;
inline bool HasWord(const std::string &text, const std::string &word) {
    return testing_support::SttyHas(text, word);
}

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
    // The time-outs the engine uses.
    void EngineTimeouts() {
        plat::CommTimeouts t;
        t.ReadIntervalTimeout = 5;
        t.ReadTotalTimeoutMultiplier = 1;
        t.ReadTotalTimeoutConstant = 3;
        t.WriteTotalTimeoutMultiplier = 1;
        t.WriteTotalTimeoutConstant = 1;
        ASSERT_TRUE(plat::SetCommTimeouts(port, t));
    }
    void Timeouts(uint32_t interval, uint32_t multiplier, uint32_t constant) {
        plat::CommTimeouts t;
        t.ReadIntervalTimeout = interval;
        t.ReadTotalTimeoutMultiplier = multiplier;
        t.ReadTotalTimeoutConstant = constant;
        ASSERT_TRUE(plat::SetCommTimeouts(port, t));
    }
    // Bytes waiting in the port's receive queue.
    uint32_t InQueue() {
        plat::ComStat status;
        uint32_t errors = 0;
        return plat::ClearCommError(port, &errors, &status) ? status.cbInQue : 0;
    }

    testing_support::PtyPair pty;
    plat::PortHandle port = plat::kInvalidPort;
};

} // namespace serialtest
