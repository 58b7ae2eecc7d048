// The POSIX console screen model alone: the Win32 console's rules for
// writing, positions, fills, rectangle moves, sizes, and its ANSI drawing.
#include "ScreenFixture.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

namespace con = plat::con;

class Model : public Screen {
protected:
    con::Handle h = con::GetStdOutput();
    void Write(const std::string &text) {
        con::Write(h, text.data(), uint32_t(text.size()), nullptr);
    }
};

TEST_F(Model, WriteWrapsOrStaysAtTheEdge) {
    Write(std::string(79, 'a') + "bc");
    EXPECT_EQ(Row(0), std::string(79, 'a') + "b");
    EXPECT_EQ(Row(1), "c");
    EXPECT_EQ(Cursor(), "1,1");
    con::SetMode(h, con::kProcessedOutput);
    Place(78, 2);
    Write("xyz");
    EXPECT_EQ(Row(2), std::string(78, ' ') + "xz");
    EXPECT_EQ(Cursor(), "79,2");
    Write("\rq\x08w\nn");
    EXPECT_EQ(Row(2), "w" + std::string(77, ' ') + "xz");
    EXPECT_EQ(Row(3), "n");
    con::SetMode(h, 0); // unprocessed: control bytes are glyphs
    Write("\r\n");
    EXPECT_EQ(Row(3), "n\r\n");
}

TEST_F(Model, WritingPastTheLastRowScrollsTheBuffer) {
    Write("top");
    Place(0, 299);
    con::SetTextAttribute(h, 0x1E);
    Write("bottom\nnext");
    EXPECT_EQ(AttrAt(3, 299), 0x1E);
    EXPECT_EQ(AttrAt(4, 299), 0x07); // the row entered in the default attribute
    EXPECT_EQ(Row(0), "");
    EXPECT_EQ(Row(298), "bottom");
    EXPECT_EQ(Row(299), "next");
    EXPECT_EQ(Cursor(), "4,299");
    EXPECT_EQ(Info().srWindow.Bottom, 299);
}

TEST_F(Model, PositionsOutsideTheBufferAreRefused) {
    EXPECT_FALSE(con::SetCursorPosition(h, {80, 0}));
    EXPECT_FALSE(con::SetCursorPosition(h, {0, 300}));
    EXPECT_FALSE(con::SetCursorPosition(h, {-1, 0}));
    EXPECT_EQ(Cursor(), "0,0");
    EXPECT_TRUE(con::SetCursorPosition(h, {5, 100}));
    EXPECT_EQ(Info().srWindow.Top, 76);
    EXPECT_TRUE(con::SetCursorPosition(h, {5, 10}));
    EXPECT_EQ(Info().srWindow.Top, 10);
}

TEST_F(Model, FillsStopAtTheBufferEnd) {
    uint32_t n = 0;
    EXPECT_TRUE(con::FillOutputCharacter(h, '#', 1000, {70, 298}, &n));
    EXPECT_EQ(n, 90u);
    EXPECT_EQ(Row(298), std::string(70, ' ') + std::string(10, '#'));
    EXPECT_EQ(Row(299), std::string(80, '#'));
    EXPECT_TRUE(con::FillOutputAttribute(h, 0x4F, 0xFFFFFFFFu, {79, 299}, &n));
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(AttrAt(79, 299), 0x4F);
    EXPECT_EQ(AttrAt(78, 299), 0x07);
    EXPECT_FALSE(con::FillOutputCharacter(h, '#', 5, {80, 0}, &n));
}

TEST_F(Model, RectangleScrollFillsWhatItLeavesAndHonoursTheClip) {
    Number(6);
    // Rows 1..4, columns 2..9 one row up and one column left.
    EXPECT_TRUE(con::ScrollScreenBuffer(h, {2, 1, 9, 4}, nullptr, {1, 0}, {'-', 0x1F}));
    EXPECT_EQ(Row(0), "r..........." + std::string(67, '.'));
    EXPECT_EQ(Row(0).substr(0, 10), "r........."); // row 1's dots landed
    EXPECT_EQ(Row(4).substr(0, 11), "r4--------.");
    EXPECT_EQ(AttrAt(2, 4), 0x1F);
    // A clip keeps everything outside it.
    Number(6);
    const con::Rect clip{0, 0, 79, 3};
    EXPECT_TRUE(con::ScrollScreenBuffer(h, {0, 2, 79, 5}, &clip, {0, 1}, {' ', 0x07}));
    EXPECT_EQ(Row(0).substr(0, 3), "r0.");
    EXPECT_EQ(Row(1).substr(0, 3), "r2.");
    EXPECT_EQ(Row(3).substr(0, 3), "r4.");
    EXPECT_EQ(Row(4).substr(0, 3), "r4."); // outside the clip: unchanged
    // Moving rows down past the buffer's end drops them.
    Number(6);
    EXPECT_TRUE(con::ScrollScreenBuffer(h, {0, 297, 80, 299}, nullptr, {0, 298}, {' ', 7}));
    EXPECT_FALSE(con::ScrollScreenBuffer(h, {0, 300, 79, 310}, nullptr, {0, 0}, {' ', 7}));
    EXPECT_FALSE(con::ScrollScreenBuffer(h, {5, 0, 4, 0}, nullptr, {0, 0}, {' ', 7}));
}

TEST_F(Model, BufferAndWindowSizes) {
    EXPECT_FALSE(con::SetScreenBufferSize(h, {79, 300})); // narrower than the window
    EXPECT_FALSE(con::SetScreenBufferSize(h, {80, 24}));
    Write("keep");
    con::SetTextAttribute(h, 0x1E);
    EXPECT_TRUE(con::SetScreenBufferSize(h, {132, 50}));
    EXPECT_EQ(Row(0), "keep");
    EXPECT_EQ(con::model::At(100, 0).Attributes, 0x07); // the default, not the current
    EXPECT_EQ(Info().dwSize.Y, 50);
    EXPECT_FALSE(con::SetWindowInfo(h, true, {0, 0, 131, 24})); // wider than the largest
    EXPECT_TRUE(con::SetWindowInfo(h, true, {52, 25, 131, 49}));
    EXPECT_FALSE(con::SetWindowInfo(h, false, {1, 0, 1, 0})); // past the right edge
    EXPECT_TRUE(con::SetWindowInfo(h, false, {-2, -5, -2, -5}));
    auto w = Info().srWindow;
    EXPECT_EQ(w.Left, 50);
    EXPECT_EQ(w.Top, 20);
    EXPECT_TRUE(con::SetScreenBufferSize(h, {80, 30}));
    w = Info().srWindow;
    EXPECT_EQ(w.Left, 0);
    EXPECT_EQ(w.Bottom, 29);
}

std::string Drain(int fd) {
    std::string out;
    char buffer[65536];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        out.append(buffer, size_t(n));
    return out;
}

// Only what changed reaches the terminal: rows that scrolled are scrolled
// there too, and only the rows that came in are drawn.
TEST_F(Model, DrawsOnlyWhatChanged) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    con::SetRenderTarget(fds[1]);
    Feed("\x1b[1;31;44mred\x1b[m");
    const std::string first = Drain(fds[0]);
    EXPECT_NE(first.find("\x1b[1;1H\x1b[0;91;44mred\x1b[0m\x1b[K"), std::string::npos) << first;
    EXPECT_NE(first.find("\x1b[25;1H"), std::string::npos); // the whole window at first
    Feed("\x1b[10;1Hx");
    const std::string second = Drain(fds[0]);
    EXPECT_NE(second.find("\x1b[10;1Hx"), std::string::npos) << second;
    EXPECT_EQ(second.find("\x1b[1;1H"), std::string::npos) << "unchanged rows are not drawn";
    EXPECT_NE(second.find("\x1b[10;2H\x1b[?25h"), std::string::npos); // cursor placed
    Feed("\x1b[25;1Hone\r\ntwo\r\nthree\x1b[5;20r\x1b[20;1H\n");
    const std::string third = Drain(fds[0]);
    EXPECT_NE(third.find("\x1b[1;25r\x1b[25;1H\x1b"
                         "D\x1b"
                         "D"),
              std::string::npos)
        << third;
    EXPECT_NE(third.find("\x1b[5;20r\x1b[20;1H\x1b"
                         "D\x1b[r"),
              std::string::npos)
        << third;
    EXPECT_NE(third.find("\x1b[23;1Hone"), std::string::npos);
    EXPECT_NE(third.find("\x1b[25;1Hthree"), std::string::npos);
    EXPECT_EQ(third.find("\x1b[10;1H"), std::string::npos) << "rows that scrolled are not drawn";
    Feed("");
    EXPECT_EQ(Drain(fds[0]), "");
    con::SetRenderTarget(-1);
    close(fds[0]);
    close(fds[1]);
}

} // namespace
