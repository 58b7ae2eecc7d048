// The emulator on the console, where the comparison with libvterm cannot see:
// the screen is the console's window wherever it stands in the buffer, what
// scrolls off stays above it, the console's own wrap plays no part, and
// without a console nothing happens. Then the POSIX console model alone, which
// must keep the Win32 console's rules, and its drawing onto a terminal.
#include "CONSOLE.h"
#include "CONSOLEState.h"
#include "ScreenCases.h"
#include "VT100.h"

#include <platform/Console.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace con = plat::con;

class ScreenOps : public ::testing::Test {
protected:
    static constexpr int kWidth = 80, kRows = 25, kBufferRows = 300;
    con::Handle h = con::GetStdOutput();

    void SetUp() override {
        con::SetRenderTarget(-1);
        con::model::Reset(kWidth, kRows, kBufferRows);
        vtInitVT100();
    }
    static void Feed(const std::string &bytes) {
        vtProcessedTextOut(bytes.data(), int(bytes.size()));
    }
    con::ScreenBufferInfo Info() {
        con::ScreenBufferInfo info{};
        con::GetScreenBufferInfo(h, &info);
        return info;
    }
    bool Place(int x, int y) {
        return con::SetCursorPosition(h, con::Coord{int16_t(x), int16_t(y)});
    }
    // Buffer row y without trailing blanks.
    static std::string Row(int y) {
        std::string text = con::model::RowText(y);
        return text.erase(text.find_last_not_of(' ') + 1);
    }
    static uint16_t AttrAt(int x, int y) { return con::model::At(x, y).Attributes; }
};

// The screen is the window wherever it stands (which the comparison with
// libvterm covers); an erase leaves the buffer outside it alone, and what
// scrolls off stays above it until the buffer itself scrolls.
TEST_F(ScreenOps, TheWindowIsTheScreenAndTheBufferKeepsWhatLeftIt) {
    for (int i = 0; i < 60; ++i) // the window moves down: its first row is buffer row 36
        Feed("\r\nline " + std::to_string(i));
    Feed("\x1b[2J");
    EXPECT_EQ(Row(35) + "|" + Row(36) + Row(60) + "|" + Row(0), "line 34||");
    EXPECT_EQ(Info().srWindow.Top, 36);
    for (int i = 60; i < 400; ++i)
        Feed("\r\nline " + std::to_string(i));
    EXPECT_EQ(Row(0) + "|" + Row(kBufferRows - 1), "line 100|line 399");
    // Inside margins rows leave for good.
    Feed("\x1b[1;2rA\r\nB\r\nC\r\n");
    EXPECT_EQ(Row(kBufferRows - 26) + "|" + Row(kBufferRows - 25) + "|" + Row(kBufferRows - 24),
              "line 374|C|");
}

// Output that is no console (on Windows, a redirected standard output): every
// operation gives up without touching anything, and the interpreter with it.
TEST_F(ScreenOps, WithoutAConsoleNothingChanges) {
    Feed(Numbered(6) + "\x1b[5;11H");
    const std::string rows = Row(4) + Row(5);
    hConOut = nullptr;
    Feed("\033[2J\033[H\033[L\033[M\033[P\033D\033M\0337\0338\033[3;4r\033[gline\r\n\t\033[?3h\033["
         "?7l" +
         std::string(90, 'x'));
    hConOut = con::GetStdOutput();
    EXPECT_EQ(Info().dwCursorPosition.X * 1000 + Info().dwCursorPosition.Y, 10004);
    EXPECT_EQ(Row(4) + Row(5), rows);
    EXPECT_EQ(Info().dwSize.X, kWidth);
}

TEST_F(ScreenOps, WideModeWidensTheBufferNotTheWindow) {
    Feed("\x1b[?3h");
    auto info = Info();
    EXPECT_EQ(info.dwSize.X, 132);
    EXPECT_EQ(info.srWindow.Left, 0);
    EXPECT_EQ(info.srWindow.Right, 79);
    Feed("\x1b[1;120Hx");
    EXPECT_EQ(con::model::At(119, 0).Char, 'x');
    Feed("\x1b[?3l");
    info = Info();
    EXPECT_EQ(info.dwSize.X, 80);
    EXPECT_EQ(info.srWindow.Right, 79);
    EXPECT_EQ(info.dwSize.Y, kBufferRows);
    // A console whose window is wider than 80 columns narrows its window
    // before the buffer, which may never be narrower than the window.
    plat::con::model::Reset(100, 25, kBufferRows);
    Feed("\x1b[?3h\x1b[?3l");
    info = Info();
    EXPECT_EQ(info.dwSize.X, 80);
    EXPECT_EQ(info.srWindow.Right, 79);
}

// Line graphics become the code page's box drawing without writing into the
// caller's text; colours start from the console's own, higher console bits are
// never touched, and colours another writer set are picked up.
TEST_F(ScreenOps, GlyphsBellAndColoursOnTheConsole) {
    static const char kConst[] = "mjq";
    char copy[sizeof kConst];
    std::memcpy(copy, kConst, sizeof kConst);
    Feed("\x1b(0lqk\x0fx\x0e");
    beRawTextOut(copy, 3);
    Feed("\x1b(Bq\x07\x07");
    EXPECT_STREQ(copy, "mjq");
    EXPECT_EQ(Row(0), "\xda\xc4\xbfx\xc0\xd9\xc4q");
    EXPECT_EQ(con::model::BeepCount(), 2);
    con::SetTextAttribute(h, 0x801E); // bright yellow on blue, and a high bit
    vtInitVT100();
    Feed("\r\x1b[7;31;42mA\x1b[mB\x1b[35mC\x1b[39;49mD");
    // Bright red on green reversed, then the start's colours, magenta, the start's.
    EXPECT_EQ(AttrAt(0, 0) * 0x10000u + AttrAt(1, 0), 0x80C2801E);
    EXPECT_EQ(AttrAt(2, 0) * 0x10000u + AttrAt(3, 0), 0x801D801E);
    int fore = 0, back = 0;
    beSetTextAttributes(0x467, 0);
    con::SetTextAttribute(h, 0x2E);
    beGetTextAttributes(&fore, &back);
    EXPECT_EQ(fore * 0x100 + back, 0x47302); // the stored underline and set stay
}

// The model keeps the Win32 console's bounds: positions outside the buffer
// are refused, fills stop at its end, and the buffer is never narrower or
// lower than the window. (How it moves rectangles the Windows build compares
// with the real console.)
TEST_F(ScreenOps, ModelRefusesWhatLiesOutsideTheBuffer) {
    uint32_t n = 0;
    EXPECT_FALSE(Place(80, 0) || Place(0, 300) || Place(-1, 0));
    EXPECT_TRUE(con::FillOutputCharacter(h, '#', 1000, {70, 298}, &n) && n == 90);
    EXPECT_FALSE(con::SetScreenBufferSize(h, {79, 300}) || con::SetScreenBufferSize(h, {80, 24}));
}

// Only what changed reaches the terminal: rows that scrolled are scrolled
// there too, and only the rows that came in are drawn.
TEST_F(ScreenOps, ModelDrawsOnlyWhatChanged) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    con::SetRenderTarget(fds[1]);
    // After each feed: what must be drawn, and what must not.
    // clang-format off
    const struct {
        std::string bytes;
        std::vector<std::string> drawn;
        std::string notDrawn;
    } kSteps[] = {
        {"\033[1;31;44mred\033[m", {"\033[1;1H\033[0;91;44mred\033[0m\033[K", "\033[25;1H"}, "\033[26;1H"},
        {"\033[10;1Hx", {"\033[10;1Hx", "\033[10;2H\033[?25h"}, "\033[1;1H"},
        {"\033[25;1Hone\r\ntwo\r\nthree", {"\033[1;25r\033[25;1H\033D\033D", "\033[23;1Hone"}, "\033[10;1H"},
        {"\033[5;20r\033[20;1H\n", {"\033[5;20r\033[20;1H\033D\033[r"}, "\033[21;1H"},
        {"", {""}, "\033"},
    };
    // clang-format on
    for (const auto &step : kSteps) {
        Feed(step.bytes);
        std::string out(65536, '\0');
        out.resize(size_t(std::max<ssize_t>(read(fds[0], out.data(), out.size()), 0)));
        for (const std::string &drawn : step.drawn)
            EXPECT_NE(out.find(drawn), std::string::npos) << out;
        EXPECT_EQ(out.find(step.notDrawn), std::string::npos) << out;
    }
    con::SetRenderTarget(-1);
    close(fds[0]);
    close(fds[1]);
}

} // namespace
