// Text output through the emulator beyond what libvterm compares: line
// graphics, echoes, and the same screen whatever the chunking for everything
// the emulator understands, the console's own rules included.
#include "ScreenFixture.h"

#include <cstring>
#include <random>
#include <vector>

namespace {

using Text = Screen;

TEST_F(Text, LineGraphicsTranslateWithoutTouchingTheCallersText) {
    Feed("\x1b(0lqqk\x0fx\x0ex\x1b(Bx");
    const char *expected = "\xda\xc4\xc4\xbf"
                           "x\xb3x";
    EXPECT_EQ(Row(0), expected);
    // The backend's own caller may hand constant text.
    static const char kConst[] = "mjq";
    char copy[sizeof kConst];
    std::memcpy(copy, kConst, sizeof kConst);
    Feed("\x0e");
    beRawTextOut(copy, 3);
    EXPECT_STREQ(copy, "mjq");
    EXPECT_EQ(Row(0).substr(7), "\xc0\xd9\xc4");
    Feed("\x1b[mq");
    EXPECT_EQ(Row(0).substr(10), "q");
}

TEST_F(Text, EchoesReachTheScreen) {
    Feed("\x01\x1bQ\x80");
    EXPECT_EQ(Row(0), "^A<esc>Q^\xc0");
    Feed("\r\n");
    vtputs("put");
    vtprintf("%d%s", 12, "ab");
    EXPECT_EQ(Row(1), "put");
    EXPECT_EQ(Row(2), "12ab");
}

// The screen as text: every cell, the cursor and the window.
std::string Snapshot() {
    plat::con::ScreenBufferInfo info{};
    plat::con::GetScreenBufferInfo(plat::con::GetStdOutput(), &info);
    std::string shot;
    for (int y = 0; y < info.dwSize.Y; ++y)
        for (int x = 0; x < info.dwSize.X; ++x) {
            auto cell = plat::con::model::At(x, y);
            shot += cell.Char;
            shot += char(cell.Attributes);
        }
    shot += std::to_string(info.dwCursorPosition.X) + "," +
            std::to_string(info.dwCursorPosition.Y) + "/" + std::to_string(info.srWindow.Top) +
            "/" + std::to_string(info.srWindow.Left) + "/" + std::to_string(info.dwSize.X) + "/" +
            std::to_string(info.wAttributes);
    return shot;
}

// Random modem output, heavy in what interacts with chunk ends and the edge.
std::string RandomOutput(std::mt19937 &rng, size_t length) {
    // Pieces, split at '|'.
    static const std::string kPieces =
        "\x1b[|\x1b[?7l|\x1b[?7h|\x1b[?3h|\x1b[?3l|\r\n|\n|\r|\t|\x1b(0|\x1b(B|\x0e|\x0f|"
        "\x1b[1;31m|\x1b[m|\x1b[7m|\x1b[44m|\x1b[K|\x1b[1K|\x1b[J|\x1b[2J|\x1b[P|\x1b[3M|"
        "\x1b[L|\x1b[5;20r|\x1b[r|\x1b[H|\x1b[12;70H|\x1b[25;1H|\x1b[A|\x1b[3B|\x1b[9C|"
        "\x1b[D|\x1b"
        "7|\x1b"
        "8|\x1b[g|\x1b[3g|\x1b|\x1b\x1b|\x08|\x1bM|\x1b"
        "E|\x1b"
        "D|"
        "lqqk|\x80|\x01|\x1b[?25h|\x1b[99P|\x0b|\x1b[" +
        std::string(150, '1') + "|\x1b[2 q";
    std::vector<std::string> pieces;
    for (size_t at = 0, bar; at <= kPieces.size(); at = bar + 1) {
        bar = std::min(kPieces.find('|', at), kPieces.size());
        pieces.push_back(kPieces.substr(at, bar - at));
    }
    std::string out;
    std::uniform_int_distribution<int> kind(0, 9);
    std::uniform_int_distribution<size_t> piece(0, pieces.size() - 1);
    std::uniform_int_distribution<int> textLength(1, 120);
    std::uniform_int_distribution<int> letter('a', 'z');
    while (out.size() < length) {
        if (kind(rng) < 4) {
            for (int n = textLength(rng); n > 0; --n)
                out += char(letter(rng));
        } else {
            out += pieces[piece(rng)];
        }
    }
    out.resize(length);
    return out;
}

TEST_F(Text, AnyChunkingGivesTheSameScreenAsOnePiece) {
    std::mt19937 rng(20261206);
    for (int round = 0; round < 60; ++round) {
        const std::string input = RandomOutput(rng, 3000);
        SetUp();
        Feed(input);
        const std::string whole = Snapshot();
        SetUp();
        std::uniform_int_distribution<size_t> chunk(1, 40);
        for (size_t pos = 0; pos < input.size();) {
            size_t n = std::min(chunk(rng), input.size() - pos);
            ASSERT_EQ(Feed(input.substr(pos, n)), 0);
            pos += n;
        }
        ASSERT_EQ(Snapshot(), whole) << "round " << round;
    }
}

} // namespace
