// Fuzzes the mode-string parser. Properties: a rejected string leaves the DCB
// as it was; an accepted one leaves every field in its range; case does not
// matter; and parsing the same string again changes nothing more.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/Serial.h"

namespace {

bool Same(const plat::Dcb &a, const plat::Dcb &b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

plat::Dcb Start() {
    plat::Dcb d; // bit-fields and padding zeroed, so memcmp compares fields
    std::memset(static_cast<void *>(&d), 0, sizeof d);
    d.DCBlength = sizeof d;
    d.BaudRate = 4321;
    d.ByteSize = 6;
    d.Parity = plat::kMarkParity;
    d.StopBits = plat::kOne5StopBits;
    d.fRtsControl = plat::kRtsControlToggle;
    d.fOutX = 1;
    return d;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string mode(reinterpret_cast<const char *>(data), size);
    mode = mode.c_str(); // the parser sees a C string

    plat::Dcb dcb = Start();
    bool ok = plat::ParseModeString(mode.c_str(), dcb);
    if (!ok && !Same(dcb, Start()))
        std::abort();
    if (ok && (dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > plat::kSpaceParity ||
               dcb.StopBits > plat::kTwoStopBits || dcb.BaudRate == 0))
        std::abort();

    std::string upper = mode;
    for (char &c : upper)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    plat::Dcb shouted = Start();
    if (plat::ParseModeString(upper.c_str(), shouted) != ok || !Same(shouted, dcb))
        std::abort();

    if (ok) {
        plat::Dcb again = dcb;
        if (!plat::ParseModeString(mode.c_str(), again) || !Same(again, dcb))
            std::abort();
    }
    return 0;
}
