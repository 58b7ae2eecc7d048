// Printer-driver enumeration through the print spooler.
#include "platform/Printers.h"

#include <windows.h>
#include <winspool.h>

// winspool.h names its A/W pair with a macro of our function's name.
#undef EnumPrinterDrivers

namespace plat {

bool EnumPrinterDrivers(void *buffer, uint32_t size, uint32_t *needed, uint32_t *count) {
    DWORD need = 0;
    DWORD returned = 0;
    const BOOL ok = ::EnumPrinterDriversA(nullptr, nullptr, 3, static_cast<LPBYTE>(buffer), size,
                                          &need, &returned);
    if (needed != nullptr)
        *needed = need;
    if (count != nullptr)
        *count = returned;
    return ok != FALSE;
}

} // namespace plat
