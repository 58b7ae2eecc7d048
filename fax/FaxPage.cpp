// PrepareFaxPage: turns a one-bit-per-pixel page bitmap file, in place, into
// a G3 page file whose image is Modified Huffman coded, ready to be sent.
#include <cstring>

#include "FaxCodes.h"
#include "FaxPage.h"
#include "falcrest/Falcrest.h"

namespace {

// The header fields read: magic, file size, data offset, width, height.
constexpr uint32_t kFileSizeAt = 2;
constexpr uint32_t kDataOffsetAt = 10;
constexpr uint32_t kWidthAt = 18;
constexpr uint32_t kHeightAt = 22;
constexpr uint32_t kHeaderEnd = 26;

uint32_t ReadU32(const char *p) {
    const auto *b = reinterpret_cast<const unsigned char *>(p);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

int32_t ReadI32(const char *p) {
    return static_cast<int32_t>(ReadU32(p));
}

bool IsG3(const char *view) {
    return view[0] == 'G' && view[1] == '3';
}

// A Realloc block released when the scope ends.
struct Block {
    char *p = nullptr;
    ~Block() { Realloc(p, 0); }
};

// Puts the pixel data back as it was and the file back to its length, after
// a rewrite that could not be completed.
void Restore(clFileMap &map, const char *path, uint32_t size, uint32_t offset, const char *saved) {
    map.Close();
    if (map.Open(path, "r+", size) && map.pView != nullptr && size > offset)
        std::memcpy(map.pView + offset, saved, size - offset);
    map.Close();
}

int Prepare(const char *path) {
    if (path == nullptr || *path == '\0')
        return 0;
    clFileMap map(path, "r+", kMaxMapSize);
    if (!map.bOpen || map.dwSize < kMinPageFile || map.pView == nullptr)
        return 0;
    const char *view = map.pView;
    if (IsG3(view))
        return 1;
    PageHeader header;
    if (!ReadPageHeader(view, map.dwSize, header))
        return 0;
    const uint32_t fileSize = map.dwSize;
    const uint32_t offset = header.offset;
    const int32_t width = header.width;
    const int32_t height = header.height;

    // Code first, into memory: until the file is rewritten nothing has changed.
    Block coded;
    uint32_t n = 0;
    if (!CodeFaxPage(view + offset, width, height, kMaxMapSize - offset, coded.p, n))
        return 0;

    // Keep what the rewrite replaces, to put it back should the rewrite fail.
    Block saved;
    const uint32_t tail = fileSize - offset;
    if (tail > 0) {
        saved.p = static_cast<char *>(Realloc(nullptr, tail));
        if (saved.p == nullptr)
            return 0;
        std::memcpy(saved.p, view + offset, tail);
    }

    // The coding can be longer than the pixel data it replaces: the file
    // takes exactly the coded bytes, growing or shrinking to fit them.
    const uint32_t newSize = offset + n;
    map.Close();
    if (!map.Open(path, "r+", newSize) || map.dwSize != newSize || map.pView == nullptr) {
        Restore(map, path, fileSize, offset, saved.p);
        return 0;
    }
    if (n > 0)
        std::memcpy(map.pView + offset, coded.p, n);
    map.pView[0] = 'G';
    map.pView[1] = '3';
    map.Close();
    return 1;
}

} // namespace

bool ReadPageHeader(const char *view, uint32_t size, PageHeader &header) {
    if (view == nullptr || size < kMinPageFile)
        return false;
    const uint32_t offset = ReadU32(view + kDataOffsetAt);
    if (offset >= ReadU32(view + kFileSizeAt))
        return false;
    // Pixel data inside the header would be overwritten by the coding and
    // then by the magic.
    if (offset < kHeaderEnd || offset > size)
        return false;
    // The pixel data must lie within the file; computed in 64 bits, so no
    // header numbers can wrap around into an acceptable size.
    const int32_t width = ReadI32(view + kWidthAt);
    const int32_t height = ReadI32(view + kHeightAt);
    const int64_t rowBytes = width > 0 ? (int64_t(width) + 7) / 8 : 0;
    const int64_t image = height > 0 ? rowBytes * height : 0;
    if (image > int64_t(size - offset))
        return false;
    header.offset = offset;
    header.width = width;
    header.height = height;
    return true;
}

extern "C" FALCREST_API int PrepareFaxPage(const char *path) {
    try {
        return Prepare(path);
    } catch (...) {
        return 0;
    }
}
