// The interpreter over a backend that records its calls: transcripts of bytes
// in and calls out for what the comparison with libvterm does not reach (VT52
// escapes, echoes, answerback, character sets, rendition words, modes, odd
// parameters). Every transcript is also fed cut in two at every byte.
#include "CONSOLE.h"
#include "VT100.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

const int termAttrMode[9] = {0, 0x10, 0x20, 0x40, 0x80, 0x100, 0x200, 0x400, 0x800};

namespace {

// Text as it is written, calls in brackets, transmitted text in braces: text
// written in several runs reads as one.
std::string gLog;
int gFore, gBack, gMode;

int Record(const char *format, int a = 0, int b = 0, int c = 0, int d = 0) {
    char line[64];
    std::snprintf(line, sizeof line, format, a, b, c, d);
    gLog += "[" + std::string(line) + "]";
    return 0;
}
const auto Feed = [](const std::string &b) { vtProcessedTextOut(b.data(), int(b.size())); };

void Reset() {
    gFore = 0x107, gBack = 0, gMode = 0xC20;
    vtInitVT100();
    gLog.clear();
}

} // namespace

// clang-format off
#define RECORD(name, label) int name() { return Record(label); }
#define RECORD1(name, label) int name(int a) { return Record(label, a); }
RECORD(beInitVT100Terminal, "Init") RECORD(beSaveCursor, "Save") RECORD(beRestoreCursor, "Restore")
RECORD(beIndex, "Index") RECORD(beReverseIndex, "RI") RECORD(beAdvanceToTab, "Tab")
RECORD(beRingBell, "Bell") RECORD(beRefreshScreen, "Refresh") RECORD1(beInsertRows, "IL(%d)")
RECORD1(beDeleteRows, "DL(%d)") RECORD1(beDeleteChars, "DCH(%d)") RECORD1(beClearTab, "TBC(%d)")
int beFlushScreen() { return 0; }
int beRawTextOut(const char *text, int length) { return gLog.append(text, size_t(length)), 0; }
int beTransmitText(const char *text, int length) { return gLog += "{" + std::string(text, size_t(length)) + "}", 0; }
int beOffsetCursor(int rows, int columns) { return Record("Move(%d,%d)", rows, columns); }
int beAbsoluteCursor(int row, int column) { return Record("At(%d,%d)", row, column); }
int beSetScrollingRows(int top, int bottom) { return Record("Margins(%d,%d)", top, bottom); }
int beEraseText(int r1, int c1, int r2, int c2) { return Record("Erase(%d,%d,%d,%d)", r1, c1, r2, c2); }
int beGetTextAttributes(int *fore, int *back) { return *fore = gFore, *back = gBack, 0; }
int beSetTextAttributes(int fore, int back) { return gFore = fore, gBack = back, Record("Attr(%#x,%#x)", fore, back); }
int beGetTermMode() { return gMode; }
int beSetTermMode(int mode) { return gMode = mode, Record("Mode(%#x)", mode); }

namespace {

const std::string kNines(30, '9');

// clang-format off
const struct {
    std::string in, calls;
} kTranscripts[] = {
    // Echoes of what is not understood; NUL and CAN vanish; DEL and FS..US pass.
    {"\x1bQ\x1b\x1bx", "<esc>Q<esc>\x1bx"},
    {std::string("\x01\x80\xff\x7f\x1c\x1f""a\0\x18""b", 10), "^A^\xc0^?\x7f\x1c\x1f""ab"},
    {"\x1b""c\x1b=\x1b>\x1b#8\x1bY12", "812"},
    {"\x05\x1bZ\x07\x08\x09", "{vt100}{vt100}[Bell][Move(0,-1)][Tab]"},
    {"\x0b\x0c\x1b""E\x1b""7\x1b""8\x1b""D\x1bM", "\n\n\n[Save][Restore][Index][RI]"},
    // VT52 escapes that collide with no VT100 one; ESC D in VT52 mode.
    {"\x1b""A\x1bI\x1b""B\x1b""C\x1bH\x1bJ\x1bK", "[Move(-1,0)][Move(-1,0)][Move(1,0)][Move(0,1)][At(0,0)]"
                                                 "[Erase(-999,-999,12000,12000)][Erase(-999,-999,-999,12000)]"},
    {"\x1b[?2l\x1b""D\x1b[?2h\x1b""D", "[Mode(0xc00)][Move(0,-1)][Mode(0xc20)][Index]"},
    // Sequences of other kinds are parsed to their end and not acted on.
    {"\x1b[2 qa\x1b[>0cb\x1b[=5hc\x1b[3J\x1b[1;2;3H", "abc[At(1,2)]"},
    {"\x1b[g\x1b[0g\x1b[3g\x1b[2g\x1b[L\x1b[2M\x1b[P", "[TBC(-999)][TBC(-999)][TBC(-1999)][IL(1)][DL(2)][DCH(1)]"},
    {"\x1b[5r\x1b[;7r\x1b[0;0r", "[Margins(5,12000)][Margins(1,7)][Margins(0,0)]"},
    // Character sets are rendition bits, selected once.
    {"\x0e\x1bN\x1b(0\x1b(Ax", "[Attr(0x407,0)]x"},
    {"\x0f\x1b""F\x1bG\x1b)2\x1b(B", "[Attr(0x207,0)][Attr(0x807,0)][Attr(0x107,0)][Attr(0x207,0)][Attr(0x107,0)]"},
    // Colours keep the ANSI bit order; 0, a missing field or none at all go
    // back to the starting words; lists that end where they began set nothing.
    {"\x1b[36;41m\x1b[31;;32m", "[Attr(0x106,0x1)][Attr(0x102,0)]"},
    {"\x0e\x1b[1;4;5;7;44m\x1b[m", "[Attr(0x407,0)][Attr(0x4f7,0x4)][Attr(0x107,0)]"},
    {"\x1b[1;7;33;42;22;27;39;49m\x1b[4;5;24;25;9;38;48m\x1b[m", ""},
    // Sixteen parameters fit (the sixteenth applies, not the seventeenth).
    {"\x1b[1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;32;34m", "[Attr(0x112,0)]"},
    {"\x1b[?7l\x1b[?7l\x1b[?3;7h\x1b[?25;0;9l\x1b[5?7h\x1b[?8l", "[Mode(0x820)][Mode(0x860)][Mode(0xc60)]7h[Mode(0x460)]"},
    {"\x1b[" + kNines + "A\x1b[" + kNines + ";" + kNines + "H", "[Move(-32767,0)][At(32767,32767)]"},
    // Longer than any meaningful sequence: dropped whole, what follows shows.
    {"a\x1b[" + std::string(5000, '7') + "Ab\x1b[1;" + std::string(200, ';') + "mc", "abc"},
    // Text of any length goes out whole.
    {std::string(10000, 'a') + "\x1b[A", std::string(10000, 'a') + "[Move(-1,0)]"},
};
// clang-format on

TEST(Interpreter, TranscriptsWholeAndCutAnywhere) {
    for (const auto &t : kTranscripts)
        for (size_t cut = 0; cut <= t.in.size() && cut < 300; ++cut) { // 0: whole
            Reset();
            Feed(t.in.substr(0, cut));
            Feed(t.in.substr(cut));
            EXPECT_EQ(gLog, t.calls) << "cut at " << cut << ": " << t.in;
        }
    EXPECT_EQ(vtProcessedTextOut(nullptr, 0) * 10 + vtProcessedTextOut("x", -1), -1);
    // Formatted output is cut to its buffer.
    Reset();
    vtprintf("%s|%d", std::string(2000, 'x').c_str(), 5);
    vtputs(std::string(1500, 'y').c_str());
    vtprintf("n=%d\x1b[2J", 42);
    // A conversion the C library cannot carry out prints nothing, not a fragment.
    vtprintf("ab%ls", L"\u0444");
    EXPECT_EQ(gLog, std::string(1023, 'x') + std::string(1022, 'y') + "\nn=42[Erase(0,0,12000,12000)]");
}

} // namespace
