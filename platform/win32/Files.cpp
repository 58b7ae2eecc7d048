// Files and file mapping on Win32. Mappings are created without a name, so
// no other process can open them.
#include "platform/Files.h"

#include <windows.h>

namespace plat {

namespace {

HANDLE Native(FileHandle file) {
    return reinterpret_cast<HANDLE>(file);
}

bool Valid(FileHandle file) {
    return Native(file) != INVALID_HANDLE_VALUE && file != 0;
}

} // namespace

FileHandle OpenFile(const char *path, FileMode mode) {
    if (!path || !*path)
        return kNoFile;
    DWORD access = 0, disposition = 0;
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    switch (mode) {
    case FileMode::Read:
        access = GENERIC_READ;
        disposition = OPEN_EXISTING;
        break;
    case FileMode::Write:
        access = GENERIC_WRITE;
        disposition = CREATE_ALWAYS;
        break;
    case FileMode::ReadAppend:
        // Append rights without write rights: every write lands at the end.
        access = GENERIC_READ | FILE_APPEND_DATA;
        disposition = OPEN_ALWAYS;
        break;
    case FileMode::ReadWrite:
        access = GENERIC_READ | GENERIC_WRITE;
        disposition = OPEN_EXISTING;
        break;
    }
    HANDLE h =
        ::CreateFileA(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(h);
}

bool CloseFile(FileHandle file) {
    return Valid(file) && ::CloseHandle(Native(file)) != 0;
}

int64_t ReadFile(FileHandle file, void *buffer, uint32_t n) {
    DWORD got = 0;
    if (!Valid(file) || !::ReadFile(Native(file), buffer, n, &got, nullptr))
        return -1;
    return got;
}

int64_t WriteFile(FileHandle file, const void *data, uint32_t n) {
    DWORD put = 0;
    if (!Valid(file) || !::WriteFile(Native(file), data, n, &put, nullptr))
        return -1;
    return put;
}

int64_t SeekFile(FileHandle file, int64_t offset, int whence) {
    static const DWORD kMethod[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
    if (!Valid(file) || whence < 0 || whence > 2)
        return -1;
    LARGE_INTEGER distance, at;
    distance.QuadPart = offset;
    if (!::SetFilePointerEx(Native(file), distance, &at, kMethod[whence]))
        return -1;
    return at.QuadPart;
}

int64_t FileSize(FileHandle file) {
    LARGE_INTEGER size;
    if (!Valid(file) || !::GetFileSizeEx(Native(file), &size))
        return -1;
    return size.QuadPart;
}

bool IsSameFile(FileHandle file, const char *path) {
    if (!Valid(file) || !path)
        return false;
    // No access asked: the other handle only reads the file's identity.
    HANDLE named = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (named == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION a{}, b{};
    bool same = GetFileInformationByHandle(Native(file), &a) &&
                GetFileInformationByHandle(named, &b) &&
                a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
                a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
    CloseHandle(named);
    return same;
}

bool SetFileSize(FileHandle file, uint64_t size) {
    if (!Valid(file) || size > uint64_t(INT64_MAX))
        return false;
    // SetEndOfFile cuts or extends at the file pointer; put it back after.
    LARGE_INTEGER zero, was, to;
    zero.QuadPart = 0;
    if (!::SetFilePointerEx(Native(file), zero, &was, FILE_CURRENT))
        return false;
    to.QuadPart = int64_t(size);
    bool ok =
        ::SetFilePointerEx(Native(file), to, nullptr, FILE_BEGIN) && ::SetEndOfFile(Native(file));
    if (was.QuadPart > to.QuadPart)
        was = to;
    ::SetFilePointerEx(Native(file), was, nullptr, FILE_BEGIN);
    return ok;
}

bool MapFile(FileHandle file, uint64_t size, bool writable, Mapping &mapping) {
    mapping = Mapping{};
    if (!Valid(file))
        return false;
    if (size == 0)
        return true; // Win32 cannot map an empty file; there is nothing to view
    if (size > uint64_t(SIZE_MAX))
        return false;
    HANDLE section =
        ::CreateFileMappingA(Native(file), nullptr, writable ? PAGE_READWRITE : PAGE_READONLY,
                             DWORD(size >> 32), DWORD(size), nullptr);
    if (!section)
        return false;
    void *view =
        ::MapViewOfFile(section, writable ? FILE_MAP_WRITE : FILE_MAP_READ, 0, 0, SIZE_T(size));
    if (!view) {
        ::CloseHandle(section);
        return false;
    }
    mapping.view = view;
    mapping.size = size;
    mapping.native = section;
    return true;
}

void UnmapFile(Mapping &mapping) {
    if (mapping.view)
        ::UnmapViewOfFile(mapping.view);
    if (mapping.native)
        ::CloseHandle(static_cast<HANDLE>(mapping.native));
    mapping = Mapping{};
}

} // namespace plat
