// Files and file mapping on POSIX: descriptors, ftruncate and mmap. Shared
// mappings carry writes through to the file, as a Win32 view of a file does.
#include "platform/Files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {

FileHandle OpenFile(const char *path, FileMode mode) {
    if (!path || !*path)
        return kNoFile;
    int flags = O_CLOEXEC;
    switch (mode) {
    case FileMode::Read:
        flags |= O_RDONLY;
        break;
    case FileMode::Write:
        flags |= O_WRONLY | O_CREAT | O_TRUNC;
        break;
    case FileMode::ReadAppend:
        flags |= O_RDWR | O_CREAT | O_APPEND;
        break;
    case FileMode::ReadWrite:
        flags |= O_RDWR;
        break;
    }
    int fd;
    do
        fd = ::open(path, flags, 0666);
    while (fd < 0 && errno == EINTR);
    return fd < 0 ? kNoFile : FileHandle(fd);
}

bool CloseFile(FileHandle file) {
    if (file < 0)
        return false;
    // No retry on EINTR: the descriptor is released either way on Linux.
    return ::close(int(file)) == 0;
}

int64_t ReadFile(FileHandle file, void *buffer, uint32_t n) {
    if (file < 0)
        return -1;
    ssize_t got;
    do
        got = ::read(int(file), buffer, n);
    while (got < 0 && errno == EINTR);
    return got;
}

int64_t WriteFile(FileHandle file, const void *data, uint32_t n) {
    if (file < 0)
        return -1;
    ssize_t put;
    do
        put = ::write(int(file), data, n);
    while (put < 0 && errno == EINTR);
    return put;
}

int64_t SeekFile(FileHandle file, int64_t offset, int whence) {
    if (file < 0 || whence < 0 || whence > 2)
        return -1;
    static const int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    off_t at = ::lseek(int(file), off_t(offset), kWhence[whence]);
    return at < 0 ? -1 : int64_t(at);
}

int64_t FileSize(FileHandle file) {
    struct stat st;
    if (file < 0 || ::fstat(int(file), &st) != 0)
        return -1;
    return int64_t(st.st_size);
}

bool IsSameFile(FileHandle file, const char *path) {
    struct stat opened, named;
    return file >= 0 && path && ::fstat(int(file), &opened) == 0 && ::stat(path, &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

bool SetFileSize(FileHandle file, uint64_t size) {
    if (file < 0 || size > uint64_t(INT64_MAX))
        return false;
    int rc;
    do
        rc = ::ftruncate(int(file), off_t(size));
    while (rc != 0 && errno == EINTR);
    return rc == 0;
}

bool MapFile(FileHandle file, uint64_t size, bool writable, Mapping &mapping) {
    mapping = Mapping{};
    if (file < 0)
        return false;
    if (size == 0)
        return true;
    if (size > uint64_t(SIZE_MAX))
        return false;
    int prot = PROT_READ | (writable ? PROT_WRITE : 0);
    void *view = ::mmap(nullptr, size_t(size), prot, MAP_SHARED, int(file), 0);
    if (view == MAP_FAILED)
        return false;
    mapping.view = view;
    mapping.size = size;
    return true;
}

void UnmapFile(Mapping &mapping) {
    if (mapping.view)
        ::munmap(mapping.view, size_t(mapping.size));
    mapping = Mapping{};
}

} // namespace plat
