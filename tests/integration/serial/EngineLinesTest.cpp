// The engine's view of the modem lines, played on a pseudo-terminal by the
// FakeModemLines shim: the status export, the DTR drop around a break, and
// line errors reaching the client.
#include <gtest/gtest.h>

#include <sys/ioctl.h>

#include "FakeModemLines.h"
#include "PtyPair.h"
#include "Recorder.h"
#include "serial/EngineState.h"

using testing_support::PtyPair;
using testing_support::WaitUntil;

namespace {

class EngineLines : public ::testing::Test {
protected:
    void SetUp() override {
        FakeModemReset();
        Recorder::Instance().Reset();
        ASSERT_GT(InitModem(Recorder::Instance().Target(), path(), "baud=115200 octs=off odsr=off"),
                  0);
    }
    void TearDown() override { ReleaseModem(); }
    const char *path() { return pty.PortPath().c_str(); }
    std::string Events() {
        char buffer[512];
        FakeModemEvents(path(), buffer, sizeof buffer);
        return buffer;
    }
    PtyPair pty;
};

TEST_F(EngineLines, StatusShowsTheFarEndsLines) {
    uint32_t status = 0;
    EXPECT_EQ(GetCommStatus(nullptr), 0);
    ASSERT_EQ(GetCommStatus(&status), 1);
    EXPECT_EQ(status, plat::kMsCtsOn | plat::kMsDsrOn);
    FakeModemSetInputs(path(), TIOCM_CAR | TIOCM_RNG);
    ASSERT_EQ(GetCommStatus(&status), 1);
    EXPECT_EQ(status, plat::kMsRlsdOn | plat::kMsRingOn);
}

TEST_F(EngineLines, ShortBreakHoldsTheBreakWithDtrDown) {
    std::string before = Events();
    ASSERT_EQ(ShortBreak(5), 1);
    std::string after = Events();
    ASSERT_EQ(after.compare(0, before.size(), before), 0);
    EXPECT_EQ(after.substr(before.size()),
              before.empty() ? "DTR-,BRK+,BRK-,DTR+" : ",DTR-,BRK+,BRK-,DTR+");
    EXPECT_EQ(FakeModemOutputs(path()) & TIOCM_DTR, TIOCM_DTR);
    EXPECT_EQ(FakeModemBreak(path()), 0);
}

TEST_F(EngineLines, LineErrorsReachTheClientWithTheData) {
    FakeModemAddErrors(path(), 1, 0, 1, 0, 0);
    pty.Write("x");
    ASSERT_TRUE(WaitUntil([] {
        for (auto &n : Recorder::Instance().Notes())
            if (n.code == FALCREST_NOTIFY_READ && n.error == (plat::kCeOverrun | plat::kCeFrame))
                return true;
        return false;
    }));
    ASSERT_TRUE(WaitUntil([] { return Recorder::Instance().Raw() == "x"; }));
}

} // namespace
