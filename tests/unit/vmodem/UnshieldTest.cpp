// DLE unshielding in each dialect, across block boundaries, and the transmit
// buffer's rate.
#include "Unshield.h"
#include "LineBuffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vmodem;

namespace {

struct SOutcome {
    std::string data; // with each control code the modem acted on as "<c>"
    size_t consumed = 0;
    size_t stray = 0;
};

// Feeds input in blocks of blockSize bytes until DLE ETX or the end.
SOutcome Unshield(EDialect dialect, const std::string &input, size_t blockSize) {
    CUnshielder u(dialect);
    std::vector<uint8_t> out;
    SOutcome o;
    while (o.consumed < input.size()) {
        size_t n = std::min(blockSize, input.size() - o.consumed);
        uint8_t control = 0;
        o.consumed +=
            u.Feed(reinterpret_cast<const uint8_t *>(input.data()) + o.consumed, n, out, control);
        o.data.append(out.begin(), out.end());
        out.clear();
        if (control)
            o.data += "<" + std::string(1, char(control)) + ">";
        if (control == kEtx)
            break;
    }
    o.stray = u.Stray();
    return o;
}

const std::string D = "\x10";
const std::string E = "\x03";

} // namespace

TEST(Unshield, EachDialectAsAModemReadsIt) {
    struct SCase {
        EDialect dialect;
        std::string input, data;
        size_t stray;
    } cases[] = {
        // Fax: DLE DLE is one DLE, other pairs are deleted and counted,
        // DLE DLE DLE ETX is a DLE and the end; what follows is not read.
        {EDialect::Fax, "a" + D + D + "b" + D + "\x18" + D + "," + D + D + D + E + "tail",
         "a" + D + "b" + D + "<" + E + ">", 2},
        // Class 2.0: the post-page pairs are the modem's, not the data's.
        {EDialect::FaxPostPage, "x" + D + D + D + ";" + "y" + D + "." + D + "a",
         "x" + D + "<;>y<.>", 1},
        // Voice: the commands are acted on, other pairs deleted.
        {EDialect::Voice,
         D + "\x18" + D + "\x14" + D + "!" + D + "p" + D + "r" + D + "u" + D + "d" + D + "A" + D +
             "b" + D + D + D + E,
         "<\x18><\x14><!><p><r><u><d>" + D + "<" + E + ">", 2},
    };
    for (const SCase &c : cases)
        for (size_t block : {1, 2, 3, 1000}) {
            SOutcome o = Unshield(c.dialect, c.input, block);
            EXPECT_EQ(o.data, c.data) << int(c.dialect) << " block " << block;
            EXPECT_EQ(o.stray, c.stray) << int(c.dialect) << " block " << block;
        }
    EXPECT_EQ(Unshield(EDialect::Fax, "ab" + D + E + "tail", 1000).consumed, 4u);
}

TEST(LineBuffer, DrainsAtItsRateAndLosesWhatDoesNotFit) {
    CLineBuffer b;
    auto t0 = Clock::now();
    b.Start(1000, t0); // bytes a second
    std::string big(1500, 'x');
    EXPECT_EQ(b.Push(reinterpret_cast<const uint8_t *>(big.data()), big.size()), 476u);
    std::vector<uint8_t> sent;
    b.Drain(t0 + std::chrono::milliseconds(100), sent);
    EXPECT_EQ(sent.size(), 100u);
    EXPECT_EQ(*b.WhenFillIs(CLineBuffer::kLowWater), t0 + std::chrono::milliseconds(768));
    // Paused, nothing leaves; the pause is not made up for afterwards.
    b.Pause(true, t0 + std::chrono::milliseconds(100));
    b.Drain(t0 + std::chrono::milliseconds(600), sent);
    EXPECT_FALSE(b.WhenFillIs(0));
    b.Pause(false, t0 + std::chrono::milliseconds(600));
    b.Drain(t0 + std::chrono::milliseconds(700), sent);
    EXPECT_EQ(sent.size(), 200u);
    // An idle line does not save up for a burst.
    b.Drain(t0 + std::chrono::seconds(5), sent);
    EXPECT_EQ(b.Fill(), 0u);
    b.Push(reinterpret_cast<const uint8_t *>(big.data()), 10);
    b.Drain(t0 + std::chrono::seconds(5), sent);
    EXPECT_LE(b.Fill(), 10u);
    EXPECT_GE(b.Fill(), 9u);
}
