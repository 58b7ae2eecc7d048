// Attribute words and their mapping onto the console's 16-bit attribute.
#include "ScreenFixture.h"

namespace {

using Attributes = Screen;

void SetConsoleAttribute(uint16_t attribute) {
    plat::con::SetTextAttribute(plat::con::GetStdOutput(), attribute);
}

std::pair<int, int> Words() {
    int fore = -1, back = -1;
    beGetTextAttributes(&fore, &back);
    return {fore, back};
}

TEST_F(Attributes, StartingWordsComeFromTheConsole) {
    EXPECT_EQ(Words(), std::make_pair(0x107, 0));
    SetConsoleAttribute(0x1E); // bright yellow on blue
    vtInitVT100();
    EXPECT_EQ(Words(), std::make_pair(0x113, 0x04));
    EXPECT_EQ(Info().wAttributes, 0x1E); // initialisation leaves the console alone
}

TEST_F(Attributes, ComposeAndReverse) {
    beSetTextAttributes(0x11, 0x04);
    EXPECT_EQ(Info().wAttributes, 0x1C); // bright red on blue
    beSetTextAttributes(0x81, 0x04);
    EXPECT_EQ(Info().wAttributes, 0x41); // swapped: blue on red
    EXPECT_EQ(Words(), std::make_pair(0x81, 0x04));
    beSetTextAttributes(0x91, 0x14);
    EXPECT_EQ(Info().wAttributes, 0xC9);
    EXPECT_EQ(Words(), std::make_pair(0x91, 0x14));
    EXPECT_EQ(beGetTextAttributes(nullptr, nullptr), 0);
}

TEST_F(Attributes, RenditionsTheConsoleCannotShowLiveInTheWords) {
    beSetTextAttributes(0x167, 0x00);
    EXPECT_EQ(Info().wAttributes, 0x07);
    EXPECT_EQ(Words(), std::make_pair(0x167, 0));
    // Higher console bits are never touched.
    SetConsoleAttribute(0x8007);
    beSetTextAttributes(0x111, 0x04);
    EXPECT_EQ(Info().wAttributes, 0x801C);
    // Colours put there by another writer are picked up; the stored
    // underline, blink and character set stay.
    beSetTextAttributes(0x467, 0);
    SetConsoleAttribute(0x2E);
    EXPECT_EQ(Words(), std::make_pair(0x473, 0x02));
}

// The start-up rendition is the console's colours when the emulator started:
// ESC [ m, ESC [ 39 m and ESC [ 49 m return to them.
TEST_F(Attributes, ResetReturnsToTheStartingColours) {
    SetConsoleAttribute(0x1E);
    vtInitVT100();
    Feed("\x1b[7;31;42mA\x1b[mB\x1b[35mC\x1b[39;49mD");
    EXPECT_EQ(AttrAt(0, 0), 0xC2); // bright red on green, reversed
    EXPECT_EQ(AttrAt(1, 0), 0x1E);
    EXPECT_EQ(AttrAt(2, 0), 0x1D);
    EXPECT_EQ(AttrAt(3, 0), 0x1E);
}

} // namespace
