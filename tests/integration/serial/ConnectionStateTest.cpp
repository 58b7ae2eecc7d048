// Connecting, as the port reads it back: what the engine derives from a DCB
// string, repeated connections keeping the port and the threads, a rejected
// string leaving the port working. Built for POSIX and, over COM ports, for
// Windows (tests/windows/engine).
#include <gtest/gtest.h>

#include "PtyPair.h"
#include "Recorder.h"
#include "serial/EngineState.h"

#include <vector>

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
    PtyPair pty;
};

// Only the handshake keys count: the line is always 8N1, and without software
// flow control the characters stay (a state with two equal ones is refused
// by Windows).
TEST_F(ConnectionState, KeysAreCaseInsensitiveAndOnlyHandshakeKeysCount) {
    ASSERT_GT(Open("BAUD=9600 PARITY=E DATA=7 STOP=2 XON=ON OCTS=OFF"), 0);
    plat::Dcb dcb;
    ASSERT_TRUE(plat::GetCommState(idComDev, dcb));
    EXPECT_EQ(std::vector<uint32_t>({dcb.BaudRate, dcb.fBinary, dcb.fInX, dcb.fOutX, dcb.ByteSize,
                                     dcb.Parity, dcb.StopBits, dcb.fOutxCtsFlow, dcb.fDtrControl,
                                     dcb.fRtsControl}),
              std::vector<uint32_t>({9600, 1, 1, 0, 8, plat::kNoParity, plat::kOneStopBit, 0,
                                     plat::kDtrControlEnable, plat::kRtsControlEnable}));
#if !defined(_WIN32)
    // Wine's comm state on a pseudo-terminal keeps neither of these.
    EXPECT_EQ(dcb.fOutxDsrFlow, 1u); // odsr not named: on
    EXPECT_EQ(dcb.XonLim, iIQSize / 8);
#endif
    ASSERT_GT(Open("baud=4800 xon=off"), 0);
    ASSERT_TRUE(plat::GetCommState(idComDev, dcb));
    EXPECT_EQ(dcb.BaudRate, 4800u);
    EXPECT_EQ(dcb.fInX | dcb.fOutX, 0u);
    EXPECT_EQ(dcb.XonChar * 100 + dcb.XoffChar, 17 * 100 + 19);
}

// A second InitModem keeps the port and the threads and applies its string;
// a rejected one leaves the port as it was. Either way the resumed workers
// still carry data both ways.
TEST_F(ConnectionState, SecondInitKeepsThePortAndTheThreads) {
    int handle = Open("baud=9600");
    ASSERT_GT(handle, 0);
    uint32_t ids[3] = {dwThreadReadID, dwThreadWriteID, dwThreadFlow};
    EXPECT_EQ(Open("baud=19200 xon=off"), handle);
    EXPECT_EQ(Open("baud=fast parity=maybe"), FALCREST_ERR_PORT);
    EXPECT_EQ(Open(nullptr), FALCREST_ERR_ARG);
    EXPECT_EQ(dwThreadReadID.load(), ids[0]);
    EXPECT_EQ(dwThreadWriteID.load(), ids[1]);
    EXPECT_EQ(dwThreadFlow.load(), ids[2]);
    plat::Dcb dcb;
    ASSERT_TRUE(plat::GetCommState(idComDev, dcb));
    EXPECT_EQ(dcb.BaudRate, 19200u);
    SendDataToModem("ping", 4);
    EXPECT_EQ(pty.ReadAtLeast(4), "ping");
    pty.Write("pong");
    EXPECT_TRUE(WaitUntil([] { return Recorder::Instance().Raw() == "pong"; }));
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
