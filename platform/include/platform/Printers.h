// Printer-driver enumeration, as the system's print service reports it.
#pragma once

#include <cstdint>

namespace plat {

// How long the POSIX print service may take to list its drivers.
constexpr uint32_t kPrinterQueryTimeoutMs = 3000;

// Lists the local machine's printer drivers for the current environment into
// buffer (size bytes): on Windows as level-3 driver records, on POSIX as the
// driver names that the print service lists, each NUL-terminated. *needed
// receives the size the whole list takes and *count the entries written.
// False when the list did not fit or could not be read; *needed then tells
// whether a larger buffer would help. On POSIX a print service that is
// missing, fails or does not answer within timeoutMs gives an empty list.
bool EnumPrinterDrivers(void *buffer, uint32_t size, uint32_t *needed, uint32_t *count,
                        uint32_t timeoutMs = kPrinterQueryTimeoutMs);

} // namespace plat
