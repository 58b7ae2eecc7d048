// DLE unshielding of DTE data streams, the inverse of the sender's shielding.
#include "Unshield.h"

namespace vmodem {

bool IsVoiceCommand(uint8_t code) {
    switch (code) {
    case 0x18: // CAN: clear the buffer
    case 0x14: // DC4: stop at once
    case '!':  // the same
    case 'p':
    case 'r':
    case 'u':
    case 'd':
        return true;
    default:
        return false;
    }
}

bool IsPostPageCode(uint8_t code) {
    return code == ',' || code == ';' || code == '.';
}

size_t CUnshielder::Feed(const uint8_t *data, size_t count, std::vector<uint8_t> &out,
                         uint8_t &control) {
    control = 0;
    size_t i = 0;
    while (i < count) {
        uint8_t b = data[i++];
        if (!pendingDle_) {
            if (b == kDle)
                pendingDle_ = true;
            else
                out.push_back(b);
            continue;
        }
        pendingDle_ = false;
        if (b == kDle) {
            out.push_back(kDle);
        } else if (b == kEtx || (dialect_ == EDialect::Voice && IsVoiceCommand(b)) ||
                   (dialect_ == EDialect::FaxPostPage && IsPostPageCode(b))) {
            control = b;
            break;
        } else {
            ++stray_;
        }
    }
    return i;
}

} // namespace vmodem
