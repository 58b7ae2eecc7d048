// PrepareFaxPage: turns a one-bit-per-pixel page bitmap file, in place, into
// a G3 page file whose image is Modified Huffman coded, ready to be sent.
#include <algorithm>
#include <cstring>

#include "FaxCodes.h"
#include "FaxPage.h"
#include "falcrest/Falcrest.h"
#include "platform/Files.h"

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

// The page file, open for reading and writing for the length of a call: one
// handle through which the page is mapped to be read and then rewritten.
class CPageFile {
public:
    explicit CPageFile(const char *path) : file_(plat::OpenFile(path, plat::FileMode::ReadWrite)) {}
    ~CPageFile() {
        Unmap();
        if (file_ != plat::kNoFile)
            plat::CloseFile(file_);
    }
    CPageFile(const CPageFile &) = delete;
    CPageFile &operator=(const CPageFile &) = delete;

    // Maps the whole file for reading, unless it is longer than maxSize. An
    // empty file maps to no view.
    bool Map(uint32_t maxSize) {
        const int64_t size = file_ != plat::kNoFile ? plat::FileSize(file_) : -1;
        if (size < 0 || size > int64_t(maxSize) ||
            !plat::MapFile(file_, uint64_t(size), false, mapping_))
            return false;
        size_ = uint32_t(size);
        return true;
    }

    // Windows cannot change the length of a mapped file: the view goes
    // before the first write.
    void Unmap() { plat::UnmapFile(mapping_); }

    const char *View() const { return static_cast<const char *>(mapping_.view); }
    uint32_t Size() const { return size_; }

    // Writes all n bytes at offset, or fails.
    bool WriteAt(uint32_t offset, const char *data, uint32_t n) {
        if (plat::SeekFile(file_, offset, 0) != int64_t(offset))
            return false;
        while (n > 0) {
            const int64_t put = plat::WriteFile(file_, data, n);
            if (put <= 0)
                return false;
            data += put;
            n -= uint32_t(put);
        }
        return true;
    }

    bool Resize(uint32_t size) { return plat::SetFileSize(file_, size); }

private:
    plat::FileHandle file_;
    plat::Mapping mapping_;
    uint32_t size_ = 0;
};

int Prepare(const char *path) {
    if (path == nullptr || *path == '\0')
        return 0;
    CPageFile file(path);
    if (!file.Map(kMaxMapSize) || file.Size() < kMinPageFile)
        return 0;
    const char *view = file.View();
    if (IsG3(view))
        return 1;
    PageHeader header;
    if (!ReadPageHeader(view, file.Size(), header))
        return 0;
    const uint32_t fileSize = file.Size();
    const uint32_t offset = header.offset;

    // Code first, into memory: until the file is rewritten nothing has changed.
    Block coded;
    uint32_t n = 0;
    if (!CodeFaxPage(view + offset, header.width, header.height, kMaxMapSize - offset, coded.p, n))
        return 0;

    // Keep what the rewrite overwrites, to put it back should it fail.
    const char magic[2] = {view[0], view[1]};
    Block saved;
    const uint32_t overwritten = std::min(n, fileSize - offset);
    if (overwritten > 0) {
        saved.p = static_cast<char *>(Realloc(nullptr, overwritten));
        if (saved.p == nullptr)
            return 0;
        std::memcpy(saved.p, view + offset, overwritten);
    }
    file.Unmap();

    // The coding can be longer than the pixel data it replaces: the file
    // takes exactly the coded bytes, growing or shrinking to fit them. It is
    // cut last, so that a failure loses nothing that was not kept.
    if (file.WriteAt(offset, coded.p, n) && file.WriteAt(0, "G3", 2) && file.Resize(offset + n))
        return 1;
    file.WriteAt(offset, saved.p, overwritten);
    file.WriteAt(0, magic, 2);
    file.Resize(fileSize);
    return 0;
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
