// A far end that stops reading for longer than the transmit attempts last
// (101 attempts of up to 251 ms): nothing queued is lost. The client hears
// 1126 once for the hold, and once the far end reads again every byte
// arrives once and in order. About half a minute: it runs under a label of
// its own, outside the quick suite.
#include <gtest/gtest.h>

#include "PtyPair.h"
#include "Recorder.h"
#include "falcrest/Falcrest.h"

using testing_support::PtyPair;
using testing_support::WaitUntil;

namespace {

TEST(TransmitLong, FarEndThatStopsReadingLosesNothing) {
    PtyPair pty;
    Recorder::Instance().Reset();
    ASSERT_GT(InitModem(Recorder::Instance().Target(), pty.PortPath().c_str(),
                        "baud=115200 octs=off odsr=off xon=off"),
              0);
    std::string data(256 * 1024, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = char(i * 7 + i / 251);
    ASSERT_EQ(SendDataToModem(data.data(), int(data.size())), 0);
    // The far end reads nothing until the attempts on the chunk have run out.
    ASSERT_TRUE(WaitUntil([] { return Recorder::Instance().TxFailures() > 0; }, 60000));
    std::string got = pty.ReadAtLeast(data.size(), 30000);
    EXPECT_EQ(Recorder::Instance().TxFailures(), 1);
    EXPECT_EQ(got.size(), data.size());
    EXPECT_TRUE(got == data) << "bytes lost, doubled or out of order";
    ReleaseModem();
}

} // namespace
