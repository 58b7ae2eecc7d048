// QueueBuff: a growable byte queue with its own re-entrant lock.
//
// The held bytes always lie contiguous at pData + dwOffset, because callers
// read them in place. Taking bytes from the head only advances dwOffset; the
// storage is compacted lazily, when the tail runs out of room and at least as
// many bytes were consumed as are still held, so every byte is moved O(1)
// times on average however large the queue grows.
#include "Tamsel.h"

#include <cstring>

namespace {

constexpr uint32_t kMinCapacity = 64;
// Room left in front of the data when a byte must go back into a queue whose
// head sits at offset 0, so that a run of Ungetch calls stays cheap.
constexpr uint32_t kFrontGap = 64;
// An emptied queue keeps storage up to this size for the next bytes; larger
// storage (a whole voice file, say) is given back down to it. Never below:
// room reserved before emptying, or wanted for a byte put back afterwards,
// must not depend on a new allocation.
constexpr uint32_t kKeepCapacity = 256 * 1024;

} // namespace

QueueBuff::QueueBuff() : dwCount(0), dwReserved(0), dwOffset(0), pData(nullptr) {}

QueueBuff::~QueueBuff() {
    Free(pData);
    pData = nullptr;
}

void QueueBuff::Enter() {
    lock_.lock();
}
void QueueBuff::Leave() {
    lock_.unlock();
}

// Drops everything; called with the lock held.
void QueueBuff::Clear() {
    dwCount = 0;
    dwOffset = 0;
    if (dwReserved > kKeepCapacity) {
        // A shrink that fails keeps the larger storage, which is no loss.
        if (char *kept = static_cast<char *>(Realloc(pData, kKeepCapacity))) {
            pData = kept;
            dwReserved = kKeepCapacity;
        }
    }
}

bool QueueBuff::Reserve(uint32_t needed) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    uint64_t tail = uint64_t(dwOffset) + dwCount + needed;
    if (tail <= dwReserved)
        return true;
    uint64_t total = uint64_t(dwCount) + needed;
    if (total > UINT32_MAX)
        return false;
    if (total <= dwReserved && dwOffset >= dwCount) {
        std::memmove(pData, pData + dwOffset, dwCount);
        dwOffset = 0;
        return true;
    }
    uint64_t capacity = dwReserved ? uint64_t(dwReserved) * 2 : kMinCapacity;
    if (capacity < total)
        capacity = total;
    if (capacity > UINT32_MAX)
        capacity = UINT32_MAX;
    if (dwOffset) {
        // Compact before growing so the copy inside Realloc (if any) carries
        // only held bytes to the front.
        std::memmove(pData, pData + dwOffset, dwCount);
        dwOffset = 0;
    }
    char *grown = static_cast<char *>(Realloc(pData, size_t(capacity)));
    if (!grown && capacity > total) {
        capacity = total;
        grown = static_cast<char *>(Realloc(pData, size_t(capacity)));
    }
    if (!grown)
        return total <= dwReserved; // compacted above: the room there is will do
    pData = grown;
    dwReserved = uint32_t(capacity);
    return true;
}

uint32_t QueueBuff::Append(const void *data, uint32_t n) {
    if (!data || n == 0)
        return 0;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (!Reserve(n))
        return 0;
    std::memcpy(pData + dwOffset + dwCount, data, n);
    dwCount += n;
    return n;
}

uint32_t QueueBuff::Paste(void *dst, uint32_t max) {
    if (!dst || max == 0)
        return 0;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    uint32_t n = dwCount < max ? dwCount : max;
    if (n == 0)
        return 0;
    std::memcpy(dst, pData + dwOffset, n);
    Shrink(n);
    return n;
}

uint32_t QueueBuff::Paste(char *&p) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (dwCount == 0) {
        // Nothing to hand out: a null p stays null, a block becomes "".
        if (p)
            p[0] = '\0';
        return 0;
    }
    char *block = static_cast<char *>(Realloc(p, size_t(dwCount) + 1));
    if (!block)
        return 0; // p and the queue are left as they were
    std::memcpy(block, pData + dwOffset, dwCount);
    block[dwCount] = '\0';
    p = block;
    uint32_t n = dwCount;
    Clear();
    return n;
}

bool QueueBuff::Ungetch(int c) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (dwOffset == 0) {
        // Room in front of the head: a gap of kFrontGap where the storage has
        // it, else whatever free room there is, and only then more storage.
        uint32_t gap = kFrontGap;
        if (uint64_t(dwCount) + gap > dwReserved) {
            if (dwReserved > dwCount)
                gap = dwReserved - dwCount;
            else if (!Reserve(kFrontGap))
                return false;
        }
        std::memmove(pData + gap, pData, dwCount);
        dwOffset = gap;
    }
    --dwOffset;
    pData[dwOffset] = static_cast<char>(c);
    ++dwCount;
    return true;
}

void QueueBuff::Shrink(uint32_t n) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (n >= dwCount) {
        Clear();
        return;
    }
    dwOffset += n;
    dwCount -= n;
}

void QueueBuff::Reset() {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    Clear();
}

uint32_t QueueBuff::GetLength() {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    return dwCount;
}

uint32_t QBuff_GetLength(QueueBuff *queue) {
    return queue ? queue->GetLength() : 0;
}
