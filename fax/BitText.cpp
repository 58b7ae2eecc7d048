// Bit texts, the form in which callers hand coded lines to the line
// operations: one '0' or '1' character per bit, in line order.
#include <cstring>

#include "FaxCodes.h"

int Binstr2Bin(char *&out, const char *bits, int count) {
    if (count <= 0 || bits == nullptr)
        return 0;
    const uint32_t characters = static_cast<uint32_t>(count);
    const uint32_t n = characters / 8 + (characters % 8 != 0 ? 1 : 0);
    auto *buffer = static_cast<unsigned char *>(Realloc(out, static_cast<size_t>(n) + 1));
    if (buffer == nullptr)
        return 0;
    out = reinterpret_cast<char *>(buffer);
    // A last, incomplete byte keeps 0 in its missing high bits.
    std::memset(buffer, 0, n);
    for (uint32_t i = 0; i < characters; ++i)
        if (bits[i] != '0')
            buffer[i / 8] |= static_cast<unsigned char>(1u << (i % 8));
    return static_cast<int>(n);
}
