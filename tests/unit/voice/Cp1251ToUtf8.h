// Test helper: Windows-1251 text (ASCII and the Russian alphabet) as UTF-8,
// so that expectations can be written as plain UTF-8 literals.
#pragma once

#include <string>

inline std::string Cp1251ToUtf8(const char *text) {
    std::string out;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; ++p) {
        unsigned c = *p;
        if (c >= 0xC0)
            c = 0x0410 + (c - 0xC0);
        else if (c == 0xA8)
            c = 0x0401;
        else if (c == 0xB8)
            c = 0x0451;
        else if (c >= 0x80)
            c = 0xFFFD; // nothing else is expected in our texts
        if (c < 0x80) {
            out += char(c);
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

inline std::string Utf8(const char8_t *s) {
    return reinterpret_cast<const char *>(s);
}
