// Tamsel's plain file calls: open by a C-style mode string, write, close,
// over the platform's file handles.
#include "Tamsel.h"

#include "platform/Files.h"

#include <cstring>

static_assert(sizeof(TamselFile) == sizeof(plat::FileHandle) && kTamselNoFile == plat::kNoFile,
              "Tamsel hands out platform file handles unchanged");

namespace {

// "r", "w", "a+" (and "r+" for an existing file); a 'b' or 't' anywhere is
// accepted and ignored, as the C library does.
bool ParseMode(const char *mode, plat::FileMode &out) {
    if (!mode)
        return false;
    char plain[4];
    size_t n = 0;
    for (const char *p = mode; *p; ++p) {
        if (*p == 'b' || *p == 't')
            continue;
        if (n == sizeof plain - 1)
            return false;
        plain[n++] = *p;
    }
    plain[n] = '\0';
    if (std::strcmp(plain, "r") == 0)
        out = plat::FileMode::Read;
    else if (std::strcmp(plain, "w") == 0)
        out = plat::FileMode::Write;
    else if (std::strcmp(plain, "a+") == 0)
        out = plat::FileMode::ReadAppend;
    else if (std::strcmp(plain, "r+") == 0)
        out = plat::FileMode::ReadWrite;
    else
        return false;
    return true;
}

} // namespace

int OpenFileW(const char *path, TamselFile *handle, const char *mode) {
    if (!handle)
        return 0;
    *handle = kTamselNoFile;
    plat::FileMode m;
    if (!path || !ParseMode(mode, m))
        return 0;
    plat::FileHandle file = plat::OpenFile(path, m);
    if (file == plat::kNoFile)
        return 0;
    *handle = file;
    return 1;
}

uint32_t Fwrite(const void *data, uint32_t n, TamselFile handle) {
    if (!data || handle == kTamselNoFile)
        return 0;
    // A write may take less than asked (a signal, a pipe); keep going.
    const char *p = static_cast<const char *>(data);
    uint32_t done = 0;
    while (done < n) {
        int64_t put = plat::WriteFile(handle, p + done, n - done);
        if (put <= 0)
            break;
        done += uint32_t(put);
    }
    return done;
}

void CloseFileW(TamselFile *handle) {
    if (!handle)
        return;
    if (*handle != kTamselNoFile)
        plat::CloseFile(*handle);
    *handle = kTamselNoFile;
}
