// The interpreter over a recording backend: which backend calls each byte,
// escape and control sequence produces, and how chunks are held back.
#include "RecordingBackend.h"
#include "VT100.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class Interpreter : public ::testing::Test {
protected:
    void SetUp() override {
        vtInitVT100();
        recording::Reset();
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

TEST_F(Interpreter, ChunkCutInsideASequenceIsHeldAndCompleted) {
    struct Case {
        std::string first, second, afterFirst, afterSecond;
    } cases[] = {
        {"ab\x1b", "[12A", "Text:ab\n", "Offset(-12,0)\n"},
        {"ab\x1b[", "12A", "Text:ab\n", "Offset(-12,0)\n"},
        {"ab\x1b[1", "2A", "Text:ab\n", "Offset(-12,0)\n"},
        {"ab\x1b[12", "A", "Text:ab\n", "Offset(-12,0)\n"},
        {"ab\x1b[1;", "5H", "Text:ab\n", "Abs(1,5)\n"},
        {"ab\x1b(", "0x", "Text:ab\n", "Attr(0x407,0)\nText:x\n"},
        {"\x1b[?", "7l", "", "Mode(0x820)\n"},
        {"\x1b[?7", "lz", "", "Mode(0x820)\nText:z\n"},
    };
    for (const Case &c : cases) {
        SetUp();
        EXPECT_EQ(Calls(c.first), c.afterFirst) << c.first;
        EXPECT_EQ(Calls(c.second), c.afterSecond) << c.first;
    }
}

TEST_F(Interpreter, AnySplitGivesTheSameCallsAsOnePiece) {
    const std::string input = "Hi\x1b[1;31mred\x1b[0m\x1b[12;40H\x1b(0lqk\x1b(B\r\n\x01\x80"
                              "\x1b[?7l\x1b[2J\x1b#8\x1bQ\x1b[;;H\x1b[3g\x1b[1;20r\t\x07z";
    const std::string whole = Calls(input);
    for (size_t cut = 0; cut <= input.size(); ++cut) {
        SetUp();
        recording::calls.clear();
        Feed(input.substr(0, cut));
        Feed(input.substr(cut));
        EXPECT_EQ(recording::Log(), whole) << "cut at " << cut;
    }
    SetUp();
    recording::calls.clear();
    for (char byte : input)
        Feed(std::string(1, byte));
    EXPECT_EQ(recording::Log(), whole);
}

TEST_F(Interpreter, ParameterFields) {
    EXPECT_EQ(Calls("\x1b[;5H"), "Abs(5,1)\n");
    EXPECT_EQ(Calls("\x1b[5;H"), "Abs(5,1)\n");
    EXPECT_EQ(Calls("\x1b[0;0H"), "Abs(1,1)\n");
    EXPECT_EQ(Calls("\x1b[H"), "Abs(1,1)\n");
    EXPECT_EQ(Calls("\x1b[7;9f"), "Abs(7,9)\n");
    EXPECT_EQ(Calls("\x1b[1;2;3H"), "");
    EXPECT_EQ(Calls("\x1b[A"), "Offset(-1,0)\n");
    EXPECT_EQ(Calls("\x1b[0A"), "Offset(0,0)\n");
    EXPECT_EQ(Calls("\x1b[3B\x1b[4C\x1b[D"), "Offset(3,0)\nOffset(0,4)\nOffset(0,-1)\n");
    // Any byte that is neither digit nor ";" is the final byte.
    EXPECT_EQ(Calls("\x1b[5 Az"), "Text:Az\n");
    EXPECT_EQ(Calls("\x1b[5\x07z"), "Text:z\n");
}

TEST_F(Interpreter, HugeParametersSaturate) {
    const std::string thirty(30, '9');
    EXPECT_EQ(Calls("\x1b[" + thirty + "A"), "Offset(-32767,0)\n");
    EXPECT_EQ(Calls("\x1b[" + thirty + ";" + thirty + "H"), "Abs(32767,32767)\n");
    EXPECT_EQ(Calls("\x1b[?" + thirty + "h"), "");
    EXPECT_EQ(Calls("\x1b[" + thirty + "m"), "Attr(0x107,0)\n");
}

TEST_F(Interpreter, ParametersBeyondTheListAreDropped) {
    // Sixteen fit: the sixteenth (a colour) is applied, the seventeenth is not.
    std::string sgr = "\x1b[";
    for (int i = 0; i < 15; ++i)
        sgr += "1;";
    EXPECT_EQ(Calls(sgr + "32;34m"), "Attr(0x112,0)\n");
    std::string many = "\x1b[";
    for (int i = 0; i < 1000; ++i)
        many += "44;";
    EXPECT_EQ(Calls(many + "31m"), "Attr(0x112,0x4)\n");
}

TEST_F(Interpreter, GraphicRendition) {
    recording::fore = 0x1F7; // bold, underline, blink, reverse, white, set 0x100
    recording::back = 0x04;
    EXPECT_EQ(Calls("\x1b[0m"), "Attr(0x1e7,0x4)\n"); // only bold cleared
    recording::fore = 0x4F3;
    EXPECT_EQ(Calls("\x1b[m"), "Attr(0x103,0x4)\n"); // renditions and set reset, colours kept
    EXPECT_EQ(Calls("\x1b[36m"), "Attr(0x103,0x4)\n");
    EXPECT_EQ(Calls("\x1b[33m"), "Attr(0x103,0x4)\n");
    EXPECT_EQ(Calls("\x1b[31;42m"), "Attr(0x101,0x2)\n");
    EXPECT_EQ(Calls("\x1b[1;4;5;7;9;38;48m"), "Attr(0x1f1,0x2)\n");
}

TEST_F(Interpreter, EraseDeleteInsertTabsMargins) {
    EXPECT_EQ(Calls("\x1b[J\x1b[0J\x1b[1J\x1b[2J"),
              "Erase(-999,-999,12000,12000)\nErase(0,0,12000,12000)\nErase(0,0,-999,-999)\n"
              "Erase(0,0,12000,12000)\n");
    EXPECT_EQ(Calls("\x1b[K\x1b[0K\x1b[1K\x1b[2K"),
              "Erase(-999,-999,-999,12000)\nErase(-999,0,-999,12000)\nErase(-999,0,-999,-999)\n"
              "Erase(-999,0,-999,12000)\n");
    EXPECT_EQ(Calls("\x1bJ\x1bK"), "Erase(-999,-999,12000,12000)\nErase(-999,-999,-999,12000)\n");
    EXPECT_EQ(Calls("\x1b[L\x1b[5L"), "Insert(-999)\nInsert(-999)\n");
    std::string fourRows;
    for (int i = 0; i < 4; ++i)
        fourRows += "Delete(-999,0,-999,12000)\n";
    EXPECT_EQ(Calls("\x1b[M\x1b[0M\x1b[2M"), fourRows);
    EXPECT_EQ(Calls("\x1b[3P"), "Delete(-999,-999,-999,-999)\nDelete(-999,-999,-999,-999)\n"
                                "Delete(-999,-999,-999,-999)\n");
    EXPECT_EQ(Calls("\x1b[g\x1b[3g\x1b[0g\x1b[2g\x1b[3;3g"), "ClearTab(-999)\nClearTab(-1999)\n");
    EXPECT_EQ(Calls("\x1b[r\x1b[5r\x1b[2;20r\x1b[1;2;3r"), "Margins(0,12000)\nMargins(2,20)\n");
}

TEST_F(Interpreter, PrivateModes) {
    EXPECT_EQ(Calls("\x1b[?7l"), "Mode(0x820)\n");
    EXPECT_EQ(Calls("\x1b[?7l"), ""); // already off
    EXPECT_EQ(Calls("\x1b[?3h\x1b[?3l"), "Mode(0x860)\nMode(0x820)\n");
    EXPECT_EQ(Calls("\x1b[?25h"), "");
    EXPECT_EQ(Calls("\x1b[?1;7h"), "Text:7h\n");
    EXPECT_EQ(Calls("\x1b[5?7h"), "Mode(0xc20)\n"); // parameters before "?" are not used
    EXPECT_EQ(Calls("\x1b[?0h"), "Mode(0xc20)\n");  // mode 0 has no bit: no change
}

TEST_F(Interpreter, EscapesAndControlBytes) {
    EXPECT_EQ(Calls("\x1bQ"), "Text:<esc>Q\n");
    EXPECT_EQ(Calls("\x1b\x1b\x1b\x1b"), "Text:<esc>\x1b<esc>\x1b\n");
    EXPECT_EQ(Calls("\x1b\x1bx"), "Text:<esc>\x1bx\n");
    EXPECT_EQ(Calls(std::string("\x1b\0", 2)), std::string("Text:<esc>\0\n", 12));
    EXPECT_EQ(Calls("\x1b"
                    "c\x1b=\x1b>"),
              "");
    EXPECT_EQ(Calls("\x1b#8"), "Text:8\n");
    EXPECT_EQ(Calls("\x1bY12"), "Text:12\n");
    EXPECT_EQ(Calls("\x01\x80\xff"), "Text:^A^\xc0^?\n");
    EXPECT_EQ(Calls("\x7f\x1c\x1f"), "Text:\x7f\x1c\x1f\n");
    EXPECT_EQ(Calls(std::string("a\0\x18"
                                "b",
                                4)),
              "Text:ab\n");
    EXPECT_EQ(Calls("\x05\x1bZ"), "Transmit:vt100\nTransmit:vt100\n");
    EXPECT_EQ(Calls("\x07\x07"), "Bell\nBell\n");
    EXPECT_EQ(Calls("\x08\x09\x0b\x0c"), "Offset(0,-1)\nTab\nOffset(1,0)\nOffset(1,0)\n");
    EXPECT_EQ(Calls("\x1b"
                    "7\x1b"
                    "8\x1b"
                    "A\x1bI\x1b"
                    "B\x1b"
                    "C\x1b"
                    "D\x1bH\x1bM\x1b"
                    "E"),
              "Save\nRestore\nOffset(-1,0)\nOffset(-1,0)\nOffset(1,0)\nOffset(0,1)\n"
              "Offset(0,-1)\nAbs(0,0)\nAbs(-999,0)\nOffset(-1,0)\nText:\n\n");
}

TEST_F(Interpreter, CharacterSetSelection) {
    EXPECT_EQ(Calls("\x0e"), "Attr(0x407,0)\n");
    EXPECT_EQ(Calls("\x1bN\x1b(0"), ""); // already selected
    EXPECT_EQ(Calls("\x0f"), "Attr(0x207,0)\n");
    EXPECT_EQ(Calls("\x1b"
                    "F\x1bG\x1b)2\x1b(B"),
              "Attr(0x807,0)\nAttr(0x107,0)\nAttr(0x207,0)\nAttr(0x107,0)\n");
    EXPECT_EQ(Calls("\x1b(Ax"), "Text:x\n"); // unknown designator: nothing
    EXPECT_EQ(Calls("\x1bO\x1bO"), "Attr(0x207,0)\n");
}

TEST_F(Interpreter, BufferLimit) {
    EXPECT_EQ(Feed(std::string(4096, 'a')), 0);
    recording::calls.clear();
    EXPECT_EQ(Feed(std::string(4097, 'a')), -1);
    EXPECT_EQ(recording::Log(), "Text:ERROR: VT-100 internal buffer overflow!\n");
    // Held bytes count against the room and survive a refused chunk.
    EXPECT_EQ(Calls("\x1b[1"), "");
    EXPECT_EQ(Feed(std::string(4094, 'b')), -1);
    EXPECT_EQ(Calls("2A"), "Offset(-12,0)\n");
    EXPECT_EQ(Calls("\x1b[1"), "");
    recording::calls.clear();
    EXPECT_EQ(Feed("2A" + std::string(4091, 'c')), 0); // exactly 4,096 with the held bytes
    EXPECT_EQ(recording::Log(), "Offset(-12,0)\nText:" + std::string(4091, 'c') + "\n");
    EXPECT_EQ(vtProcessedTextOut(nullptr, 0), 0);
    EXPECT_EQ(vtProcessedTextOut("x", -1), -1);
}

TEST_F(Interpreter, FormattedOutputIsCutToItsBuffer) {
    recording::calls.clear();
    EXPECT_EQ(vtprintf("%s|%d", std::string(2000, 'x').c_str(), 5), 0);
    ASSERT_EQ(recording::calls.size(), 1u);
    EXPECT_EQ(recording::calls[0], "Text:" + std::string(1023, 'x'));
    recording::calls.clear();
    EXPECT_EQ(vtputs(std::string(1500, 'y').c_str()), 0);
    EXPECT_EQ(recording::Log(), "Text:" + std::string(1022, 'y') + "\n\n");
    EXPECT_EQ(Calls(""), "");
    recording::calls.clear();
    vtprintf("n=%d\x1b[2J", 42);
    EXPECT_EQ(recording::Log(), "Text:n=42\nErase(0,0,12000,12000)\n");
    // A conversion the C library cannot carry out (a wide character the
    // locale cannot spell) prints nothing rather than a fragment.
    recording::calls.clear();
    EXPECT_EQ(vtprintf("ab%ls", L"\u0444"), 0);
    EXPECT_EQ(recording::Log(), "");
}

} // namespace
