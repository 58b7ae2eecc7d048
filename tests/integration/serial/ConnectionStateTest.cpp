// Connecting, as the port reads it back: what the engine derives from a DCB
// string, repeated connections keeping the port and the threads, a rejected
// string leaving the port working. Built for POSIX and, over COM ports, for
// Windows (tests/windows/engine).
#include <gtest/gtest.h>

#include "PtyPair.h"
#include "Recorder.h"
#include "serial/EngineState.h"

using testing_support::PtyPair;
using testing_support::WaitUntil;

namespace {

class ConnectionState : public ::testing::Test {
protected:
    void SetUp() override { Recorder::Instance().Reset(); }
    void TearDown() override { ReleaseModem(); }
    int Open(const char *dcb) {
        return InitModem(Recorder::Instance().Target(), pty.PortPath().c_str(), dcb);
    }
    void ExpectDataFlowsBothWays() {
        SendDataToModem("ping", 4);
        EXPECT_EQ(pty.ReadAtLeast(4), "ping");
        pty.Write("pong");
        EXPECT_TRUE(WaitUntil([] { return Recorder::Instance().Raw() == "pong"; }));
    }
    PtyPair pty;
};

TEST_F(ConnectionState, KeysAreCaseInsensitiveAndOnlyHandshakeKeysCount) {
    ASSERT_GT(Open("BAUD=9600 PARITY=E DATA=7 STOP=2 XON=ON OCTS=OFF"), 0);
    plat::Dcb dcb;
    ASSERT_TRUE(plat::GetCommState(idComDev, dcb));
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.fBinary, 1u);
    EXPECT_EQ(dcb.fInX, 1u);
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, plat::kNoParity);
    EXPECT_EQ(dcb.StopBits, plat::kOneStopBit);
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(dcb.fDtrControl, plat::kDtrControlEnable);
    EXPECT_EQ(dcb.fRtsControl, plat::kRtsControlEnable);
    EXPECT_EQ(dcb.XonChar, 17);
    EXPECT_EQ(dcb.XoffChar, 19);
#if !defined(_WIN32)
    // Wine's comm state on a pseudo-terminal keeps neither of these.
    EXPECT_EQ(dcb.fOutxDsrFlow, 1u); // odsr not named: on
    EXPECT_EQ(dcb.XonLim, iIQSize / 8);
#endif

    // Without software flow control the characters stay: a state with two
    // equal ones is refused by Windows.
    ASSERT_GT(Open("baud=4800 xon=off"), 0);
    ASSERT_TRUE(plat::GetCommState(idComDev, dcb));
    EXPECT_EQ(dcb.BaudRate, 4800u);
    EXPECT_EQ(dcb.fInX | dcb.fOutX, 0u);
    EXPECT_EQ(dcb.XonChar, 17);
    EXPECT_EQ(dcb.XoffChar, 19);
}

TEST_F(ConnectionState, SecondInitKeepsThePortAndTheThreads) {
    int handle = Open("baud=9600");
    ASSERT_GT(handle, 0);
    uint32_t ids[3] = {dwThreadReadID, dwThreadWriteID, dwThreadFlow};
    EXPECT_EQ(Open("baud=19200 xon=off"), handle);
    EXPECT_EQ(dwThreadReadID.load(), ids[0]);
    EXPECT_EQ(dwThreadWriteID.load(), ids[1]);
    EXPECT_EQ(dwThreadFlow.load(), ids[2]);
    plat::Dcb dcb;
    ASSERT_TRUE(plat::GetCommState(idComDev, dcb));
    EXPECT_EQ(dcb.BaudRate, 19200u);
    ExpectDataFlowsBothWays(); // the resumed threads still run
}

TEST_F(ConnectionState, RejectedStringLeavesThePortWorking) {
    ASSERT_GT(Open("baud=9600 xon=off"), 0);
    EXPECT_EQ(Open("baud=fast parity=maybe"), FALCREST_ERR_PORT);
    EXPECT_EQ(Open(nullptr), FALCREST_ERR_ARG);
    ExpectDataFlowsBothWays(); // the workers were resumed
}

TEST_F(ConnectionState, PortThatDoesNotExistIsRefused) {
    EXPECT_EQ(InitModem(Recorder::Instance().Target(), "COM42", "baud=9600"), FALCREST_ERR_PORT);
    EXPECT_EQ(idComDev.load(), plat::kInvalidPort);
}

} // namespace

namespace {

// The driver's queue sizes: 0 is "no maximum" or "not reported", never a
// size; a limit or a smaller queue lowers what is asked for.
TEST(QueueSizes, ZerosMeanNoLimitAndNotReported) {
    struct Case {
        uint32_t maximum, current, wanted, kept;
    } cases[] = {
        {0, 0, 1024, 1024},      // nothing reported: the size asked for
        {0, 4096, 1024, 4096},   // no maximum: the current size is kept
        {512, 0, 512, 512},      // a maximum below 1024; current unknown
        {4096, 256, 1024, 1024}, // the driver grows its queue to the request
        {256, 128, 256, 256},    // a limit lowers the request
    };
    for (const Case &c : cases) {
        const uint32_t wanted = QueueSizeWanted(1024, c.maximum, c.current);
        EXPECT_EQ(wanted, c.wanted) << c.maximum << "/" << c.current;
        const uint32_t after = c.current >= wanted || c.current == 0 ? c.current : wanted;
        EXPECT_TRUE(QueueSizeFits(after, wanted));
        EXPECT_EQ(QueueSizeTaken(wanted, after), c.kept) << c.maximum << "/" << c.current;
    }
    EXPECT_FALSE(QueueSizeFits(512, 1024));
}

} // namespace
