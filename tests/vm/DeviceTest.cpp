// What only real serial drivers answer, run inside the test machine
// (tests/vm/run.sh): the 16550 on /dev/ttyS1, whose far end on the host
// echoes, and the USB serial adapter on /dev/ttyUSB0, whose line goes to a
// vmodem on the host. Requests to the host (tests/vm/host.py) go over
// /dev/ttyS2, which the machine's init has made raw.
#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

#include "PtyPair.h"
#include "Recorder.h"
#include "platform/Serial.h"

using testing_support::WaitUntil;

namespace {

void Host(const char *request) {
    static FILE *host = fopen("/dev/ttyS2", "r+");
    char answer[256] = "";
    ASSERT_TRUE(host && fprintf(host, "%s\n", request) > 0 && fflush(host) == 0 &&
                fgets(answer, sizeof answer, host));
    ASSERT_STREQ(answer, "ok\n") << request;
}

int Open(const char *path, int rate) {
    Recorder::Instance().Reset();
    std::string mode = "baud=" + std::to_string(rate) + " octs=off odsr=off xon=off";
    return InitModem(Recorder::Instance().Target(), path, mode.c_str());
}

// Sends bytes, and waits for the answer to arrive among what came back.
bool Ask(const std::string &bytes, const std::string &answer) {
    return SendDataToModem(bytes.data(), int(bytes.size())) == 0 &&
           WaitUntil([&] { return Recorder::Instance().Raw().find(answer) != std::string::npos; },
                     20000);
}

TEST(Uart, RefusesARateItsClockCannotMakeAndReportsABreakAsAnError) {
    EXPECT_EQ(Open("/dev/ttyS1", 921600), FALCREST_ERR_PORT);
    ASSERT_GT(Open("/dev/ttyS1", 115200), 0);
    Host("break");
    EXPECT_TRUE(WaitUntil([] {
        uint32_t all = 0;
        for (const Notification &n : Recorder::Instance().Notes())
            all |= n.error;
        return (all & plat::kCeBreak) != 0;
    }));
    // The break leaves no byte of its own among the data.
    ASSERT_TRUE(Ask("ping", "ping"));
    EXPECT_EQ(Recorder::Instance().Raw(), "ping");
    ReleaseModem();
}

TEST(Adapter, PulledOutUnderATransferAndPluggedBackIn) {
    ASSERT_GT(Open("/dev/ttyUSB0", 115200), 0);
    ASSERT_TRUE(Ask("ATS12=5D5\r", "CONNECT"));
    ASSERT_TRUE(Ask(std::string(64 << 10, 'x'), ""));
    Host("unplug");
    EXPECT_TRUE(WaitUntil([] { return Recorder::Instance().Errors() > 0; }, 20000));
    ReleaseModem();
    Host("plug");
    // The new node comes a little before its driver takes opens.
    int port = 0;
    EXPECT_TRUE(WaitUntil([&] { return (port = Open("/dev/ttyUSB0", 115200)) > 0; }, 20000));
    ASSERT_GT(port, 0);
    // The call is still up at the modem: the escape takes it back to commands.
    ASSERT_TRUE(Ask("+++", "OK\r\n"));
    ASSERT_TRUE(Ask("ATI\r", "Quenby Virtual Modem"));
    EXPECT_EQ(Recorder::Instance().Errors(), 0);
    ReleaseModem();
}

} // namespace
