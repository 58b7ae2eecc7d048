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
    Recorder::Instance().Reset();
    ASSERT_GT(InitModem(Recorder::Instance().Target(), pty.PortPath().c_str(),
                        "baud=3000000 octs=off odsr=off xon=off"),
              0);
    std::mt19937 rng(1234);
    std::string stream;
    const char specials[] = {'\x10', '\x03', '\x12', '\x14', '\x18', '\x1c', 'b', '5', '\0'};
    while (stream.size() < (1u << 20)) {
        unsigned r = rng() % 16;
        if (r < 3) {
            stream += '\x10';
            stream += specials[rng() % sizeof specials];
        } else {
            stream += char(rng() & 0xFF);
        }
    }
    if (stream.back() == '\x10')
        stream.back() = 'x'; // a trailing DLE would wait for a partner forever
    std::string raw, codes;
    bool heldBack;
    testing_support::ExpectedDleScan(stream, 1, raw, codes, heldBack);

    pty.Write(stream);
    ASSERT_TRUE(WaitUntil([&] { return Recorder::Instance().Raw().size() >= raw.size(); }, 60000))
        << Recorder::Instance().Raw().size() << " of " << raw.size();
    EXPECT_TRUE(Recorder::Instance().Raw() == raw) << "bytes lost, doubled or reordered";
    EXPECT_TRUE(Recorder::Instance().Codes() == codes) << "tokens lost, doubled or reordered";
    ReleaseModem();
}

} // namespace
