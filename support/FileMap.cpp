// clFileMap: a whole file mapped into memory, optionally first cut or
// extended to an exact length, which it keeps when the map is closed.
#include "Tamsel.h"

#include "platform/Files.h"

#include <cstring>

namespace {

bool ParseMapMode(const char *mode, bool &writable) {
    if (!mode)
        return false;
    if (std::strcmp(mode, "r+") == 0 || std::strcmp(mode, "rb+") == 0 ||
        std::strcmp(mode, "r+b") == 0) {
        writable = true;
        return true;
    }
    if (std::strcmp(mode, "r") == 0 || std::strcmp(mode, "rb") == 0) {
        writable = false;
        return true;
    }
    return false;
}

} // namespace

clFileMap::clFileMap()
    : bOpen(0), dwSize(0), pView(nullptr), file_(kTamselNoFile), mapping_(nullptr) {}

clFileMap::clFileMap(const char *path, const char *mode, uint32_t maxSize) : clFileMap() {
    Map(path, mode, 0, maxSize);
}

clFileMap::~clFileMap() {
    Close();
}

int clFileMap::Open(const char *path, const char *mode, uint32_t size) {
    return Map(path, mode, size, UINT32_MAX);
}

int clFileMap::Map(const char *path, const char *mode, uint32_t size, uint32_t maxSize) {
    Close();
    bool writable = false;
    if (!path || !*path || !ParseMapMode(mode, writable))
        return 0;
    if (size && !writable)
        return 0; // a read-only file cannot be given a new length
    plat::FileHandle file =
        plat::OpenFile(path, writable ? plat::FileMode::ReadWrite : plat::FileMode::Read);
    if (file == plat::kNoFile)
        return 0;

    uint64_t length;
    if (size) {
        if (!plat::SetFileSize(file, size)) {
            plat::CloseFile(file);
            return 0;
        }
        length = size;
    } else {
        int64_t found = plat::FileSize(file);
        if (found < 0 || uint64_t(found) > maxSize) {
            plat::CloseFile(file);
            return 0;
        }
        length = uint64_t(found);
    }

    plat::Mapping mapping;
    if (!plat::MapFile(file, length, writable, mapping)) {
        plat::CloseFile(file);
        return 0;
    }
    file_ = file;
    mapping_ = mapping.native;
    pView = static_cast<char *>(mapping.view);
    dwSize = uint32_t(length);
    bOpen = 1;
    return 1;
}

void clFileMap::Close() {
    if (bOpen) {
        plat::Mapping mapping;
        mapping.view = pView;
        mapping.size = dwSize;
        mapping.native = mapping_;
        plat::UnmapFile(mapping);
        plat::CloseFile(file_);
    }
    bOpen = 0;
    dwSize = 0;
    pView = nullptr;
    file_ = kTamselNoFile;
    mapping_ = nullptr;
}
