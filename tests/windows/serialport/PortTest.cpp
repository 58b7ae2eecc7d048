// The Win32 serial backend where it differs from the POSIX one: port names,
// and a write that the line cannot take. (Wine cannot show hang-ups,
// exclusive opens or reads with ReadIntervalTimeout MAXDWORD.)
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "PortFixture.h"
#include "platform/Serial.h"

namespace {

using Port = serialtest::PortTest;

TEST_F(Port, NamesInEveryFormOpen) {
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
}

TEST_F(Port, WriteTheLineCannotTakeEndsWithFewerBytes) {
    Timeouts(0, 0, 0, 0, 50);
    std::string big(1 << 20, 'w'); // far more than the line buffers unread
    uint32_t written = 0, result = 1;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        result = plat::WritePort(port, big.data(), uint32_t(big.size()), &written);
        done = true;
    });
    bool ended = testing_support::WaitUntil([&] { return done.load(); }, 5000);
    if (!ended) // let the writer go before failing
        pty.ReadAtLeast(big.size(), 20000);
    writer.join();
    EXPECT_TRUE(ended) << "a write on a stalled line ignored its time-out";
    EXPECT_EQ(result, 0u);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, big.size());
    EXPECT_EQ(pty.ReadAtLeast(written, 10000).size(), written);
}

} // namespace
