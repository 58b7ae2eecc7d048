// Connecting to a pseudo-terminal: configuration reaches the device (stty),
// notifications, port listing, and a far end that goes away.
#include <gtest/gtest.h>

#include <unistd.h>

#include "PtyPair.h"
#include "Recorder.h"
#include "Stty.h"
#include "serial/EngineState.h"

using testing_support::PtyPair;
using testing_support::RunCommand;
using testing_support::SttyHas;
using testing_support::WaitUntil;

namespace {

class Connection : public ::testing::Test {
protected:
    void SetUp() override { Recorder::Instance().Reset(); }
    void TearDown() override { ReleaseModem(); }
    int Open(const char *dcb, const std::string &port = "") {
        return InitModem(Recorder::Instance().Target(),
                         (port.empty() ? pty.PortPath() : port).c_str(), dcb);
    }
    PtyPair pty;
};

// A device left without start and stop characters must not hand the state
// two equal ones. A pseudo-terminal has no modem lines: no status is made up.
TEST_F(Connection, SettingsReachTheDevice) {
    RunCommand("stty start undef stop undef <&" + std::to_string(pty.FarFd()));
    ASSERT_GT(Open("baud=9600 xon=off"), 0);
    std::string settings = testing_support::Stty(pty);
    for (const char *word : {"9600", "-ixoff", "-ixon", "crtscts" /* octs defaults to on */, "cs8",
                             "-parenb", "^Q", "^S"})
        EXPECT_TRUE(SttyHas(settings, word)) << word << " in " << settings;
    uint32_t status = 7;
    EXPECT_EQ(GetCommStatus(&status), 0);
    EXPECT_EQ(status, 0u);
}

// A first open that fails once the device is open closes it: the next open
// is a first open of its own device, not a re-configuration of this one.
TEST_F(Connection, AFailedFirstOpenLeavesNothingOpen) {
    EXPECT_EQ(Open("baud=fast"), FALCREST_ERR_PORT);
    EXPECT_FALSE(PortIsOpen());
    EXPECT_EQ(Open(nullptr), FALCREST_ERR_ARG);
    EXPECT_FALSE(PortIsOpen());
    PtyPair other;
    ASSERT_GT(Open("baud=4800 octs=off odsr=off xon=off", other.PortPath()), 0);
    EXPECT_NE(testing_support::Stty(other).find("speed 4800 baud"), std::string::npos);
    ASSERT_EQ(SendDataToModem("x", 1), 0);
    EXPECT_EQ(other.ReadAtLeast(1), "x");
    EXPECT_EQ(pty.ReadFor(50), "");
}

// A name that is not a path may have nine characters. A longer one is
// refused: cut to nine, it would open another device, here one named for the
// test under /dev.
TEST_F(Connection, LongNamesAreRefusedNotCut) {
    const std::string nine = "fc" + std::to_string(1000000 + getpid() % 9000000);
    const std::string device = "/dev/" + nine;
    if (symlink(pty.PortPath().c_str(), device.c_str()) != 0)
        GTEST_SKIP() << "cannot name a device under /dev";
    EXPECT_EQ(Open("baud=9600", nine + "0"), FALCREST_ERR_PORT);
    EXPECT_FALSE(PortIsOpen());
    EXPECT_GT(Open("baud=9600", nine), 0);
    unlink(device.c_str());
}

} // namespace
