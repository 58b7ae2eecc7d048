// The scripts: each starts on a blank 80 x 25 window at the top of an 80 x 50
// buffer, attribute 0x07, cursor home. They aim at the places where the
// emulator leans on the console's own behaviour: the right edge, the buffer's
// last row, the window following the cursor, fills, rectangle moves, mode and
// size changes.
#include "ConsoleScripts.h"

#include <string>

namespace {

std::string Esc(const std::string &s) {
    return "\x1b" + s;
}
std::string Csi(const std::string &s) {
    return "\x1b[" + s;
}
std::string At(int row, int column) {
    return Csi(std::to_string(row) + ";" + std::to_string(column) + "H");
}
// Window rows 1..rows numbered "r<row>" and dotted up to column 79, so that
// no line reaches the right edge; the cursor ends at home.
std::string Numbered(int rows = 25) {
    std::string text;
    for (int r = 1; r <= rows; ++r) {
        std::string line = "r" + std::to_string(r);
        line.resize(79, '.');
        text += At(r, 1) + line;
    }
    return text + At(1, 1);
}
// n lines "line <i>" each ended by LF.
std::string Lines(int n, int from = 1) {
    std::string text;
    for (int i = from; i < from + n; ++i)
        text += "line " + std::to_string(i) + "\n";
    return text;
}
std::string Run(int n, char first = 'A') {
    std::string text;
    for (int i = 0; i < n; ++i)
        text += char(first + i % 26);
    return text;
}

// Bytes of a deterministic mixture of text, controls and sequences.
std::string Mixture(unsigned seed, int pieces) {
    // clang-format off
    static const char *const kPieces[] = {
        "\n", "\r", "\t", "\b", "\x0b", "\x1b[K", "\x1b[1K", "\x1b[2K", "\x1b[J", "\x1b[1J",
        "\x1b[A", "\x1b[3B", "\x1b[7C", "\x1b[2D", "\x1b[L", "\x1b[M", "\x1b[2P", "\x1b[1;31m",
        "\x1b[44m", "\x1b[7m", "\x1b[m", "\x1b[0m", "\x1b" "7", "\x1b" "8", "\x1bM", "\x1b" "E",
        "\x1b(0lqk\x1b(B", "\x1b[5;20r", "\x1b[r", "\x1b[?7l", "\x1b[?7h", "\x1b[g", "\x01",
        "\x1b[24;70H", "\x1b[12;1H", "\x1b[25;80H", "\x1bH", "\x1b[?3h", "\x1b[?3l",
        "\x1b[1;7;36;41m", "\x1b[3g", "\x1b[P", "\x1b[40;1H", "\x1b[99B\n"};
    // clang-format on
    constexpr int kCount = sizeof kPieces / sizeof kPieces[0];
    std::string text;
    unsigned state = seed;
    auto next = [&] {
        state = state * 1103515245u + 12345u;
        return (state >> 16) & 0x7FFF;
    };
    for (int i = 0; i < pieces; ++i) {
        unsigned pick = next() % (kCount + 6);
        if (pick < kCount)
            text += kPieces[pick];
        else
            text += Run(int(next() % 90), char('a' + next() % 26));
    }
    return text;
}

std::vector<Script> Build() {
    std::vector<Script> s;
    auto add = [&](const char *name, std::vector<std::string> chunks) {
        s.push_back(Script{name, std::move(chunks)});
    };

    // Text, CR and LF.
    add("text_plain", {"Hello, world\r\nSecond line\rX"});
    add("text_newlines", {"abc\ndef\n\nghi", "\r\n", "jkl"});
    add("text_control_echo", {"a\x01"
                              "b\x80"
                              "c\x1bQ"
                              "d\x7f\x1c"
                              "e\x1b"
                              "c\x1b="
                              "f\x07g\x05h"});
    add("text_cr_inside", {"abcdefgh\rXY\r\rZ"});
    add("text_split_sequence", {"ab\x1b[1", "2;3",
                                "0H"
                                "x\x1b",
                                "[Ay"});

    // The right edge.
    add("edge_exact_then_lf", {Run(80) + "\nx"});
    add("edge_exact_then_text", {Run(80) + "y"});
    add("edge_exact_in_pieces", {Run(40), Run(40, 'a'), "\n", "z"});
    add("edge_from_middle", {At(3, 71) + Run(10) + "\nq"});
    add("edge_wrap_long", {Run(100) + "Z\nnext"});
    add("edge_wrap_very_long", {Run(250) + "\nend"});
    add("edge_wrap_off_long", {Csi("?7l") + Run(100) + "\r\nnext"});
    add("edge_wrap_off_exact", {Csi("?7l") + Run(80) + "\nx" + Run(79) + "y"});
    add("edge_wrap_off_then_cr", {Csi("?7l") + Run(90) + "\rXY"});
    add("edge_wrap_off_then_on", {Csi("?7l") + Run(85) + Csi("?7h") + "\r\n" + Run(85)});
    add("edge_tab_at_edge", {At(2, 75) + "ab\tc\td"});
    add("edge_graphics", {Esc("(0") + At(1, 75) + "lqqqqqk" + Esc("(B") + "\nafter"});

    // The bottom of the window and of the buffer.
    add("bottom_window_lf", {At(25, 1) + "last\nbelow\nfurther"});
    add("bottom_buffer_lf", {Lines(49) + "tail"});
    add("bottom_buffer_scrolls", {Lines(60) + "tail"});
    add("bottom_buffer_edge", {Lines(49) + Run(80) + "\nafter"});
    add("bottom_buffer_wrap", {Lines(49) + Run(100) + "\nafter"});
    add("bottom_buffer_wrap_off", {Lines(49) + Csi("?7l") + Run(100) + "\nafter"});
    add("bottom_window_edge", {At(25, 1) + Run(80) + "\nx" + At(25, 75) + Run(10)});
    add("bottom_buffer_coloured", {Csi("44m") + Lines(49) + Run(100) + "\nx" + Run(80) + "y"});
    add("bottom_vt_ff", {Lines(49) + "x\x0by\x0cz"});
    add("bottom_esc_e", {Lines(49) + "x" + Esc("E") + "y"});

    // Cursor moves with every sentinel.
    add("cursor_absolute", {At(5, 10) + "a" + Csi(";5H") + "b" + Csi("7;H") + "c" + Csi("0;0H") +
                            "d" + Csi("1;2;3H") + "e" + Csi("H") + "f" + Csi("9f") + "g" +
                            Csi("12;70f") + "h" + Esc("H") + "i" + At(25, 80) + "j"});
    add("cursor_relative", {At(10, 10) + "a" + Csi("A") + "b" + Csi("3B") + "c" + Csi("2C") + "d" +
                            Csi("4D") + "e" + Csi("0A") + "f" + Esc("A") + "g" + Esc("B") + "h" +
                            Esc("C") + "i" + Esc("D") + "j" + Esc("I") + "k"});
    add("cursor_limits", {At(3, 1) + "\b\bx" + Csi("99D") + "y" + Csi("99A") + "z" + At(4, 78) +
                          Csi("5C") + "w" + Csi("200B") + "v" + At(2, 2) + Csi("60B") + "u"});
    add("cursor_below_window", {At(20, 5) + Csi("10B") + "a" + Csi("10B") + "b" + Esc("H") + "c"});
    add("cursor_reverse_index", {At(5, 30) + Esc("M") + "a" + At(1, 30) + Esc("M") + "b"});
    add("cursor_save_restore",
        {Esc("8") + "a" + At(7, 33) + Esc("7") + At(1, 1) + "b" + Esc("8") + "c"});
    add("cursor_restore_window_moved", {At(3, 5) + Esc("7") + Lines(60) + Esc("8") + "R"});
    add("cursor_moved_window", {Lines(60) + At(1, 1) + "top" + At(25, 80) + "e" + Csi("5A") + "u"});

    // Erasing.
    add("erase_line", {Numbered() + At(2, 10) + Csi("K") + At(3, 10) + Csi("1K") + At(4, 10) +
                       Csi("2K") + At(5, 10) + Csi("0K") + At(6, 80) + Csi("K") + At(7, 1) +
                       Csi("1K") + At(8, 10) + Esc("K")});
    add("erase_below", {Numbered() + At(12, 40) + Csi("J")});
    add("erase_above", {Numbered() + At(12, 40) + Csi("1J")});
    add("erase_all", {Numbered() + At(12, 40) + Csi("2J") + "x"});
    add("erase_zero", {Numbered() + At(12, 40) + Csi("0J") + "x"});
    add("erase_vt52", {Numbered() + At(20, 40) + Esc("J")});
    add("erase_coloured", {Numbered() + Csi("44;33m") + At(3, 5) + Csi("K") + At(5, 5) + Csi("1K") +
                           At(20, 1) + Csi("J")});
    add("erase_window_moved", {Lines(60) + At(10, 10) + Csi("1J") + At(20, 20) + Csi("J")});

    // Insert and delete.
    add("insert_line", {Numbered() + At(5, 7) + Csi("L") + "x" + At(1, 1) + Csi("L")});
    add("insert_line_bottom", {Numbered() + At(25, 1) + Csi("L")});
    add("insert_line_window_moved", {Lines(60) + At(10, 1) + Csi("L") + At(25, 1) + Csi("L")});
    add("insert_line_coloured", {Numbered() + Csi("41m") + At(8, 1) + Csi("L")});
    add("delete_line", {Numbered() + At(5, 7) + Csi("M") + "x" + At(10, 1) + Csi("3M")});
    add("delete_line_margins",
        {Numbered() + Csi("3;12r") + At(5, 1) + Csi("2M") + At(20, 1) + Csi("M")});
    add("delete_line_bottom", {Numbered() + At(25, 1) + Csi("M") + At(24, 1) + Csi("5M")});
    add("delete_char", {Numbered() + At(1, 1) + Csi("P") + At(2, 10) + Csi("3P") + At(3, 80) +
                        Csi("P") + At(4, 79) + Csi("2P") + At(5, 1) + Csi("100P")});
    add("delete_char_coloured", {Numbered() + Csi("42m") + At(6, 20) + Csi("5P")});

    // Scrolling margins.
    add("margins_1_20", {Numbered() + Csi("1;20r") + At(20, 1) + "a\nb\nc"});
    add("margins_5_10", {Numbered() + Csi("5;10r") + At(10, 3) + "x\ny\nz" + At(4, 1) + "\nw"});
    add("margins_below_bottom", {Numbered() + Csi("5;10r") + At(15, 1) + "p\nq"});
    add("margins_reset", {Numbered() + Csi("5;10r") + Csi("r") + At(10, 1) + "x\ny"});
    add("margins_ignored", {Numbered() + Csi("5r") + Csi("10;5r") + At(10, 1) + "x\ny"});
    add("margins_window_moved", {Lines(60) + Numbered() + Csi("2;8r") + At(8, 1) + "m\nn\no"});
    add("margins_edge_wrap", {Numbered() + Csi("3;6r") + At(6, 1) + Run(80) + "tail"});
    add("margins_insert_delete", {Lines(60) + Numbered() + Csi("4;9r") + At(6, 1) + Csi("L") +
                                  Csi("2M") + At(9, 1) + "a\nb"});
    add("margins_buffer_bottom", {Lines(49) + Csi("1;10r") + "x\ny"});

    // Tabs.
    add("tab_stops", {"\tA\tB\tC" + At(2, 1) + "\t\t\t\t\t\t\t\t\t\tZ"});
    add("tab_clear", {At(1, 8) + Csi("g") + At(1, 1) + "\tA" + At(2, 1) + Csi("0g") + Csi("2g") +
                      "\tB" + At(3, 1) + Csi("3g") + "\tC"});
    add("tab_from_last_column", {At(4, 80) + "\tX"});
    add("tab_in_text", {"ab\tcd\tef\r\n12345678\t9"});
    add("tab_wrap_off", {Csi("?7l") + At(2, 70) + "\t\tX\tY"});
    add("tab_overwrites", {Numbered() + At(3, 1) + "\tA"});

    // Renditions.
    add("sgr_colours", {Csi("31m") + "r" + Csi("32m") + "g" + Csi("33m") + "y" + Csi("34m") + "b" +
                        Csi("35m") + "m" + Csi("36m") + "c" + Csi("37m") + "w" + Csi("30;47m") +
                        "k" + Csi("40m") + Csi("37m")});
    add("sgr_bold_reset", {Csi("1;31;44m") + "A" + Csi("0m") + "B" + Csi("m") + "C" + Csi("1m") +
                           "D" + Csi("m") + "E"});
    add("sgr_reverse", {Csi("31;44m") + "a" + Csi("7m") + "b" + Csi("1m") + "c" + Csi("m") + "d" +
                        Csi("7m") + "\n" + "e"});
    add("sgr_underline_blink", {Csi("4m") + "u" + Csi("5m") + "k" + Csi("m") + "n"});
    add("sgr_bright_reverse", {Csi("1;7;32;41m") + "a" + Csi("0m") + "b" + Csi("44m") + "c" +
                               Csi("m") + Csi("2J") + "d"});
    add("sgr_line_end", {Csi("44m") + "blue\nnext" + Csi("m") + Run(80) + Csi("41m") + "x"});

    // Line graphics.
    add("graphics_wrap", {"\x0e" + At(3, 70) + Run(30, 'a') + "\x0f" + "\nplain"});
    add("graphics_box",
        {Esc("(0") + "lqqk\r\nx  x\r\nmqqj" + Esc("(B") + " lqk\n" + "\x0e" +
         "abcdefghijklmnopqrstuvwxyz" + "\x0f" + "abc" + Esc("F") + "lq" + Esc("N") + "lq" +
         Esc("G") + "lq" + Esc("(0") + "tuvw" + Csi("m") + "tuvw"});

    // 132 columns.
    add("mode_132", {Csi("?3h") + Run(131) + "\nx"});
    add("mode_132_and_back", {Numbered() + Csi("?3h") + At(2, 100) + "far" + Csi("?3l") + "y"});
    add("mode_132_twice", {Csi("?3h") + Csi("?3h") + "a" + Csi("?3l") + Csi("?3l") + "b"});
    add("mode_132_window_moved", {Lines(60) + Csi("?3h") + At(3, 120) + "z"});
    add("mode_132_window_right",
        {Numbered() + Csi("?3h") + At(5, 125) + "right\n" + At(25, 110) + "low\n" + Csi("K") +
         At(6, 120) + Csi("L") + Csi("2P") + Csi("1K") + Run(30)});
    add("mode_132_back_from_right",
        {Numbered() + Csi("?3h") + At(4, 130) + "ab" + Csi("?3l") + "cd" + At(5, 1) + "e"});
    add("mode_132_margins", {Lines(60) + Csi("?3h") + Csi("3;7r") + At(7, 100) + "x\ny\nz"});
    add("mode_132_wrap", {Csi("?3h") + Run(140) + "\nw"});

    // Mixtures.
    // Cut into chunks wherever that falls: 300 bytes, or one byte each.
    // From seed 11 on the window starts moved down (and for odd seeds the
    // buffer is 132 wide).
    for (unsigned seed = 1; seed <= 16; ++seed) {
        std::string bytes;
        if (seed > 10)
            bytes = Lines(60) + (seed % 2 ? Csi("?3h") : "");
        bytes += Mixture(seed, 150);
        const size_t size = seed % 5 == 0 ? 1 : 300;
        std::vector<std::string> chunks;
        for (size_t pos = 0; pos < bytes.size(); pos += size)
            chunks.push_back(bytes.substr(pos, size));
        s.push_back(Script{"mixture_" + std::to_string(seed), chunks});
    }
    return s;
}

} // namespace

const std::vector<Script> &Scripts() {
    static const std::vector<Script> scripts = Build();
    return scripts;
}
