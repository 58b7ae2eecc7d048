// CFiFo: the observer's bounded windows onto recent text and codes.
#include "OrvoFiFo.h"

#include <cstring>

void CFiFo::Pull(const char *data, uint32_t length) {
    uint32_t before = GetLength();
    if (data && length)
        Append(data, length);
    if (before > bound) {
        Enter();
        Shrink(before - bound);
        Leave();
    }
}

uint32_t CFiFo::GetBuffDirect(char **out) {
    if (!out)
        return 0;
    *out = dwCount ? pData + dwOffset : nullptr;
    return dwCount;
}

uint32_t CFiFo::GetSnapshotAsString(char **out) {
    if (!out)
        return 0;
    Enter();
    uint32_t count = dwCount;
    if (count == 0) {
        Leave();
        *out = static_cast<char *>(Realloc(*out, 0));
        return 0;
    }
    char *block = static_cast<char *>(Realloc(*out, size_t(count) + 1));
    if (!block) {
        Leave();
        return 0;
    }
    std::memcpy(block, pData + dwOffset, count);
    block[count] = 0;
    Leave();
    *out = block;
    return count;
}
