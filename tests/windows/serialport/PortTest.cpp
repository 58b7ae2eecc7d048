// The Win32 serial backend where it differs from the POSIX one: a write that
// the line cannot take. (Wine cannot show hang-ups, exclusive opens or reads
// with ReadIntervalTimeout MAXDWORD.)
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "PortFixture.h"
#include "platform/Serial.h"

namespace {

using Port = serialtest::PortTest;

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
