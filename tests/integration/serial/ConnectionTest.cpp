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

TEST_F(Connection, SettingsReachTheDevice) {
    ASSERT_GT(Open("baud=9600 xon=on"), 0);
    std::string settings = testing_support::Stty(pty);
    EXPECT_NE(settings.find("speed 9600 baud"), std::string::npos) << settings;
    for (const char *word :
         {"ixoff", "-ixon", "crtscts" /* octs defaults to on */, "cs8", "-parenb"})
        EXPECT_TRUE(SttyHas(settings, word)) << word << " in " << settings;
}

// A device left without start and stop characters must not hand the state
// two equal ones, and without software flow control they stay set.
TEST_F(Connection, StartAndStopCharactersStayWithoutFlowControl) {
    RunCommand("stty start undef stop undef <&" + std::to_string(pty.FarFd()));
    ASSERT_GT(Open("baud=9600 xon=off"), 0);
    std::string settings = testing_support::Stty(pty);
    EXPECT_NE(settings.find("start = ^Q; stop = ^S"), std::string::npos) << settings;
    EXPECT_TRUE(SttyHas(settings, "-ixon")) << settings;
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

// A device under /dev named for the test, removed again.
class DevName {
public:
    explicit DevName(const std::string &target)
        : name_("fc" + std::to_string(100000 + getpid() % 900000) + "x") {
        ok_ = symlink(target.c_str(), ("/dev/" + name_).c_str()) == 0;
    }
    ~DevName() { unlink(("/dev/" + name_).c_str()); }
    bool Made() const { return ok_; }
    const std::string &Name() const { return name_; }

private:
    std::string name_;
    bool ok_ = false;
};

// A name that is not a path may have nine characters. A longer one is
// refused: cut to nine, it would open another device.
TEST_F(Connection, LongNamesAreRefusedNotCut) {
    DevName nine(pty.PortPath());
    if (!nine.Made())
        GTEST_SKIP() << "cannot name a device under /dev";
    ASSERT_EQ(nine.Name().size(), 9u);
    EXPECT_EQ(Open("baud=9600", nine.Name() + "0"), FALCREST_ERR_PORT);
    EXPECT_FALSE(PortIsOpen());
    EXPECT_GT(Open("baud=9600", nine.Name()), 0);
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
