// Printer drivers on POSIX: there is no system list of them that a serial
// library should start programs or block to read, so the list is empty.
#include "platform/Printers.h"

namespace plat {

bool EnumPrinterDrivers(void *, uint32_t, uint32_t *needed, uint32_t *count) {
    if (needed != nullptr)
        *needed = 0;
    if (count != nullptr)
        *count = 0;
    return true;
}

} // namespace plat
