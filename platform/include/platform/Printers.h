// Printer-driver enumeration.
#pragma once

#include <cstdint>

namespace plat {

// Lists the local machine's printer drivers for the current environment into
// buffer (size bytes): on Windows as the spooler's level-3 driver records.
// *needed receives the size the whole list takes and *count the entries
// written. False when the list did not fit or could not be read; *needed then
// tells whether a larger buffer would help. POSIX has no such list: it is
// always empty.
bool EnumPrinterDrivers(void *buffer, uint32_t size, uint32_t *needed, uint32_t *count);

} // namespace plat
