// Compile-time conversion of UTF-8 literals to the Windows-1251 code page,
// so that the Russian words can be written readably in this UTF-8 source and
// still come out as the one-byte text the voice prompts expect.
//
// Cp1251<u8"Один">() is a pointer to a static NUL-terminated cp1251 string.
// Only ASCII and the Russian alphabet are accepted; anything else fails to
// compile.
#pragma once

#include <cstddef>

namespace voice {

template <size_t N> struct Cp1251Text {
    char text[N] = {};

    consteval Cp1251Text(const char8_t (&utf8)[N]) {
        size_t o = 0;
        for (size_t i = 0; i + 1 < N;) {
            unsigned c = utf8[i];
            unsigned code;
            if (c < 0x80) {
                code = c;
                i += 1;
            } else if ((c & 0xE0) == 0xC0) {
                code = ((c & 0x1F) << 6) | (unsigned(utf8[i + 1]) & 0x3F);
                i += 2;
            } else {
                throw "only one- and two-byte UTF-8 sequences are expected";
            }
            text[o++] = char(ToCp1251(code));
        }
        text[o] = 0;
    }

    static consteval unsigned ToCp1251(unsigned code) {
        if (code < 0x80)
            return code;
        if (code >= 0x0410 && code <= 0x044F) // А..я
            return code - 0x0410 + 0xC0;
        if (code == 0x0401) // Ё
            return 0xA8;
        if (code == 0x0451) // ё
            return 0xB8;
        throw "character outside the Russian alphabet";
    }
};

template <Cp1251Text S> constexpr const char *Cp1251() {
    return S.text;
}

} // namespace voice
