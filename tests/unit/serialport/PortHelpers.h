// Shared by the port tests: a port opened on a fresh pseudo-terminal, and the
// device's settings as stty reports them.
#pragma once

#include "PtyPair.h"
#include "platform/Serial.h"

#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace serialtest {

// The settings of the pty as stty prints them. As root the path is used, as
// the house rules ask; without root the open port's exclusive flag keeps
// stty out of the path, so it reads them through the far end, which the
// kernel answers with the same (slave's) settings.
inline std::string Stty(const testing_support::PtyPair &pty) {
    if (geteuid() == 0)
        return testing_support::RunCommand("stty -a -F " + pty.PortPath());
    return testing_support::RunCommand("stty -a <&" + std::to_string(pty.FarFd()));
}

// " word" or " word\n" or "word;" as a whole word of stty's output.
inline bool HasWord(const std::string &text, const std::string &word) {
    size_t at = 0;
    while ((at = text.find(word, at)) != std::string::npos) {
        bool startOk = at == 0 || text[at - 1] == ' ' || text[at - 1] == '\n';
        size_t end = at + word.size();
        bool endOk = end == text.size() || text[end] == ' ' || text[end] == '\n' || text[end] == ';';
        if (startOk && endOk)
            return true;
        at = end;
    }
    return false;
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
