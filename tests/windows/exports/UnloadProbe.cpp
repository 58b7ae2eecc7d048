// Usage: unload_probe free|exit PORT (see ExportsTest.cpp). Exit status 0
// when every step worked, 2 when one failed.
#include <windows.h>

#include <cstdint>
#include <cstring>

namespace {

int Ignore(uint32_t, uint32_t, uint32_t) {
    return 0;
}

template <typename F> F Find(HMODULE dll, const char *name) {
    return reinterpret_cast<F>(reinterpret_cast<void *>(GetProcAddress(dll, name)));
}

} // namespace

int main(int argc, char **argv) {
    HMODULE dll = argc == 3 ? LoadLibraryA("Falcrest.dll") : nullptr;
    if (!dll)
        return 2;
    auto initModem = Find<int (*)(void *, const char *, const char *)>(dll, "InitModem");
    auto resetQueueAndRtc = Find<void (*)()>(dll, "ResetQueueAndRTC");
    auto abortTransfer = Find<int (*)()>(dll, "AbortTransfer");
    if (!initModem || !resetQueueAndRtc || !abortTransfer ||
        initModem(reinterpret_cast<void *>(&Ignore), argv[2],
                  "baud=115200 octs=off odsr=off xon=off") <= 0)
        return 2;
    resetQueueAndRtc();
    if (abortTransfer() != 1)
        return 2;
    return std::strcmp(argv[1], "free") != 0 || FreeLibrary(dll) ? 0 : 2;
}
