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

// Writes into a port whose far end is gone fail: each pass reports 1126 with
// the error, and the transmit thread goes on with the next chunk.
TEST_F(Connection, WritesToAVanishedFarEndAreReportedAndTheThreadGoesOn) {
    ASSERT_GT(Open("baud=115200 octs=off odsr=off xon=off"), 0);
    pty.CloseFar();
    auto writeFailures = [] {
        size_t n = 0;
        for (auto &note : Recorder::Instance().Notes())
            if (note.code == FALCREST_NOTIFY_TXFAIL) {
                EXPECT_EQ(note.error, plat::kErrGenFailure);
                ++n;
            }
        return n;
    };
    const std::string data(600, 'd'); // three chunks: each fails on its own
    ASSERT_EQ(SendDataToModem(data.data(), int(data.size())), 0);
    ASSERT_TRUE(WaitUntil([&] { return writeFailures() >= 3; }));
    ASSERT_EQ(SendDataToModem("more", 4), 0);
    ASSERT_TRUE(WaitUntil([&] { return writeFailures() >= 4; }));
    EXPECT_NE(SendByteToModem('x'), 0); // the system's error, not success
    EXPECT_EQ(szOutQueue.GetLength(), 0u);
}

// Format 0 hands DLE pairs over as text, reading a byte at a time; format 2
// turns DLE DC2 into a token. With a receive thread the type's result is the
// priority change's, which needs no privilege for the normal priority.
TEST_F(Connection, FeedbackTypeChangesWhatTheClientReceives) {
    ASSERT_GT(Open("baud=115200 octs=off odsr=off xon=off"), 0);
    SetFeedbackType(0);
    const std::string shielded = std::string("A\x10\x03", 3) + "B";
    pty.Write(shielded);
    ASSERT_TRUE(WaitUntil([] { return Recorder::Instance().Raw().size() >= 4; }));
    EXPECT_EQ(Recorder::Instance().Raw(), shielded);
    EXPECT_EQ(Recorder::Instance().Codes(), "");

    Recorder::Instance().Reset();
    EXPECT_EQ(SetFeedbackType(2), 1);
    pty.Write(std::string("C\x10\x12", 3) + std::string("D\x10\x03", 3));
    ASSERT_TRUE(WaitUntil([] { return Recorder::Instance().Codes() == "<DC2><ETX>"; }));
    EXPECT_EQ(Recorder::Instance().Raw(), "CD");
    EXPECT_EQ(SetFeedbackType(1), 1);
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
