// Tamsel memory helpers. Blocks handed between Falcrest, Quenby and their
// clients come from here so that one heap allocates and releases them (on
// Windows each DLL may carry its own C runtime heap).
#include "Tamsel.h"

#include <cstdlib>
#include <cstring>

void *Realloc(void *p, size_t n) {
    if (n == 0) {
        std::free(p);
        return nullptr;
    }
    // std::realloc leaves p untouched when it fails, as callers expect.
    return p ? std::realloc(p, n) : std::malloc(n);
}

void Free(void *p) {
    std::free(p);
}

void *Memmove(void *dst, const void *src, size_t n) {
    if (n == 0 || !dst || !src)
        return dst;
    return std::memmove(dst, src, n);
}

void *Setmem(void *dst, size_t n, int byte) {
    if (n == 0 || !dst)
        return dst;
    return std::memset(dst, byte, n);
}
