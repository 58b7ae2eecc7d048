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
        {"OK", "", 0, nullptr},
        {"OK", "||=5|", 0, nullptr}, // only empty answers
        {"", "OK", 0, nullptr},
        // Explicit codes; where it is no code, the '=' belongs to the text.
        {"\r\nBUSY\r\n", "CONNECT=1|BUSY=2|NO CARRIER=3", 2, nullptr},
        {"NO CARRIER", "CONNECT=1|BUSY=2|NO CARRIER=3", 3, nullptr},
        {"CONNECT 14400", "CONNECT=1|BUSY=2|NO CARRIER=3", 1, nullptr},
        {"X", "X=2147483647", 2147483647u, nullptr},
        {"A=B", "A=B", 0, "A=B"},
        {"A", "A=B", 0, nullptr},
        {"X=0", "X=0", 0, "X=0"},
        {"X=2147483648", "X=2147483648", 0, "X=2147483648"},
        {"+FCLASS=", "+FCLASS=", 0, "+FCLASS="},
        {"K=V", "K=V=7", 7, nullptr}, // the last '=' that starts a number
        // Backslash escapes.
        {"a|b", "a\\|b", 0, "a|b"},
        {"a", "a\\|b", 0, nullptr},
        {"+FCLASS=1", "+FCLASS\\=1", 0, "+FCLASS=1"},
        {"+FCLASS=1", "+FCLASS\\=1=9", 9, nullptr},
        {"C:\\DIR", "C:\\\\DIR", 0, "C:\\DIR"},
        {"xyz", "\\x\\y", 0, "xy"},
        {"tail\\", "tail\\", 0, "tail\\"}, // lone trailing backslash
        {"5", "\\5=3", 3, nullptr},
        // The earliest match wins, then the first named.
        {"RING\r\nCONNECT", "CONNECT=1|RING=2", 2, nullptr},
        {"xxOKyyERROR", "ERROR=1|OK=2", 2, nullptr},
        {"CONNECT 9600", "CONNECT=1|CONNECT 9600=2", 1, nullptr},
        {"CONNECT 9600", "CONNECT 9600=2|CONNECT=1", 2, nullptr},
        {"abcdef", "bc=1|abcdef=2", 2, nullptr},
        {"OK OK ERROR", "ERROR=1|OK=2|K=3", 2, nullptr},
        {"OK", "BUSY|RING|OK", 0, "OK"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(SearchOneOf(row.text, row.answers),
                  row.byDefault ? Code(row.byDefault) : row.code)
            << (row.text ? row.text : "(null)") << " / " << (row.answers ? row.answers : "(null)");
}

// Default codes depend on the answer's text alone, and close answers differ.
TEST(SearchOneOf, DefaultCodes) {
    EXPECT_NE(Code("OK"), 0u);
    EXPECT_NE(Code("OK"), Code("ERROR"));
    EXPECT_LE(Code("OK"), 2147483647u);
    EXPECT_NE(AnswerCode(nullptr, 0), 0u);
    EXPECT_NE(Code("CONNECT"), Code("CONNECT 9600"));
    EXPECT_NE(Code("NO CARRIER"), Code("NO DIALTONE"));
}

TEST(SearchOneOf, LongPatternsAndTexts) {
    std::string text(200000, '.');
    text += "NEEDLE";
    std::string pattern;
    for (int i = 0; i < 2000; ++i)
        pattern += "answer" + std::to_string(i) + "|";
    std::string longAnswer(5000, 'N');
    pattern += longAnswer + "|NEEDLE=42";
    EXPECT_EQ(SearchOneOf(text.c_str(), pattern.c_str()), 42u);
    text.replace(100, longAnswer.size(), longAnswer);
    EXPECT_EQ(SearchOneOf(text.c_str(), pattern.c_str()), Code(longAnswer));
    std::string escaped;
    for (int i = 0; i < 3000; ++i)
        escaped += "\\|";
    EXPECT_EQ(SearchOneOf(std::string(3000, '|').c_str(), escaped.c_str()),
              Code(std::string(3000, '|')));
}

} // namespace
