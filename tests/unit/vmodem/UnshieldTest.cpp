// DLE unshielding per format, across block boundaries.
#include "Unshield.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vmodem;

namespace {

struct SOutcome {
    std::string data;
    size_t consumed;
    bool ended;
    size_t stray;
};

// Feeds input in blocks of blockSize bytes.
SOutcome Unshield(EShield shield, const std::string &input, size_t blockSize = 1000) {
    CUnshielder u(shield);
    std::vector<uint8_t> out;
    size_t consumed = 0;
    while (consumed < input.size() && !u.Ended()) {
        size_t n = std::min(blockSize, input.size() - consumed);
        consumed += u.Feed(reinterpret_cast<const uint8_t *>(input.data()) + consumed, n, out);
    }
    return {std::string(out.begin(), out.end()), consumed, u.Ended(), u.Stray()};
}

const std::string D = "\x10";
const std::string E = "\x03";

} // namespace

TEST(Unshield, FormatsMapToTheirShielding) {
    EXPECT_EQ(ShieldForVoiceFormat(7), EShield::Raw);
    EXPECT_EQ(ShieldForVoiceFormat(8), EShield::Doubled);
    EXPECT_EQ(ShieldForVoiceFormat(4), EShield::Doubled);
    for (int f : {0, 1, 2, 3, 5, 6, 9, 255})
        EXPECT_EQ(ShieldForVoiceFormat(f), EShield::VoiceCodes) << f;
}

TEST(Unshield, EachShieldingUndoesItsSender) {
    // Raw: every DLE stands alone, even two in a row; only DLE ETX ends.
    SOutcome raw = Unshield(EShield::Raw, "a" + D + D + "b" + D + "\x18" + D + E + "tail");
    EXPECT_EQ(raw.data, "a" + D + D + "b" + D + "\x18");
    EXPECT_TRUE(raw.ended);
    EXPECT_EQ(raw.consumed, 8u);

    // Doubled: DLE DLE is one DLE; DLE DLE DLE ETX is a DLE and the end.
    SOutcome doubled = Unshield(EShield::Doubled, D + D + D + D + "x" + D + D + D + E);
    EXPECT_EQ(doubled.data, D + D + "x" + D);
    EXPECT_TRUE(doubled.ended);
    EXPECT_EQ(doubled.stray, 0u);

    // Voice codes pass through as pairs; other pairs are stray but kept.
    std::string codes;
    for (char c : std::string("\x12\x14\x18\x1C\x70\x72"))
        codes += D + c;
    SOutcome voice = Unshield(EShield::VoiceCodes, codes + D + D + D + "A" + D + E);
    EXPECT_EQ(voice.data, codes + D + D + "A");
    EXPECT_EQ(voice.stray, 1u);
    EXPECT_TRUE(voice.ended);
}

TEST(Unshield, PairsSplitAcrossBlocks) {
    const std::string input = "ab" + D + D + "c" + D + "\x18" + D + E;
    for (size_t block = 1; block <= 4; ++block) {
        SOutcome o = Unshield(EShield::VoiceCodes, input, block);
        EXPECT_EQ(o.data, "ab" + D + "c" + D + "\x18") << block;
        EXPECT_TRUE(o.ended);
        EXPECT_EQ(o.consumed, input.size());
    }
    SOutcome raw = Unshield(EShield::Raw, D + D + E + "z", 1);
    EXPECT_EQ(raw.data, D);
    EXPECT_EQ(raw.consumed, 3u);
}

TEST(Unshield, NoEndMarkerKeepsWaiting) {
    SOutcome o = Unshield(EShield::Doubled, "data" + D);
    EXPECT_FALSE(o.ended);
    EXPECT_EQ(o.data, "data");
    EXPECT_EQ(o.consumed, 5u);
}
