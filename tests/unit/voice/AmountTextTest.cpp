// The spoken amount's buffers: the builder's bound, the export's limit and
// its empty text. The words are checked against num2words
// (amount_text_reference.py).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Tamsel.h"
#include "falcrest/Falcrest.h"
#include "voice/VUtil32.h"

TEST(AmountText, BuffersAndLimits) {
    char small[12];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(voice::BuildNumberText(123456789012.34L, small, 8), 7u);
    EXPECT_EQ(small[7], 0);
    EXPECT_EQ(small[8], 'x');

    char *text = nullptr;
    ASSERT_EQ(SoundizeNumberTXT(1, &text, 0), 19);
    const std::string whole = text;
    EXPECT_EQ(SoundizeNumberTXT(1, &text, 10), 10);
    EXPECT_EQ(text, whole.substr(0, 10));
    EXPECT_EQ(SoundizeNumberTXT(1, &text, 1000), 19);
    EXPECT_EQ(SoundizeNumberTxt(1.0L), whole);
    ReleaseTextualNumber();
    // An empty text is handed out as an empty string.
    EXPECT_EQ(SoundizeNumberTXT(1e15, &text, 0), 0);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text[0], 0);
    Realloc(text, 0);
    EXPECT_EQ(SoundizeNumberTXT(5, nullptr, 0), 0);
}
