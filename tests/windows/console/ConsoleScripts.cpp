// The scripts: each starts on a blank 80 x 25 window at the top of an 80 x 50
// buffer, attribute 0x07, cursor home. They aim at the places where the
// emulator leans on the console's own behaviour: the right edge, the buffer's
// last row, the window following the cursor, fills, rectangle moves, mode and
// size changes.
#include "ConsoleScripts.h"

#include "ScreenCases.h"

#include <string>

namespace {

std::string Esc(const std::string &s) {
    return "\x1b" + s;
}
// n lines "line <i>" each ended by LF.
std::string Lines(int n, int from = 1) {
    std::string text;
    for (int i = from; i < from + n; ++i)
        text += "line " + std::to_string(i) + "\n";
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
    add("text_control_echo", {"a\x01"
                              "b\x80"
                              "c\x1bQ"
                              "d\x7f\x1c"
                              "e\x1b"
                              "c\x1b="
                              "f\x07g\x05h"});
    add("text_split_sequence", {"ab\x1b[1", "2;3",
                                "0H"
                                "x\x1b",
                                "[Ay"});

    // The right edge.
    add("edge_exact_in_pieces", {Run(40), Run(40, 'a'), "\n", "z"});
    add("edge_from_middle", {At(3, 71) + Run(10) + "\nq"});
    add("edge_wrap_very_long", {Run(250) + "\nend"});
    add("edge_tab_at_edge", {At(2, 75) + "ab\tc\td"});
    add("edge_graphics", {Esc("(0") + At(1, 75) + "lqqqqqk" + Esc("(B") + "\nafter"});

    // The bottom of the window and of the buffer.
    add("bottom_buffer_scrolls", {Lines(60) + "tail"});
    add("bottom_buffer_edge", {Lines(49) + Run(80) + "\nafter"});
    add("bottom_buffer_wrap", {Lines(49) + Run(100) + "\nafter"});
    add("bottom_buffer_wrap_off", {Lines(49) + Csi("?7l") + Run(100) + "\nafter"});
    add("bottom_window_edge", {At(25, 1) + Run(80) + "\nx" + At(25, 75) + Run(10)});
    add("bottom_buffer_coloured", {Csi("44m") + Lines(49) + Run(100) + "\nx" + Run(80) + "y"});
    add("bottom_vt_ff", {Lines(49) + "x\x0by\x0cz"});
    add("bottom_esc_e", {Lines(49) + "x" + Esc("E") + "y"});

    // Cursor moves with every sentinel.
    add("cursor_below_window", {At(20, 5) + Csi("10B") + "a" + Csi("10B") + "b" + Esc("H") + "c"});
    add("cursor_restore_window_moved", {At(3, 5) + Esc("7") + Lines(60) + Esc("8") + "R"});
    add("cursor_moved_window", {Lines(60) + At(1, 1) + "top" + At(25, 80) + "e" + Csi("5A") + "u"});

    // Erasing.
    add("erase_window_moved", {Lines(60) + At(10, 10) + Csi("1J") + At(20, 20) + Csi("J")});

    // Insert and delete.
    add("insert_line_window_moved", {Lines(60) + At(10, 1) + Csi("L") + At(25, 1) + Csi("L")});

    // Scrolling margins.
    add("margins_window_moved", {Lines(60) + Numbered() + Csi("2;8r") + At(8, 1) + "m\nn\no"});
    add("margins_edge_wrap", {Numbered() + Csi("3;6r") + At(6, 1) + Run(80) + "tail"});
    add("margins_insert_delete", {Lines(60) + Numbered() + Csi("4;9r") + At(6, 1) + Csi("L") +
                                  Csi("2M") + At(9, 1) + "a\nb"});
    add("margins_buffer_bottom", {Lines(49) + Csi("1;10r") + "x\ny"});

    // Tabs.
    add("tab_wrap_off", {Csi("?7l") + At(2, 70) + "\t\tX\tY"});

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

    // The emulator's rules, one case each (compared with libvterm natively).
    for (const ScreenCase &c : ScreenCases())
        s.push_back(Script{std::string("rule_") + c.name, {c.bytes}});

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
