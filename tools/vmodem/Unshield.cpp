// DLE unshielding of DTE data streams, the inverse of the sender's shielding.
#include "Unshield.h"

namespace vmodem {

namespace {

bool IsVoiceCode(uint8_t b) {
    return b == 0x12 || b == 0x14 || b == 0x18 || b == 0x1C || b == 0x70 || b == 0x72;
}

} // namespace

EShield ShieldForVoiceFormat(int format) {
    switch (format) {
    case 7:
        return EShield::Raw;
    case 4:
    case 8:
        return EShield::Doubled;
    default:
        return EShield::VoiceCodes;
    }
}

size_t CUnshielder::Feed(const uint8_t *data, size_t count, std::vector<uint8_t> &out) {
    size_t i = 0;
    while (i < count && !ended_) {
        uint8_t b = data[i++];
        if (!pendingDle_) {
            if (b == kDle)
                pendingDle_ = true;
            else
                out.push_back(b);
            continue;
        }
        pendingDle_ = false;
        if (b == kEtx) {
            ended_ = true;
        } else if (shield_ == EShield::Raw) {
            // The DLE stood alone; the byte after it is data in its own right.
            out.push_back(kDle);
            if (b == kDle)
                pendingDle_ = true;
            else
                out.push_back(b);
        } else if (b == kDle) {
            out.push_back(kDle);
        } else {
            out.push_back(kDle);
            out.push_back(b);
            if (shield_ == EShield::VoiceCodes && IsVoiceCode(b))
                ++codes_;
            else
                ++stray_;
        }
    }
    return i;
}

} // namespace vmodem
