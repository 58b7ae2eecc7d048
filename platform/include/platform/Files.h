// Files and file mapping.
#pragma once

#include <cstdint>

namespace plat {

using FileHandle = intptr_t;
constexpr FileHandle kNoFile = -1;

enum class FileMode { Read, Write /* create or truncate */, ReadAppend /* "a+" */,
                      ReadWrite /* existing file */ };

FileHandle OpenFile(const char *path, FileMode mode);
bool CloseFile(FileHandle file);
// Count read or written; -1 on failure.
int64_t ReadFile(FileHandle file, void *buffer, uint32_t n);
int64_t WriteFile(FileHandle file, const void *data, uint32_t n);
// Moves to offset from the start (whence 0), the current position (1) or the
// end (2); returns the new position or -1.
int64_t SeekFile(FileHandle file, int64_t offset, int whence);
// The file's length, -1 on failure.
int64_t FileSize(FileHandle file);
bool SetFileSize(FileHandle file, uint64_t size);
// Whether path names the open file (links and other spellings included);
// false when path names nothing.
bool IsSameFile(FileHandle file, const char *path);

// A view of a whole file.
struct Mapping {
    void *view = nullptr;
    uint64_t size = 0;
    void *native = nullptr; // the mapping object on Windows
};
// Maps size bytes of the file, writable or read-only; unnamed and private to
// the process. False on failure (a size of 0 maps nothing and succeeds).
bool MapFile(FileHandle file, uint64_t size, bool writable, Mapping &mapping);
void UnmapFile(Mapping &mapping);

} // namespace plat
