// The Win32 serial backend on a COM port whose far end the test drives: the
// results the engine relies on must match the POSIX backend's (the same
// cases as the POSIX port tests, where Wine can show them). Not here: the
// time-out modes with ReadIntervalTimeout MAXDWORD (an overlapped read in them
// never completes under Wine; the engine does not use them), hang-ups (Wine
// cannot close the far end of a port) and exclusive opens (Wine allows a
// second open).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "PortFixture.h"
#include "platform/Serial.h"

namespace {

using testing_support::WaitUntil;

using serialtest::Since;
using Port = serialtest::PortTest;

TEST_F(Port, NamesInEveryFormOpen) {
    // \\.\COMn, COMn: and COMn name the same port; a second open is refused
    // by Windows but not by Wine, so that is not asserted here.
    std::string name = pty.PortPath();
    plat::ClosePort(port);
    port = plat::kInvalidPort;
    for (std::string form : {"\\\\.\\" + name, name + ":", name}) {
        plat::PortHandle p = plat::OpenPort(form.c_str());
        EXPECT_NE(p, plat::kInvalidPort) << form;
        EXPECT_TRUE(plat::ClosePort(p)) << form;
    }
    uint32_t error = 0;
    EXPECT_EQ(plat::OpenPort("COM99", &error), plat::kInvalidPort);
    EXPECT_EQ(error, plat::kErrFileNotFound);
    EXPECT_FALSE(plat::ClosePort(plat::kInvalidPort));
    EXPECT_EQ(plat::LastError(), plat::kErrInvalidHandle);
}

TEST_F(Port, QueuesAndStatus) {
    plat::CommProperties props;
    ASSERT_TRUE(plat::GetCommProperties(port, props));
    EXPECT_GT(props.dwCurrentRxQueue | props.dwMaxRxQueue, 0u);
    EXPECT_TRUE(plat::SetupComm(port, 1024, 1024));
    uint32_t errors = 99;
    plat::ComStat status;
    ASSERT_TRUE(plat::ClearCommError(port, &errors, &status));
    EXPECT_EQ(errors, 0u);
    EXPECT_EQ(status.cbInQue, 0u);
    pty.Write("hello");
    EXPECT_TRUE(WaitUntil([&] { return InQueue() == 5; }));
}

TEST_F(Port, ModemLinesOfAPtyFailHonestly) {
    // The same answers as the POSIX backend: a pty has no modem lines.
    EXPECT_FALSE(plat::EscapeCommFunction(port, plat::kSetDtr));
    EXPECT_EQ(plat::LastError(), plat::kErrNotSupported);
    EXPECT_FALSE(plat::EscapeCommFunction(port, plat::kClrRts));
    EXPECT_EQ(plat::LastError(), plat::kErrNotSupported);
    uint32_t status = 99;
    EXPECT_FALSE(plat::GetCommModemStatus(port, &status));
    EXPECT_EQ(status, 0u);
    EXPECT_TRUE(plat::EscapeCommFunction(port, plat::kSetXon));
    EXPECT_TRUE(plat::SetCommBreak(port));
    EXPECT_TRUE(plat::ClearCommBreak(port));
    plat::DisableStatusInsertion(port); // not implemented by Wine; must not hang
}

// Last in the file: it fills the line, and the far end then drains it.
TEST_F(Port, WriteTheLineCannotTakeEndsWithFewerBytes) {
    Timeouts(0, 0, 0, 0, 50);
    std::string big(1 << 20, 'w'); // far more than the line buffers unread
    uint32_t written = 0;
    uint32_t result = 1;
    auto start = std::chrono::steady_clock::now();
    std::atomic<bool> done{false};
    std::thread writer([&] {
        result = plat::WritePort(port, big.data(), uint32_t(big.size()), &written);
        done = true;
    });
    bool ended = WaitUntil([&] { return done.load(); }, 5000);
    if (!ended) { // let the writer go before failing
        pty.ReadAtLeast(big.size(), 20000);
    }
    writer.join();
    EXPECT_TRUE(ended) << "a write on a stalled line ignored its time-out";
    EXPECT_EQ(result, 0u);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, big.size());
    EXPECT_GE(Since(start), 45.0);
    std::string rest = pty.ReadAtLeast(written, 10000);
    EXPECT_EQ(rest.size(), written);
}

} // namespace
