// Voice file conversion: a source file's voice data behind the header block
// of the target's modem family. The data is copied, never re-coded.
#include <climits>
#include <cstdint>
#include <vector>

#include "Tamsel.h"
#include "falcrest/Falcrest.h"
#include "platform/Files.h"
#include "voice/VoiceFile.h"

// The header blocks carry no signature and no fields: all zeros.
static const uint8_t lpZyXHeader[voice::kZyXHeaderSize] = {};
static const uint8_t lpUSRHeader[voice::kUSRHeaderSize] = {};

namespace {

// Closes both files on every way out.
struct FilePair {
    TamselFile source = kTamselNoFile;
    TamselFile target = kTamselNoFile;
    ~FilePair() {
        if (target != kTamselNoFile)
            CloseFileW(&target);
        if (source != kTamselNoFile)
            CloseFileW(&source);
    }
};

bool WriteAll(plat::FileHandle file, const uint8_t *data, uint32_t n) {
    while (n > 0) {
        int64_t done = plat::WriteFile(file, data, n);
        if (done <= 0)
            return false;
        data += done;
        n -= uint32_t(done);
    }
    return true;
}

// Copies length bytes from the source's current position. The source is
// read in pieces rather than mapped: no mapping object is shared between
// conversions, and large files need no address space.
int64_t CopyData(plat::FileHandle source, plat::FileHandle target, int64_t length) {
    static constexpr uint32_t kPiece = 64 * 1024;
    std::vector<uint8_t> piece(kPiece);
    uint8_t *buffer = piece.data();
    int64_t copied = 0;
    while (copied < length) {
        uint32_t want = uint32_t(length - copied < kPiece ? length - copied : kPiece);
        int64_t got = plat::ReadFile(source, buffer, want);
        if (got <= 0)
            return -1; // the source changed under us, or a read failed
        if (!WriteAll(target, buffer, uint32_t(got)))
            return -1;
        copied += got;
    }
    return copied;
}

int Convert(const char *target, uint32_t targetType, const char *source, uint32_t sourceType) {
    FilePair files;
    if (!source || !OpenFileW(source, &files.source, "r"))
        return 0;
    // A target that is the source itself would be truncated before a byte
    // of it was read: the data would be gone.
    if (target && plat::IsSameFile(files.source, target))
        return 0;
    // The target is created before the source is examined: a conversion that
    // fails later leaves it empty (or holding only the header block).
    if (!target || !OpenFileW(target, &files.target, "w"))
        return 0;

    int64_t length = plat::FileSize(files.source);
    // The result counts bytes in an int: larger files are not converted.
    if (length <= 0 || length > INT_MAX)
        return 0;
    int64_t skip = (sourceType & voice::kDropBlockFlag) ? voice::kDropBlockSize : 0;
    if (skip >= length)
        return 0;

    uint32_t format = sourceType & voice::kFormatMask;
    if (format != (targetType & voice::kFormatMask))
        return 0;

    uint32_t headerSize = voice::ConvertHeaderSize(format);
    const uint8_t *header = voice::IsZyXFormat(format) ? lpZyXHeader : lpUSRHeader;
    if (headerSize > 0 && !WriteAll(files.target, header, headerSize))
        return 0;

    if (plat::SeekFile(files.source, skip, 0) != skip)
        return 0;
    int64_t copied = CopyData(files.source, files.target, length - skip);
    return copied < 0 ? 0 : int(copied);
}

} // namespace

extern "C" FALCREST_API int ConvertFile(const char *target, uint32_t targetType, const char *source,
                                        uint32_t sourceType) {
    try {
        return Convert(target, targetType, source, sourceType);
    } catch (...) {
        return 0;
    }
}
