// DLE shielding of voice and fax data blocks.
#include "voice/Shield.h"

#include "voice/VoiceFile.h"

namespace voice {

bool IsPassThroughCode(uint8_t code) {
    switch (code) {
    case 0x12:
    case 0x14:
    case 0x18:
    case 0x1C:
    case 0x70:
    case 0x72:
        return true;
    default:
        return false;
    }
}

namespace {

// A DLE with nothing after it goes out doubled in every format: sent alone
// in raw data, it would pair with the DLE of the end marker that follows,
// and the modem would play DLE and ETX and miss the end.
uint32_t PutLoneDLE(uint8_t *out) {
    out[0] = FALCREST_DLE;
    out[1] = FALCREST_DLE;
    return 2;
}

} // namespace

ShieldResult ShieldVoiceBlock(const uint8_t *in, uint32_t n, uint32_t format, bool moreFollows,
                              uint8_t *out) {
    format &= kPlayFormatMask;
    uint32_t i = 0;
    uint32_t o = 0;
    while (i < n) {
        uint8_t b = in[i];
        if (b != FALCREST_DLE) {
            out[o++] = b;
            ++i;
            continue;
        }
        if (i + 1 == n) {
            if (moreFollows)
                return {i, o}; // the next block starts with this DLE
            o += PutLoneDLE(out + o);
            ++i;
            break;
        }
        uint8_t next = in[i + 1];
        out[o++] = FALCREST_DLE;
        if (format == kFormatRaw) {
            // Unchanged, but a pair is taken whole, so that a DLE left at
            // the end really is alone.
            if (next == FALCREST_DLE)
                out[o++] = FALCREST_DLE;
            i += next == FALCREST_DLE ? 2 : 1;
        } else if (format == kFormatFax) {
            out[o++] = FALCREST_DLE;
            i += 1;
        } else if (format == 4) {
            out[o++] = FALCREST_DLE;
            i += next == FALCREST_DLE ? 2 : 1;
        } else if (next == FALCREST_DLE) {
            out[o++] = FALCREST_DLE;
            i += 2;
        } else if (IsPassThroughCode(next)) {
            i += 1;
        } else {
            out[o++] = FALCREST_DLE;
            i += 1;
        }
    }
    return {i, o};
}

} // namespace voice
