#include "ScreenCases.h"

std::string Csi(const std::string &s) {
    return "\x1b[" + s;
}
std::string At(int row, int column) {
    return Csi(std::to_string(row) + ";" + std::to_string(column) + "H");
}
std::string Run(int n, char first) {
    std::string text;
    for (int i = 0; i < n; ++i)
        text += char(first + i % 26);
    return text;
}
std::string Numbered(int rows) {
    std::string text;
    for (int r = 1; r <= rows; ++r)
        text += At(r, 1) + ("r" + std::to_string(r) + std::string(79, '.')).substr(0, 79);
    return text + At(1, 1);
}

const std::vector<ScreenCase> &ScreenCases() {
    // clang-format off
    static const std::vector<ScreenCase> cases = {
        {"erase_from_cursor", Numbered() + At(3, 10) + Csi("0K") + At(4, 10) + Csi("K") + At(20, 40) + Csi("0J")},
        {"erase_to_cursor", Numbered() + At(3, 10) + Csi("1K") + At(12, 40) + Csi("1J") + At(14, 1) + Csi("2K")},
        {"sgr_reset_everything", Csi("1;4;5;7;31;44m") + "A" + Csi("0m") + "B" + Csi("1;32;45m") + "C" + Csi("m") + "D" + Csi("7;33;0;34m") + "E" + Csi("1;7m") + "F" + Csi("22;27m") + "G" + Csi("39;49m") + "H"},
        {"sgr_colour_order", Csi("30;47m") + "k" + Csi("31;40m") + "r" + Csi("32m") + "g" + Csi("33m") + "y" + Csi("34m") + "b" + Csi("35m") + "m" + Csi("36m") + "c" + Csi("37;46m") + "w" + Csi("44m") + " "},
        {"region_line_feed", Numbered() + Csi("5;10r") + At(10, 3) + "x\ny\nz" + At(25, 1) + "\n"},
        {"region_index_reverse_index", Numbered() + Csi("5;10r") + At(10, 3) + "\033D" + "p" + "\033D" + "q" + At(5, 7) + "\033M" + "s" + "\033M" + "t" + At(1, 5) + "\033M" + "u" + "\033E" + "v"},
        {"region_insert_delete_lines", Numbered() + Csi("5;10r") + At(7, 4) + Csi("2L") + "i" + Csi("3M") + "d" + At(9, 1) + Csi("L") + Csi("M") + At(15, 1) + Csi("L")},
        {"rows_pushed_out_stay_gone", Numbered() + At(20, 1) + Csi("3L") + Csi("3M") + Csi("r") + At(25, 1) + "\n\n"},
        {"last_column_then_cr_lf", Run(80) + "\r\n" + "next" + At(25, 1) + Run(80) + "\r\nlast"},
        {"last_column_waits", Run(80) + "x" + At(3, 1) + Run(80) + "\by" + At(5, 1) + Run(80) + Csi("C") + "z" + At(7, 1) + Run(80) + "\r" + "w"},
        {"autowrap_off", Csi("?7l") + Run(100) + "\r\n" + Run(85, 'a') + Csi("?7h") + "\r\n" + Run(81, 'a')},
        {"moves_stop_at_the_edges", At(999, 999) + "a" + At(3, 3) + Csi("999C") + "b" + Csi("999D") + "c" + Csi("999A") + "d" + Csi("999B") + "e" + Csi("0A") + "f" + Csi("0C") + "g"},
        {"moves_stop_at_the_margins", Csi("5;10r") + At(7, 7) + Csi("20A") + "a" + Csi("20B") + "b" + At(2, 2) + Csi("20B") + "c" + At(20, 20) + Csi("30A") + "d"},
        {"tab_stops", "\tA\tB" + At(2, 1) + Run(7) + "\tC" + At(3, 75) + "\tD\tE" + At(4, 9) + Csi("g") + At(4, 1) + "\tF" + Csi("3g") + At(5, 1) + "\tG"},
        {"margins_home_the_cursor", At(12, 40) + Csi("5;10r") + "h" + At(12, 40) + Csi("r") + "i"},
        {"overlong_sequence_dropped", At(3, 3) + Csi(std::string(5000, '9')) + "m" + "after" + Csi("1;2;3;4;5;6;7;8;9;10;11;12m") + "more"},
        {"line_graphics", "\x1b(0lqqk\r\nx  x\r\nmqqj\x1b(B done"},
        {"scrolling_screen", Numbered() + At(24, 1) + "a\r\nb\r\nc\n\n\r\ntail"},
        {"scrolling_coloured", At(24, 1) + Csi("44m") + "a\r\nb\r\n\n" + Csi("m") + "tail"},
        {"save_restore_rendition", At(4, 6) + Csi("1;31m") + "\0337" + At(10, 10) + Csi("m") + "x" + "\0338" + "y"},
    };
    // clang-format on
    return cases;
}
