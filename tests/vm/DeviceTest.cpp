// What only a real serial device answers, run in the test machine on the
// 16550 and on the USB adapter: a rate the device cannot make, and a break
// from the far end reaching the client's error word.
#include <gtest/gtest.h>

#include "Host.h"
#include "PtyPair.h"
#include "Recorder.h"
#include "platform/Serial.h"

using testing_support::WaitUntil;

namespace {

constexpr const char *kMode = "baud=115200 octs=off odsr=off xon=off";

// The mode at the rate that the machine's init names for the device.
std::string Mode(const char *rate) {
    return std::string("baud=") + getenv(rate) + " octs=off odsr=off xon=off";
}

class Device : public testing::Test {
protected:
    void SetUp() override { Recorder::Instance().Reset(); }
    void TearDown() override { ReleaseModem(); }
    int Open(const char *mode) {
        return InitModem(Recorder::Instance().Target(), far.PortPath().c_str(), mode);
    }
    uint32_t Errors() {
        uint32_t all = 0;
        for (const Notification &n : Recorder::Instance().Notes())
            all |= n.error;
        return all;
    }
    void ExpectDataBothWays() {
        far.Write("from the far end");
        EXPECT_TRUE(WaitUntil([] { return Recorder::Instance().Raw() == "from the far end"; }))
            << Recorder::Instance().Raw();
        ASSERT_EQ(SendDataToModem("to the far end", 14), 0);
        EXPECT_EQ(far.ReadAtLeast(14), "to the far end");
    }
    testing_support::PtyPair far;
};

TEST_F(Device, ARateItCannotMakeIsRefusedAndItsFastestWorks) {
    EXPECT_EQ(Open(Mode("FALCREST_TEST_UNMADE_RATE").c_str()), FALCREST_ERR_PORT);
    int port = Open(Mode("FALCREST_TEST_FASTEST_RATE").c_str());
    ASSERT_GT(port, 0);
    plat::Dcb dcb;
    ASSERT_TRUE(plat::GetCommState(port, dcb));
    EXPECT_EQ(std::to_string(dcb.BaudRate), getenv("FALCREST_TEST_FASTEST_RATE"));
    ExpectDataBothWays();
}

TEST_F(Device, BreakFromTheFarEndReachesTheErrorWord) {
    ASSERT_GT(Open(kMode), 0);
    vmtest::Host("break " + vmtest::FarLine());
    EXPECT_TRUE(WaitUntil([&] { return (Errors() & plat::kCeBreak) != 0; })) << Errors();
    ExpectDataBothWays(); // and the break left no byte of its own in the data
}

} // namespace
