// A long random stream, rich in DLE pairs, from the far end of a
// pseudo-terminal through the receive thread and GetCommFeedback.
#include <gtest/gtest.h>

#include <random>

#include "PtyPair.h"
#include "Recorder.h"
#include "serial/Engine.h"

using testing_support::PtyPair;
using testing_support::WaitUntil;

namespace {

// What one pass of the DLE scan over the whole stream gives: the bytes that
// stay in the text, and the tokens.
void ExpectedScan(const std::string &in, std::string &raw, std::string &codes) {
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '\x10' || i + 1 == in.size()) {
            raw += in[i];
            continue;
        }
        unsigned char next = static_cast<unsigned char>(in[i + 1]);
        if (next == 0x10 || next == 0x12) {
            raw += in.substr(i, 2);
            ++i;
            continue;
        }
        switch (next) {
        case 0x03: codes += "<ETX>"; break;
        case 0x14: codes += "<DC4>"; break;
        case 0x18: codes += "<CAN>"; break;
        case 0x1C: codes += "<FS>"; break;
        case 0x00: codes += "<NUL>"; break;
        default: codes += "<" + std::string(1, char(next)) + ">";
        }
        ++i;
    }
}

// Where two long strings first differ, -1 when they are equal.
long FirstDifference(const std::string &a, const std::string &b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i])
            return long(i);
    return a.size() == b.size() ? -1 : long(n);
}

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
    ExpectedScan(stream, raw, codes);

    pty.Write(stream);
    ASSERT_TRUE(WaitUntil([&] { return Recorder::Instance().Raw().size() >= raw.size(); }, 60000))
        << Recorder::Instance().Raw().size() << " of " << raw.size();
    EXPECT_EQ(FirstDifference(Recorder::Instance().Raw(), raw), -1);
    EXPECT_EQ(FirstDifference(Recorder::Instance().Codes(), codes), -1);
    ReleaseModem();
}

} // namespace
