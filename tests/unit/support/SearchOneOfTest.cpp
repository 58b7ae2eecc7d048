// SearchOneOf: the pattern syntax, codes, and which answer wins.
#include "Tamsel.h"

#include <gtest/gtest.h>

#include <string>

namespace {

uint32_t Code(const std::string &answer) {
    return AnswerCode(answer.data(), uint32_t(answer.size()));
}

TEST(SearchOneOf, NothingFoundOrNothingToSearch) {
    EXPECT_EQ(SearchOneOf("ATZ\r\n", "OK|ERROR"), 0u);
    EXPECT_EQ(SearchOneOf(nullptr, "OK"), 0u);
    EXPECT_EQ(SearchOneOf("OK", nullptr), 0u);
    EXPECT_EQ(SearchOneOf("OK", ""), 0u);
    EXPECT_EQ(SearchOneOf("OK", "||=5|"), 0u); // only empty answers
    EXPECT_EQ(SearchOneOf("", "OK"), 0u);
}

TEST(SearchOneOf, DefaultCodesDependOnTheAnswerAlone) {
    uint32_t ok = SearchOneOf("\r\nOK\r\n", "OK|CONNECT");
    uint32_t error = SearchOneOf("\r\nERROR\r\n", "ERROR");
    EXPECT_NE(ok, 0u);
    EXPECT_NE(error, 0u);
    EXPECT_NE(ok, error);
    EXPECT_EQ(ok, Code("OK"));
    EXPECT_EQ(ok, SearchOneOf("OK", "BUSY|RING|OK"));
    EXPECT_EQ(error, Code("ERROR"));
    EXPECT_LE(Code("OK"), 2147483647u);
    EXPECT_NE(AnswerCode(nullptr, 0), 0u);
    // Close answers still differ.
    EXPECT_NE(Code("CONNECT"), Code("CONNECT 9600"));
    EXPECT_NE(Code("NO CARRIER"), Code("NO DIALTONE"));
}

TEST(SearchOneOf, ExplicitCodes) {
    const char *p = "CONNECT=1|BUSY=2|NO CARRIER=3";
    EXPECT_EQ(SearchOneOf("\r\nBUSY\r\n", p), 2u);
    EXPECT_EQ(SearchOneOf("NO CARRIER", p), 3u);
    EXPECT_EQ(SearchOneOf("CONNECT 14400", p), 1u);
    EXPECT_EQ(SearchOneOf("X", "X=2147483647"), 2147483647u);
    // Not a code: the '=' and what follows belong to the answer's text.
    EXPECT_EQ(SearchOneOf("A=B", "A=B"), Code("A=B"));
    EXPECT_EQ(SearchOneOf("A", "A=B"), 0u);
    EXPECT_EQ(SearchOneOf("X=0", "X=0"), Code("X=0"));
    EXPECT_EQ(SearchOneOf("X=2147483648", "X=2147483648"), Code("X=2147483648"));
    EXPECT_EQ(SearchOneOf("+FCLASS=", "+FCLASS="), Code("+FCLASS="));
    // The last '=' that starts a number gives the code.
    EXPECT_EQ(SearchOneOf("K=V", "K=V=7"), 7u);
}

TEST(SearchOneOf, BackslashEscapes) {
    EXPECT_EQ(SearchOneOf("a|b", "a\\|b"), Code("a|b"));
    EXPECT_EQ(SearchOneOf("a", "a\\|b"), 0u);
    EXPECT_EQ(SearchOneOf("+FCLASS=1", "+FCLASS\\=1"), Code("+FCLASS=1"));
    EXPECT_EQ(SearchOneOf("+FCLASS=1", "+FCLASS\\=1=9"), 9u);
    EXPECT_EQ(SearchOneOf("C:\\DIR", "C:\\\\DIR"), Code("C:\\DIR"));
    EXPECT_EQ(SearchOneOf("xyz", "\\x\\y"), Code("xy"));
    EXPECT_EQ(SearchOneOf("tail\\", "tail\\"), Code("tail\\")); // lone trailing backslash
    EXPECT_EQ(SearchOneOf("5", "\\5=3"), 3u);
}

TEST(SearchOneOf, EarliestMatchWinsThenPatternOrder) {
    EXPECT_EQ(SearchOneOf("RING\r\nCONNECT", "CONNECT=1|RING=2"), 2u);
    EXPECT_EQ(SearchOneOf("xxOKyyERROR", "ERROR=1|OK=2"), 2u);
    // Both start at the same place: the first named wins.
    EXPECT_EQ(SearchOneOf("CONNECT 9600", "CONNECT=1|CONNECT 9600=2"), 1u);
    EXPECT_EQ(SearchOneOf("CONNECT 9600", "CONNECT 9600=2|CONNECT=1"), 2u);
    // A longer answer starting earlier beats a shorter one ending earlier.
    EXPECT_EQ(SearchOneOf("abcdef", "bc=1|abcdef=2"), 2u);
    // A later answer that only occurs after the best match does not win.
    EXPECT_EQ(SearchOneOf("OK OK ERROR", "ERROR=1|OK=2|K=3"), 2u);
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
