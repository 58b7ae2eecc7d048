// SearchOneOf: the pattern syntax, codes, and which answer wins.
#include "Tamsel.h"

#include <gtest/gtest.h>

#include <string>

namespace {

uint32_t Code(const std::string &answer) {
    return AnswerCode(answer.data(), uint32_t(answer.size()));
}

// Each row: the text, the answers, and the code found: the explicit one, or
// (code 0 with an answer named) the default code of that answer's text, or 0.
TEST(SearchOneOf, PatternsAndWhichAnswerWins) {
    const struct {
        const char *text, *answers;
        uint32_t code;
        const char *byDefault;
    } rows[] = {
        // Nothing found, or nothing to search.
        {"ATZ\r\n", "OK|ERROR", 0, nullptr},
        {nullptr, "OK", 0, nullptr},
        {"OK", nullptr, 0, nullptr},
        {"OK", "||=5|", 0, nullptr}, // only empty answers
        // Explicit codes; where it is no code, the '=' belongs to the text.
        {"\r\nBUSY\r\n", "CONNECT=1|BUSY=2|NO CARRIER=3", 2, nullptr},
        {"X", "X=2147483647", 2147483647u, nullptr},
        {"A=B", "A=B", 0, "A=B"},
        {"X=2147483648", "X=2147483648", 0, "X=2147483648"},
        {"K=V", "K=V=7", 7, nullptr}, // the last '=' that starts a number
        // Backslash escapes.
        {"+FCLASS=1", "+FCLASS\\=1=9", 9, nullptr},
        {"xyz", "\\x\\y", 0, "xy"},
        {"tail\\", "tail\\", 0, "tail\\"}, // lone trailing backslash
        // The earliest match wins, then the first named.
        {"CONNECT 9600", "CONNECT=1|CONNECT 9600=2", 1, nullptr},
        {"CONNECT 9600", "CONNECT 9600=2|CONNECT=1", 2, nullptr},
        {"OK OK ERROR", "ERROR=1|OK=2|K=3", 2, nullptr},
    };
    // Default codes are non-zero, in range, and tell close answers apart.
    EXPECT_NE(Code("CONNECT"), Code("CONNECT 9600"));
    EXPECT_NE(AnswerCode(nullptr, 0), 0u);
    EXPECT_LE(Code("OK"), 2147483647u);
    for (const auto &row : rows)
        EXPECT_EQ(SearchOneOf(row.text, row.answers),
                  row.byDefault ? Code(row.byDefault) : row.code)
            << (row.text ? row.text : "(null)") << " / " << (row.answers ? row.answers : "(null)");
}

TEST(SearchOneOf, LongPatternsAndTexts) {
    std::string pattern, longAnswer(5000, 'N'), text(200000, '.');
    for (int i = 0; i < 2000; ++i)
        pattern += "answer" + std::to_string(i) + "|";
    pattern += longAnswer + "|NEEDLE=42";
    EXPECT_EQ(SearchOneOf((text + "NEEDLE").c_str(), pattern.c_str()), 42u);
    EXPECT_EQ(SearchOneOf((text + longAnswer + "NEEDLE").c_str(), pattern.c_str()),
              Code(longAnswer));
}

} // namespace
