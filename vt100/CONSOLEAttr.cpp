// Text attributes of the VT100 emulator (module CONSOLE): the foreground and
// background attribute words and their mapping onto the console's 16-bit
// attribute. Renditions the console cannot show (underline, blink, character
// set) live only in the words; reverse swaps the console's colour nibbles.
#include "CONSOLE.h"
#include "CONSOLEState.h"

#include <cstdint>

namespace con = plat::con;

namespace {

constexpr int kMappingPairs = 11;

// (word bit, console bit) pairs, each ended by (0, 0).
const int scForeMapping[kMappingPairs + 1][2] = {
    {0x01, 0x04}, {0x02, 0x02}, {0x04, 0x01}, {0x10, 0x08}, {0x20, 0},  {0x40, 0},
    {0x80, 0},    {0x100, 0},   {0x200, 0},   {0x400, 0},   {0x800, 0}, {0, 0}};
const int scBackMapping[kMappingPairs + 1][2] = {
    {0x01, 0x40}, {0x02, 0x20}, {0x04, 0x10}, {0x10, 0x80}, {0x20, 0},  {0x40, 0},
    {0x80, 0},    {0x100, 0},   {0x200, 0},   {0x400, 0},   {0x800, 0}, {0, 0}};
// (console foreground bit, console background bit): red, blue, green, intensity.
const int conColorMapping[4][2] = {{0x04, 0x40}, {0x01, 0x10}, {0x02, 0x20}, {0x08, 0x80}};

int bothFore[2];   // word bits and console bits the foreground mapping links
int bothBack[2];   // the same for the background
int conForeColors; // console foreground nibble
int conBackColors; // console background nibble

int ConsoleAttribute() {
    con::ScreenBufferInfo info{};
    if (!con::GetScreenBufferInfo(hConOut, &info))
        return 0;
    return info.wAttributes;
}

// Reverse video: colours and intensity trade places between the nibbles.
int Swap(int attribute) {
    int swapped = attribute & ~(conForeColors | conBackColors);
    for (const auto &pair : conColorMapping) {
        if (attribute & pair[0])
            swapped |= pair[1];
        if (attribute & pair[1])
            swapped |= pair[0];
    }
    return swapped;
}

void Masks(const int (&mapping)[kMappingPairs + 1][2], int (&both)[2]) {
    both[0] = both[1] = 0;
    for (int i = 0; i < kMappingPairs; ++i) {
        if (mapping[i][0] && mapping[i][1]) {
            both[0] |= mapping[i][0];
            both[1] |= mapping[i][1];
        }
    }
}

int WordFrom(const int (&mapping)[kMappingPairs + 1][2], int attribute) {
    int word = 0;
    for (int i = 0; i < kMappingPairs; ++i)
        if (attribute & mapping[i][1])
            word |= mapping[i][0];
    return word;
}

int ConsoleFrom(const int (&mapping)[kMappingPairs + 1][2], int word) {
    int attribute = 0;
    for (int i = 0; i < kMappingPairs; ++i)
        if (word & mapping[i][0])
            attribute |= mapping[i][1];
    return attribute;
}

// The walks above as tables, made once: console low byte -> word bits, the
// console-backed word bits (0x1F) -> console bits, and reverse video.
struct Tables {
    uint8_t foreWord[256], backWord[256], foreConsole[32], backConsole[32], swapped[256];
};
Tables tables;

void BuildTables() {
    for (int value = 0; value < 256; ++value) {
        tables.foreWord[value] = uint8_t(WordFrom(scForeMapping, value));
        tables.backWord[value] = uint8_t(WordFrom(scBackMapping, value));
        tables.swapped[value] = uint8_t(Swap(value));
    }
    for (int word = 0; word < 32; ++word) {
        tables.foreConsole[word] = uint8_t(ConsoleFrom(scForeMapping, word));
        tables.backConsole[word] = uint8_t(ConsoleFrom(scBackMapping, word));
    }
}

int Swapped(int attribute) {
    return (attribute & ~0xFF) | tables.swapped[attribute & 0xFF];
}

} // namespace

int scForeFlags = kCharSetAscii;
int scBackFlags = 0;

void InitTextAttributes() {
    Masks(scForeMapping, bothFore);
    Masks(scBackMapping, bothBack);
    conForeColors = conBackColors = 0;
    for (const auto &pair : conColorMapping) {
        conForeColors |= pair[0];
        conBackColors |= pair[1];
    }
    BuildTables();
    const int attribute = ConsoleAttribute();
    scForeFlags = kCharSetAscii | tables.foreWord[attribute & 0xFF];
    scBackFlags = tables.backWord[attribute & 0xFF];
}

int beGetTextAttributes(int *fore, int *back) {
    scForeFlags &= ~bothFore[0];
    scBackFlags &= ~bothBack[0];
    int attribute = ConsoleAttribute();
    if (scForeFlags & kAttrReverse)
        attribute = Swapped(attribute);
    scForeFlags |= tables.foreWord[attribute & 0xFF];
    scBackFlags |= tables.backWord[attribute & 0xFF];
    if (fore)
        *fore = scForeFlags;
    if (back)
        *back = scBackFlags;
    return 0;
}

int beSetTextAttributes(int fore, int back) {
    scForeFlags = fore;
    scBackFlags = back;
    int attribute = ConsoleAttribute() & ~(bothFore[1] | bothBack[1]);
    attribute |= tables.foreConsole[fore & 0x1F] | tables.backConsole[back & 0x1F];
    if (fore & kAttrReverse)
        attribute = Swapped(attribute);
    con::SetTextAttribute(hConOut, static_cast<uint16_t>(attribute));
    return 0;
}
