// DLE shielding of voice and fax data on its way to the modem: one block of
// file bytes in, the bytes to queue out. Pure, so that it can be tested and
// fuzzed without a port.
#pragma once

#include <cstdint>

#include "falcrest/Falcrest.h"

namespace voice {

// Largest block read from a file at a time.
constexpr uint32_t kBlockSize = 1000;

struct ShieldResult {
    uint32_t consumed; // file bytes taken from the block
    uint32_t written;  // bytes stored in out
};

// Shields the n bytes of a block for the given format number (bits 0..7 of
// the type code; higher bits are ignored). out needs room for 2 * n bytes.
//
// A DLE that is the block's last byte cannot be judged without the byte
// after it: when the file goes on (moreFollows), it is left for the next
// block (consumed is then n - 1); when it is the file's last byte, it goes
// out as a lone DLE of its format.
ShieldResult ShieldVoiceBlock(const uint8_t *in, uint32_t n, uint32_t format, bool moreFollows,
                              uint8_t *out);

// Whether a DLE followed by code passes to the modem unshielded in the
// ZyXEL-style formats (the modem's own voice commands).
bool IsPassThroughCode(uint8_t code);

} // namespace voice
