// Tamsel string helpers: NUL-terminated strings where a null pointer counts
// as the empty string, with bounded variants that never read or write past
// the limits they are given.
#include "Tamsel.h"

#include <cstring>

uint32_t Strlen(const char *s) {
    return s ? uint32_t(std::strlen(s)) : 0;
}

uint32_t Strlen(const char *s, uint32_t max) {
    if (!s)
        return 0;
    // A plain loop: the bound is a promise not to touch s[max] and beyond.
    uint32_t n = 0;
    while (n < max && s[n] != '\0')
        ++n;
    return n;
}

uint32_t Strcpy(char *dst, const char *src) {
    if (!dst)
        return 0;
    uint32_t n = Strlen(src);
    if (n)
        std::memmove(dst, src, n);
    dst[n] = '\0';
    return n;
}

uint32_t Strncpy(char *dst, const char *src, uint32_t max) {
    if (!dst)
        return 0;
    uint32_t n = Strlen(src, max);
    if (n)
        std::memmove(dst, src, n);
    dst[n] = '\0';
    return n;
}

uint32_t Strcat(char *dst, const char *src) {
    if (!dst)
        return 0;
    uint32_t len = Strlen(dst);
    return len + Strcpy(dst + len, src);
}

uint32_t Strcat(char *dst, const char *src, uint32_t capacity) {
    if (!dst || capacity == 0)
        return 0;
    uint32_t len = Strlen(dst, capacity);
    if (len >= capacity) {
        // dst was not terminated within its capacity: cut it at the last byte.
        dst[capacity - 1] = '\0';
        return capacity - 1;
    }
    return len + Strncpy(dst + len, src, capacity - 1 - len);
}

int Strncmp(const char *a, const char *b, uint32_t n) {
    if (!a)
        a = "";
    if (!b)
        b = "";
    return n ? std::strncmp(a, b, n) : 0;
}

char *Strstr(const char *s, const char *t) {
    if (!s)
        return nullptr;
    if (!t)
        return const_cast<char *>(s);
    return const_cast<char *>(std::strstr(s, t));
}
