// The texts vmodem identifies itself with (ATI, AT+GMI and friends).
#pragma once

namespace vmodem {

constexpr const char *kProductName = "Quenby Virtual Modem";
constexpr const char *kProgramVersion = "vmodem 1.0";
constexpr const char *kProductDescription =
    "Quenby Virtual Modem 1.0: data, fax class 1 and 2, voice";
constexpr const char *kManufacturer = "Quenby";
constexpr const char *kModel = "Virtual Modem";
constexpr const char *kRevision = "1.0";

} // namespace vmodem
