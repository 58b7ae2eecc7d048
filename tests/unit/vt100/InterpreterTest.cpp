// The interpreter over a recording backend: what the sequences that the
// comparison with libvterm does not reach turn into (VT52 escapes, echoes,
// character sets, the rendition words), how chunks are held back, and
// parameters that no screen can mean.
#include "RecordingBackend.h"
#include "VT100.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class Interpreter : public ::testing::Test {
protected:
    void SetUp() override {
        recording::Reset();
        vtInitVT100();
        recording::calls.clear();
    }
    static int Feed(const std::string &bytes) {
        return vtProcessedTextOut(bytes.data(), int(bytes.size()));
    }
    static std::string Calls(const std::string &bytes) {
        recording::calls.clear();
        Feed(bytes);
        return recording::Log();
    }
};

// Any cut, even one inside a sequence, gives the calls of the whole.
TEST_F(Interpreter, AnySplitGivesTheSameCallsAsOnePiece) {
    const std::string input = "Hi\x1b[1;31mred\x1b[0m\x1b[12;40H\x1b(0lqk\x1b(B\r\n\x01\x80"
                              "\x1b[?7l\x1b[2J\x1b#8\x1bQ\x1b[;;H\x1b[3g\x1b[1;20r\t\x07z"
                              "\x1b[2 q\x1b[>c\x1b[?1;7h";
    const std::string whole = Calls(input);
    for (size_t cut = 0; cut <= input.size(); ++cut) {
        SetUp();
        Feed(input.substr(0, cut));
        Feed(input.substr(cut));
        EXPECT_EQ(recording::Log(), whole) << "cut at " << cut;
    }
}

TEST_F(Interpreter, EscapesAndControlBytes) {
    const struct {
        std::string in, calls;
    } cases[] = {
        {"\x1bQ", "Text:<esc>Q\n"},
        {"\x1b\x1bx", "Text:<esc>\x1bx\n"},
        {"\x1b"
         "c\x1b=\x1b>",
         ""},
        {"\x1b#8\x1bY12", "Text:812\n"},
        {"\x01\x80\xff", "Text:^A^\xc0^?\n"},
        {"\x7f\x1c\x1f", "Text:\x7f\x1c\x1f\n"},
        {std::string("a\0\x18"
                     "b",
                     4),
         "Text:ab\n"},
        {"\x05\x1bZ", "Transmit:vt100\nTransmit:vt100\n"},
        {"\x07\x08\x09", "Bell\nOffset(0,-1)\nTab\n"},
        {"\x0b\x0c\x1b"
         "E",
         "Text:\n\n\n\n"}, // all three are LF
        {"\x1b"
         "7\x1b"
         "8\x1b"
         "D\x1bM",
         "Save\nRestore\nIndex\nReverseIndex\n"},
        // VT52 escapes that collide with no VT100 one.
        {"\x1b"
         "A\x1bI\x1b"
         "B\x1b"
         "C\x1bH\x1bJ\x1bK",
         "Offset(-1,0)\nOffset(-1,0)\nOffset(1,0)\nOffset(0,1)\nAbs(0,0)\n"
         "Erase(-999,-999,12000,12000)\nErase(-999,-999,-999,12000)\n"},
        // Sequences of other kinds are parsed to their end and not acted on.
        {"\x1b[2 qa\x1b[>0cb\x1b[=5hc", "Text:abc\n"},
        {"\x1b[g\x1b[0g\x1b[3g\x1b[2g", "ClearTab(-999)\nClearTab(-999)\nClearTab(-1999)\n"},
        {"\x1b[5r\x1b[;7r\x1b[0;0r", "Margins(5,12000)\nMargins(1,7)\nMargins(0,0)\n"},
        {"\x1b[3J\x1b[1;2;3H", "Abs(1,2)\n"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Calls(c.in), c.calls) << c.in;
}

TEST_F(Interpreter, Vt52ModeTakesEscDAsCursorLeft) {
    EXPECT_EQ(Calls("\x1b[?2l\x1b"
                    "D\x1b[?2h\x1b"
                    "D"),
              "Mode(0xc00)\nOffset(0,-1)\nMode(0xc20)\nIndex\n");
}

TEST_F(Interpreter, CharacterSetsAndRenditionWords) {
    const struct {
        std::string in, calls;
    } cases[] = {
        {"\x0e\x1bN\x1b(0", "Attr(0x407,0)\n"}, // selected once
        {"\x0f\x1b"
         "F\x1bG\x1b)2\x1b(B",
         "Attr(0x207,0)\nAttr(0x807,0)\nAttr(0x107,0)\n"
         "Attr(0x207,0)\nAttr(0x107,0)\n"},
        {"\x1b(Ax", "Text:x\n"},
        // Colours keep the ANSI bit order; 0, a missing field or none at all
        // go back to the starting words, set and colours included.
        {"\x1b[36;41m", "Attr(0x106,0x1)\n"},
        {"\x0e\x1b[1;4;5;7;44m\x1b[m", "Attr(0x407,0)\nAttr(0x4f7,0x4)\nAttr(0x107,0)\n"},
        {"\x1b[31;;32m", "Attr(0x102,0)\n"},
        // Lists that end where they began set nothing.
        {"\x1b[1;7;33;42;22;27;39;49m\x1b[4;5;24;25;9;38;48m\x1b[m", ""},
    };
    for (const auto &c : cases) {
        SetUp();
        EXPECT_EQ(Calls(c.in), c.calls) << c.in;
    }
}

TEST_F(Interpreter, PrivateModes) {
    EXPECT_EQ(Calls("\x1b[?7l\x1b[?7l"), "Mode(0x820)\n"); // already off the second time
    EXPECT_EQ(Calls("\x1b[?3;7h\x1b[?25;0;9l"), "Mode(0x860)\nMode(0xc60)\n");
    EXPECT_EQ(Calls("\x1b[5?7h"), "Text:7h\n"); // "?" only leads
}

TEST_F(Interpreter, ParametersNoScreenCanMean) {
    const std::string thirty(30, '9');
    EXPECT_EQ(Calls("\x1b[" + thirty + "A"), "Offset(-32767,0)\n");
    EXPECT_EQ(Calls("\x1b[" + thirty + ";" + thirty + "H"), "Abs(32767,32767)\n");
    // Sixteen fit: the sixteenth (a colour) is applied, the seventeenth is not.
    std::string sgr = "\x1b[";
    for (int i = 0; i < 15; ++i)
        sgr += "1;";
    EXPECT_EQ(Calls(sgr + "32;34m"), "Attr(0x112,0)\n");
}

// A sequence longer than any meaningful one is dropped whole and the text
// after it shows, however it is cut: it never fills the buffer.
TEST_F(Interpreter, OverlongSequencesAreDroppedWhole) {
    const std::string input =
        "a\x1b[" + std::string(5000, '7') + "Ab\x1b[1;" + std::string(200, ';') + "mc";
    for (size_t chunk : {size_t(1), size_t(100), size_t(4096), input.size()}) {
        SetUp();
        for (size_t pos = 0; pos < input.size(); pos += chunk)
            ASSERT_EQ(Feed(input.substr(pos, chunk)), 0);
        EXPECT_EQ(recording::Log(), "Text:abc\n") << chunk;
    }
}

TEST_F(Interpreter, ChunksOfAnyLengthAreProcessed) {
    EXPECT_EQ(Calls(std::string(10000, 'a') + "\x1b[A"),
              "Text:" + std::string(10000, 'a') + "\nOffset(-1,0)\n");
    EXPECT_EQ(vtProcessedTextOut(nullptr, 0), 0);
    EXPECT_EQ(vtProcessedTextOut("x", -1), -1);
}

TEST_F(Interpreter, FormattedOutputIsCutToItsBuffer) {
    vtprintf("%s|%d", std::string(2000, 'x').c_str(), 5);
    ASSERT_EQ(recording::calls.size(), 1u);
    EXPECT_EQ(recording::calls[0], "Text:" + std::string(1023, 'x'));
    EXPECT_EQ(Calls(""), "");
    vtputs(std::string(1500, 'y').c_str());
    EXPECT_EQ(recording::Log(), "Text:" + std::string(1022, 'y') + "\n\n");
    recording::calls.clear();
    vtprintf("n=%d\x1b[2J", 42);
    EXPECT_EQ(recording::Log(), "Text:n=42\nErase(0,0,12000,12000)\n");
    // A conversion the C library cannot carry out (a wide character the
    // locale cannot spell) prints nothing rather than a fragment.
    recording::calls.clear();
    vtprintf("ab%ls", L"\u0444");
    EXPECT_EQ(recording::Log(), "");
}

} // namespace
