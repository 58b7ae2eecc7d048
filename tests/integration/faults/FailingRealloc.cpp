// Tamsel's Realloc, failing on demand: this program's definition stands in
// for the library's (the dynamic linker binds every call to it, Tamsel's own
// included) and hands the request on until told to fail.
#include <atomic>
#include <dlfcn.h>

#include "FailingRealloc.h"
#include "Tamsel.h"

namespace {
std::atomic<int> gAllowed{-1};
} // namespace

void FailReallocAfter(int allowed) {
    gAllowed = allowed;
}

extern "C" void *Realloc(void *p, size_t n) {
    using Fn = void *(*)(void *, size_t);
    static const Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "Realloc"));
    for (int left = gAllowed.load(); n != 0 && left >= 0;) {
        if (left == 0)
            return nullptr;
        if (gAllowed.compare_exchange_weak(left, left - 1))
            break;
    }
    return real(p, n);
}
