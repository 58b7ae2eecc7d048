// A long random stream, rich in DLE pairs, from the far end of a
// pseudo-terminal through the receive thread and GetCommFeedback.
#include <gtest/gtest.h>

#include <random>

#include "DleScanModel.h"
#include "PtyPair.h"
#include "Recorder.h"
#include "serial/EngineState.h"

using testing_support::PtyPair;
using testing_support::WaitUntil;

namespace {

TEST(Stream, OneMegabyteArrivesOnceAndInOrder) {
    PtyPair pty;
    Recorder &client = Recorder::Instance();
    client.Reset();
    ASSERT_GT(InitModem(client.Target(), pty.PortPath().c_str(),
                        "baud=3000000 octs=off odsr=off xon=off"),
              0);
    std::mt19937 rng(1234);
    const char partners[] = "\x10\x03\x12\x14\x18\x1c\x62\x35"; // b, 5 and the closing NUL
    std::string stream;
    while (stream.size() < (1u << 20))
        if (rng() % 16 < 3)
            stream += {'\x10', partners[rng() % sizeof partners]};
        else
            stream += char(rng());
    stream.back() = 'x'; // a trailing DLE would wait for a partner forever
    std::string raw, codes;
    bool heldBack;
    testing_support::ExpectedDleScan(stream, 1, raw, codes, heldBack);
    pty.Write(stream);
    ASSERT_TRUE(WaitUntil([&] { return client.Raw().size() >= raw.size(); }, 60000))
        << client.Raw().size() << " of " << raw.size();
    EXPECT_TRUE(client.Raw() == raw) << "bytes lost, doubled or reordered";
    EXPECT_TRUE(client.Codes() == codes) << "tokens lost, doubled or reordered";
    ReleaseModem();
}

} // namespace
