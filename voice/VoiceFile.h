// Voice file type codes: the format number and flags carried in one 32-bit
// word, and the length of the header block each format carries.
#pragma once

#include <cstdint>

namespace voice {

constexpr uint32_t kFormatMask = 0x7FFF;    // format number, as conversion compares it
constexpr uint32_t kPlayFormatMask = 0xFF;  // format number, as playback reads it
constexpr uint32_t kDropBlockFlag = 0x8000; // source begins with a block to drop
constexpr uint32_t kDropBlockSize = 19;
constexpr uint32_t kAsyncFlag = 0x10000; // playback returns once the data is queued

constexpr uint32_t kZyXHeaderSize = 16;
constexpr uint32_t kUSRHeaderSize = 58;

constexpr uint32_t kFormatRaw = 7; // modem data as is, no header
constexpr uint32_t kFormatFax = 8; // fax page file

constexpr bool IsZyXFormat(uint32_t format) {
    return format >= 1 && format <= 3;
}
constexpr bool IsUSRFormat(uint32_t format) {
    return format >= 4 && format <= 6;
}

// Header block that ConvertFile writes in front of the data (formats 1..6).
constexpr uint32_t ConvertHeaderSize(uint32_t format) {
    return IsZyXFormat(format) ? kZyXHeaderSize : IsUSRFormat(format) ? kUSRHeaderSize : 0;
}

// Bytes that playback skips before the data. Files of no family are taken
// to carry a ZyXEL-sized header; a fax page file says itself where its data
// starts.
constexpr uint32_t PlayHeaderSize(uint32_t format) {
    if (IsUSRFormat(format))
        return kUSRHeaderSize;
    if (format == kFormatRaw)
        return 0;
    return kZyXHeaderSize;
}

} // namespace voice
