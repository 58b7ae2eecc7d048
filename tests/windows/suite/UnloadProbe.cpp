// A client of Falcrest.dll, loaded by name (scripts/wine/run-windows-tests.sh
// runs it). Usage:
//   unload_probe ports        prints EnumComPorts' list
//   unload_probe free|exit PORT
//       opens PORT, ends the data twice (ResetQueueAndRTC, AbortTransfer),
//       then frees the library or just exits with the port still open.
// Exit status 0 when every step worked, 2 when one failed.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
    HMODULE dll = LoadLibraryA("Falcrest.dll");
    auto find = [dll](const char *n) { return reinterpret_cast<void *>(GetProcAddress(dll, n)); };
    auto enumComPorts = reinterpret_cast<int (*)(char **)>(find("EnumComPorts"));
    auto initModem =
        reinterpret_cast<int (*)(void *, const char *, const char *)>(find("InitModem"));
    auto resetQueueAndRtc = reinterpret_cast<void (*)()>(find("ResetQueueAndRTC"));
    auto abortTransfer = reinterpret_cast<int (*)()>(find("AbortTransfer"));
    char *list = nullptr;
    if (argc == 2 && !std::strcmp(argv[1], "ports") && enumComPorts && enumComPorts(&list) == 1)
        return std::printf("%s", list), 0;
    if (argc != 3 || !initModem || !resetQueueAndRtc || !abortTransfer ||
        initModem(reinterpret_cast<void *>(+[](uint32_t, uint32_t, uint32_t) { return 0; }),
                  argv[2], "baud=115200 octs=off odsr=off xon=off") <= 0)
        return 2;
    resetQueueAndRtc();
    return abortTransfer() == 1 && (std::strcmp(argv[1], "free") != 0 || FreeLibrary(dll)) ? 0 : 2;
}
