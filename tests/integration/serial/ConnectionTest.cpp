// Connecting to a pseudo-terminal: configuration reaches the device (stty),
// notifications, port listing, and a far end that goes away.
#include <gtest/gtest.h>

#include "PtyPair.h"
#include "Recorder.h"
#include "serial/Engine.h"

using testing_support::PtyPair;
using testing_support::RunCommand;
using testing_support::WaitUntil;

namespace {

class Connection : public ::testing::Test {
protected:
    void SetUp() override { Recorder::Instance().Reset(); }
    void TearDown() override { ReleaseModem(); }
    int Open(const char *dcb) { return InitModem(Recorder::Instance().Target(), pty.PortPath().c_str(), dcb); }
    std::string Stty() { return RunCommand("stty -a -F " + pty.PortPath() + " 2>&1"); }
    // Whether stty's listing holds the setting as a whole word.
    static bool Has(const std::string &text, const std::string &word) {
        std::string current;
        for (char c : text + " ") {
            if (c == ' ' || c == '\n' || c == ';') {
                if (current == word)
                    return true;
                current.clear();
            } else {
                current += c;
            }
        }
        return false;
    }
    PtyPair pty;
};

TEST_F(Connection, SettingsReachTheDevice) {
    ASSERT_GT(Open("baud=9600 xon=on"), 0);
    std::string settings = Stty();
    EXPECT_NE(settings.find("speed 9600 baud"), std::string::npos) << settings;
    EXPECT_TRUE(Has(settings, "ixoff")) << settings;
    EXPECT_TRUE(Has(settings, "-ixon")) << settings;
    EXPECT_TRUE(Has(settings, "crtscts")) << settings; // octs defaults to on
    EXPECT_TRUE(Has(settings, "cs8")) << settings;
    EXPECT_TRUE(Has(settings, "-parenb")) << settings;
}

TEST_F(Connection, CallbackHearsOfReceivedAndWrittenData) {
    ASSERT_GT(Open("baud=115200"), 0);
    pty.Write("hello");
    ASSERT_TRUE(WaitUntil([] { return Recorder::Instance().Raw() == "hello"; }));
    bool sawCount = false;
    for (auto &n : Recorder::Instance().Notes())
        sawCount |= n.code == 1124 && n.count == 5;
    EXPECT_TRUE(sawCount);

    Recorder::Instance().Reset();
    SendDataToModem("x", 1);
    pty.ReadAtLeast(1);
    ASSERT_TRUE(WaitUntil([] {
        for (auto &n : Recorder::Instance().Notes())
            if (n.code == 1124 && n.count == 0)
                return true;
        return false;
    }));
}

TEST_F(Connection, VanishedFarEndIsReportedWithoutSpinning) {
    ASSERT_GT(Open("baud=115200"), 0);
    pty.CloseFar();
    ASSERT_TRUE(WaitUntil([] {
        for (auto &n : Recorder::Instance().Notes())
            if (n.error != 0)
                return true;
        return false;
    }));
    // Reports back off while the failure lasts: a spinning thread would have
    // made thousands by now.
    plat::SleepMs(1500);
    size_t errors = 0;
    for (auto &n : Recorder::Instance().Notes())
        errors += n.error != 0;
    EXPECT_LT(errors, 40u);
    uint64_t start = plat::NowMs();
    ReleaseModem();
    EXPECT_LT(plat::NowMs() - start, 1500u);
}

TEST_F(Connection, EnumeratesOnlyPortsThatExist) {
    char *list = nullptr;
    int found = EnumComPorts(&list);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(found != 0, list[0] != 0);
    std::string ports(list);
    size_t start = 0;
    while (start < ports.size()) {
        size_t end = ports.find(',', start);
        std::string one = ports.substr(start, end - start);
        EXPECT_EQ(one.rfind("/dev/", 0), 0u) << one;
        start = end == std::string::npos ? ports.size() : end + 1;
    }
    Realloc(list, 0);
}

} // namespace
