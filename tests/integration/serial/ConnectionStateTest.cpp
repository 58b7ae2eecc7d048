// Connecting, as the port reads it back and, on POSIX, as stty sees it: what
// the engine derives from a DCB string, repeated connections keeping the port
// and the threads, a rejected string or port name leaving the port working.
// Built for POSIX and, over COM ports, for Windows (tests/windows/engine).
#include <gtest/gtest.h>

#include "PtyPair.h"
#include "Recorder.h"
#include "serial/EngineState.h"

#include <vector>
#if !defined(_WIN32)
#include "Stty.h"
#include <unistd.h>
#endif

using testing_support::PtyPair;
using testing_support::WaitUntil;

namespace {

class ConnectionState : public ::testing::Test {
protected:
    void SetUp() override { Recorder::Instance().Reset(); }
    void TearDown() override { ReleaseModem(); }
    int Open(const char *dcb, const std::string &port = "") {
        return InitModem(Recorder::Instance().Target(),
                         (port.empty() ? pty.PortPath() : port).c_str(), dcb);
    }
    PtyPair pty;
};

// Only the handshake keys count: the line is always 8N1, and without software
// flow control the characters stay (a state with two equal ones is refused
// by Windows, so a device left without any must not hand the state two). A
// first open that fails leaves nothing open; a second InitModem keeps the port
// and the threads and applies its string; a rejected one leaves the port as
// it was. Either way the resumed workers still carry data both ways.
TEST_F(ConnectionState, KeysReachThePortAndRejectedStringsLeaveItAsItWas) {
#if !defined(_WIN32)
    testing_support::RunCommand("stty start undef stop undef <&" + std::to_string(pty.FarFd()));
#endif
    EXPECT_EQ(Open("baud=fast"), FALCREST_ERR_PORT);
    EXPECT_FALSE(PortIsOpen());
    const int handle = Open("BAUD=9600 PARITY=E DATA=7 STOP=2 XON=ON OCTS=OFF");
    ASSERT_GT(handle, 0);
    const uint32_t ids[3] = {dwThreadReadID, dwThreadWriteID, dwThreadFlow};
    plat::Dcb dcb;
    ASSERT_TRUE(plat::GetCommState(idComDev, dcb));
    EXPECT_EQ(std::vector<uint32_t>({dcb.BaudRate, dcb.fBinary, dcb.fInX, dcb.fOutX, dcb.ByteSize,
                                     dcb.Parity, dcb.StopBits, dcb.fOutxCtsFlow, dcb.fDtrControl,
                                     dcb.fRtsControl}),
              std::vector<uint32_t>({9600, 1, 1, 0, 8, plat::kNoParity, plat::kOneStopBit, 0,
                                     plat::kDtrControlEnable, plat::kRtsControlEnable}));
    EXPECT_EQ(Open("baud=4800 xon=off"), handle);
    EXPECT_EQ(Open("baud=fast parity=maybe"), FALCREST_ERR_PORT);
    EXPECT_EQ(Open(nullptr), FALCREST_ERR_ARG);
    EXPECT_EQ(std::vector<uint32_t>({dwThreadReadID, dwThreadWriteID, dwThreadFlow}),
              std::vector<uint32_t>(ids, ids + 3));
    ASSERT_TRUE(plat::GetCommState(idComDev, dcb));
    EXPECT_EQ(dcb.BaudRate, 4800u);
    EXPECT_EQ(dcb.fInX | dcb.fOutX, 0u);
    EXPECT_EQ(dcb.XonChar * 100 + dcb.XoffChar, 17 * 100 + 19);
#if !defined(_WIN32)
    // Wine's comm state on a pseudo-terminal keeps neither of these.
    EXPECT_EQ(dcb.fOutxDsrFlow, 1u); // odsr not named: on
    EXPECT_EQ(dcb.XonLim, iIQSize / 8);
    const std::string settings = testing_support::Stty(pty);
    for (const char *word : {"4800", "-ixoff", "-ixon", "crtscts" /* octs not named: on */, "cs8",
                             "-parenb", "^Q", "^S"})
        EXPECT_TRUE(testing_support::SttyHas(settings, word)) << word << " in " << settings;
    // A pseudo-terminal has no modem lines: no status is made up.
    uint32_t status = 7;
    EXPECT_EQ(GetCommStatus(&status), 0);
    EXPECT_EQ(status, 0u);
#endif
    SendDataToModem("ping", 4);
    EXPECT_EQ(pty.ReadAtLeast(4), "ping");
    pty.Write("pong");
    EXPECT_TRUE(WaitUntil([] { return Recorder::Instance().Raw() == "pong"; }));
}

#if !defined(_WIN32)
// A name that is not a path may have nine characters. A longer one is
// refused: cut to nine, it would open another device, here one named for the
// test under /dev.
TEST_F(ConnectionState, LongNamesAreRefusedNotCut) {
    const std::string nine = "fc" + std::to_string(1000000 + getpid() % 9000000);
    const std::string device = "/dev/" + nine;
    if (symlink(pty.PortPath().c_str(), device.c_str()) != 0)
        GTEST_SKIP() << "cannot name a device under /dev";
    EXPECT_EQ(Open("baud=9600", nine + "0"), FALCREST_ERR_PORT);
    EXPECT_GT(Open("baud=9600", nine), 0);
    unlink(device.c_str());
}
#endif

// The driver's queue sizes: 0 is "no maximum" or "not reported", never a
// size; a limit or a smaller queue lowers what is asked for.
TEST(QueueSizes, ZerosMeanNoLimitAndNotReported) {
    // Rows: maximum, current, wanted, the size the driver reports after the
    // request, the size kept.
    const uint32_t rows[][5] = {{0, 0, 1024, 0, 1024},
                                {0, 4096, 1024, 4096, 4096},
                                {512, 0, 512, 0, 512},
                                {4096, 256, 1024, 1024, 1024},
                                {256, 128, 256, 256, 256}};
    for (const auto &r : rows) {
        EXPECT_EQ(QueueSizeWanted(1024, r[0], r[1]), r[2]) << r[0] << "/" << r[1];
        EXPECT_TRUE(QueueSizeFits(r[3], r[2])) << r[0] << "/" << r[1];
        EXPECT_EQ(QueueSizeTaken(r[2], r[3]), r[4]) << r[0] << "/" << r[1];
    }
    EXPECT_FALSE(QueueSizeFits(512, 1024));
}

} // namespace
