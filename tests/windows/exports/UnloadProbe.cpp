// A client that loads Falcrest.dll by name, opens a port, ends the data
// twice (ResetQueueAndRTC, AbortTransfer) and then, with the port still
// open, either frees the library ("free") or just exits ("exit").
// Usage: unload_probe free|exit PORT. Exit status 0 when every step
// worked, 2 when a step failed; "free" prints how long FreeLibrary took.
#include <windows.h>

#include <cstdint>
#include <cstdio>
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
    if (argc != 3)
        return 2;
    HMODULE dll = LoadLibraryA("Falcrest.dll");
    if (!dll)
        return 2;
    auto initModem = Find<int (*)(void *, const char *, const char *)>(dll, "InitModem");
    auto resetQueueAndRtc = Find<void (*)()>(dll, "ResetQueueAndRTC");
    auto abortTransfer = Find<int (*)()>(dll, "AbortTransfer");
    if (!initModem || !resetQueueAndRtc || !abortTransfer)
        return 2;
    if (initModem(reinterpret_cast<void *>(&Ignore), argv[2],
                  "baud=115200 octs=off odsr=off xon=off") <= 0)
        return 2;
    resetQueueAndRtc();
    if (abortTransfer() != 1)
        return 2;
    if (std::strcmp(argv[1], "free") != 0)
        return 0; // the process ends with the port open
    ULONGLONG start = GetTickCount64();
    BOOL freed = FreeLibrary(dll);
    std::printf("FreeLibrary took %llu ms\n", GetTickCount64() - start);
    return freed ? 0 : 2;
}
