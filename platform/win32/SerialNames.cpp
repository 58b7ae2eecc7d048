// The machine's ports as the print spooler lists them (EnumPortsA, level 1).
#include "platform/Serial.h"

#include <windows.h>
#include <winspool.h>
// winspool.h maps EnumPorts to its ANSI or wide form; ours is another function.
#undef EnumPorts

#include <vector>

namespace plat {

std::vector<std::string> EnumPorts() {
    std::vector<std::string> names;
    DWORD needed = 0, count = 0;
    // The first call asks for the size; the list can grow between the calls.
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::vector<BYTE> buffer(needed ? needed : 1);
        if (EnumPortsA(nullptr, 1, buffer.data(), DWORD(buffer.size()), &needed, &count)) {
            auto *ports = reinterpret_cast<PORT_INFO_1A *>(buffer.data());
            for (DWORD i = 0; i < count; ++i)
                if (ports[i].pName)
                    names.emplace_back(ports[i].pName);
            return names;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            break;
    }
    return names;
}

} // namespace plat
