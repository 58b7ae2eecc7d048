// Spoken amounts: Russian number words with the agreeing currency word, the
// kopecks, the limits of the text, and callers on several threads.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "Cp1251ToUtf8.h"
#include "Tamsel.h"
#include "falcrest/Falcrest.h"
#include "voice/VUtil32.h"

namespace {

std::string Text(long double amount) {
    char buffer[voice::kTextualNumberSize];
    voice::BuildNumberText(amount, buffer, sizeof buffer);
    return Cp1251ToUtf8(buffer);
}

struct Case {
    double amount;
    const char8_t *text;
};

// The everyday amounts are compared with num2words (amount_text_reference.py);
// these are what it cannot say: rounding to whole kopecks, and the words of
// a negative amount, which keep no sign.
const Case kCases[] = {
    {1, u8"Один рубль, 00 коп."},
    {1021.5, u8"Одна тысяча двадцать один рубль, 50 коп."},
    {0.999, u8"Один рубль, 00 коп."},
    {-5, u8" пять рублей, 00 коп."},
    {-15, u8" пятнадцать рублей, 00 коп."},
    {-99999999999, u8" девяносто девять миллиардов девятьсот девяносто девять миллионов "
                   u8"девятьсот девяносто девять тысяч девятьсот девяносто девять рублей, "
                   u8"00 коп."},
};

} // namespace

TEST(AmountText, SpellsAmountsAcrossAllGroups) {
    for (const auto &c : kCases)
        EXPECT_EQ(Text(c.amount), Utf8(c.text)) << std::to_string(c.amount);
}

TEST(AmountText, EmptyForZeroAndOutsideTheTwelveCharacters) {
    const long double empty[] = {0.0L,
                                 -0.0L,
                                 1e12L,             // 13 digits
                                 999999999999.999L, // rounds up to 13 digits
                                 -999999999999.0L,  // 12 digits and the sign
                                 1e300L,
                                 -1e300L,
                                 std::numeric_limits<long double>::max(),
                                 std::numeric_limits<long double>::infinity(),
                                 -std::numeric_limits<long double>::infinity(),
                                 std::numeric_limits<long double>::quiet_NaN()};
    for (long double amount : empty)
        EXPECT_EQ(Text(amount), "") << double(amount);
    EXPECT_EQ(Text(1e-300L), Utf8(u8" рублей, 00 коп."));
}

// A client that sets a locale with a decimal comma gets the same text. The
// locale (only its numeric part matters) is made for the test with localedef.
TEST(AmountText, TheCallersDecimalCommaChangesNothing) {
    const std::string c = Text(1234.56L), negative = Text(-7.05L);
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("amount-locale-" + std::to_string(getpid()));
    fs::create_directories(dir);
    {
        std::FILE *source = std::fopen((dir / "comma.src").c_str(), "w");
        ASSERT_NE(source, nullptr);
        std::fputs("LC_CTYPE\ncopy \"POSIX\"\nEND LC_CTYPE\nLC_NUMERIC\ndecimal_point \",\"\n"
                   "thousands_sep \"\"\ngrouping -1\nEND LC_NUMERIC\n",
                   source);
        std::fclose(source);
    }
    const std::string make = "localedef -c -f UTF-8 -i " + (dir / "comma.src").string() + " " +
                             (dir / "comma.UTF-8").string() + " >/dev/null 2>&1";
    [[maybe_unused]] int made = std::system(make.c_str()); // warns of the missing categories
    // As a client would: the process's numeric locale (this test runs alone).
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    setenv("LOCPATH", dir.c_str(), 1);
    const bool set = std::setlocale(LC_NUMERIC, "comma.UTF-8") != nullptr;
    unsetenv("LOCPATH");
    if (!set) {
        fs::remove_all(dir);
        GTEST_SKIP() << "no locale with a decimal comma could be made";
    }
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.2f", 1.5);
    const std::string inComma = Text(1234.56L), negativeInComma = Text(-7.05L);
    std::setlocale(LC_NUMERIC, previous.c_str());
    fs::remove_all(dir);
    EXPECT_STREQ(probe, "1,50");
    EXPECT_EQ(inComma, c);
    EXPECT_EQ(negativeInComma, negative);
    EXPECT_NE(c, "");
}

TEST(AmountText, BuilderNeverWritesPastItsBuffer) {
    char small[12];
    std::memset(small, 'x', sizeof small);
    uint32_t n = voice::BuildNumberText(123456789012.34L, small, 8);
    EXPECT_EQ(n, 7u);
    EXPECT_EQ(small[7], 0);
    EXPECT_EQ(small[8], 'x');
}

TEST(AmountText, ExportCopiesUpToTheLimit) {
    char *text = nullptr;
    EXPECT_EQ(SoundizeNumberTXT(1, &text, 10), 10);
    EXPECT_EQ(Cp1251ToUtf8(text), Utf8(u8"Один рубль"));
    EXPECT_EQ(SoundizeNumberTXT(1, &text, 0), 19);
    EXPECT_EQ(Cp1251ToUtf8(text), Utf8(u8"Один рубль, 00 коп."));
    EXPECT_EQ(SoundizeNumberTXT(1, &text, 1000), 19);
    EXPECT_EQ(Cp1251ToUtf8(text), Utf8(u8"Один рубль, 00 коп."));
    Realloc(text, 0);
}

TEST(AmountText, ExportHandsOutAnEmptyStringForAnEmptyText) {
    for (double amount : {0.0, std::nan(""), 1e15, -HUGE_VAL}) {
        char *text = static_cast<char *>(Realloc(nullptr, 4));
        text[0] = 'x';
        EXPECT_EQ(SoundizeNumberTXT(amount, &text, 0), 0);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text[0], 0);
        Realloc(text, 0);
    }
    EXPECT_EQ(SoundizeNumberTXT(5, nullptr, 0), 0);
}

TEST(AmountText, InternalTextIsCp1251InTheCallersBuffer) {
    char *text = SoundizeNumberTxt(1000.0L);
    ASSERT_NE(text, nullptr);
    // "Одна" in Windows-1251.
    EXPECT_EQ(std::string(text, 4), "\xCE\xE4\xED\xE0");
    EXPECT_STREQ(SoundizeNumberTxt(0), "");
    ReleaseTextualNumber();
}

// Each thread gets its own text, however the calls interleave.
TEST(AmountText, CallersOnSeveralThreadsDoNotMeet) {
    const double amounts[] = {21000, 1012000, 123456789012.34, 0.5};
    std::vector<std::string> expected;
    for (double a : amounts)
        expected.push_back(Text(a));
    std::vector<std::thread> threads;
    std::vector<int> failures(4);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            char *text = nullptr;
            for (int i = 0; i < 2000; ++i) {
                SoundizeNumberTXT(amounts[t], &text, 0);
                char *internal = SoundizeNumberTxt(amounts[t]);
                if (Cp1251ToUtf8(text) != expected[t] || Cp1251ToUtf8(internal) != expected[t])
                    ++failures[t];
            }
            Realloc(text, 0);
            ReleaseTextualNumber();
        });
    for (auto &th : threads)
        th.join();
    for (int t = 0; t < 4; ++t)
        EXPECT_EQ(failures[t], 0) << t;
}
