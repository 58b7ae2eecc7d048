// The page bitmap file as PrepareFaxPage reads it: which headers it accepts.
#pragma once

#include <cstdint>

constexpr uint32_t kMaxMapSize = 0x8000000; // 128 MiB, the largest page file mapped
constexpr uint32_t kMinPageFile = 28;

struct PageHeader {
    uint32_t offset; // of the pixel data
    int32_t width;   // pixels; 0 or less codes no rows
    int32_t height;  // rows; 0 or less codes no rows
};

// Reads the header of a page bitmap of size bytes (one that does not begin
// with "G3") and checks that its pixel data lies within those bytes, after
// the header fields. False for a page to refuse.
bool ReadPageHeader(const char *view, uint32_t size, PageHeader &header);
