// Voice playback: a voice (or fax page) file's data, DLE-shielded for its
// format, queued for the transmit thread and followed by DLE ETX.
#include <climits>
#include <cstdint>

#include "Tamsel.h"
#include "falcrest/Falcrest.h"
#include "platform/Files.h"
#include "serial/Engine.h"
#include "voice/Shield.h"
#include "voice/VoiceFile.h"

namespace {

constexpr uint32_t kBufferSize = 2 * voice::kBlockSize + 24; // a doubled DLE for every byte fits
constexpr uint8_t kEndMarker[] = {FALCREST_DLE, FALCREST_ETX, FALCREST_DLE, FALCREST_ETX};
// A modem that takes nothing for this long has stopped taking data.
constexpr uint32_t kStallMs = 2000;
constexpr uint32_t kBlockPauseMs = 10;
// A fax page file keeps the offset of its coded data where the bitmap it was
// made from kept the pixel data's: 4 bytes, little-endian, at byte 10.
constexpr uint32_t kPageDataOffsetAt = 10;
constexpr uint32_t kPageHeaderMin = kPageDataOffsetAt + 4;

// A Realloc block released on every way out.
struct Block {
    uint8_t *p = static_cast<uint8_t *>(Realloc(nullptr, kBufferSize));
    ~Block() { Realloc(p, 0); }
};

// Reads until n bytes are in or the file ends; a read error counts as the end.
uint32_t ReadFull(plat::FileHandle file, uint8_t *buffer, uint32_t n) {
    uint32_t got = 0;
    while (got < n) {
        int64_t r = plat::ReadFile(file, buffer + got, n - got);
        if (r <= 0)
            break;
        got += uint32_t(r);
    }
    return got;
}

// Where the data starts: behind the header of the format, or for a fax page
// where the page says. -1 when a page's header cannot be read.
int64_t DataOffset(plat::FileHandle file, uint32_t format) {
    if (format != voice::kFormatFax)
        return voice::PlayHeaderSize(format);
    uint8_t head[kPageHeaderMin];
    if (plat::SeekFile(file, 0, 0) != 0 || ReadFull(file, head, sizeof head) != sizeof head)
        return -1;
    const uint8_t *at = head + kPageDataOffsetAt;
    uint32_t offset =
        uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
    return offset < kPageHeaderMin ? -1 : int64_t(offset);
}

int SendBlock(plat::FileHandle file, uint32_t type) {
    if (file == 0 || file == plat::kNoFile || !PortIsOpen())
        return 0;
    Block in, out;
    if (!in.p || !out.p)
        return 0;

    int64_t start = plat::SeekFile(file, 0, 1);
    uint32_t n = ReadFull(file, in.p, voice::kBlockSize);
    if (n == 0)
        return 0;
    // A full block ending in DLE: whether the file goes on decides whether
    // the DLE waits for its partner in the next block or leaves alone.
    uint32_t taken = n;
    bool moreFollows = false;
    if (n == voice::kBlockSize && in.p[n - 1] == FALCREST_DLE && start >= 0) {
        moreFollows = ReadFull(file, in.p + n, 1) == 1;
        taken += moreFollows ? 1 : 0;
    }
    voice::ShieldResult r = voice::ShieldVoiceBlock(in.p, n, type, moreFollows, out.p);
    if (r.consumed != taken && plat::SeekFile(file, start + r.consumed, 0) != start + r.consumed)
        return 0; // the file cannot be positioned: stop rather than skip a byte

    if (QueueForTransmit(out.p, r.written) != r.written)
        return 0; // no memory: end the playback instead of leaving a gap

    // Paces the blocks and lets the caller's messages (an abort) through.
    WaitMSG(kBlockPauseMs);
    return int(r.consumed);
}

struct OpenFileGuard {
    plat::FileHandle file = plat::kNoFile;
    void Close() {
        if (file != plat::kNoFile)
            plat::CloseFile(file);
        file = plat::kNoFile;
    }
    ~OpenFileGuard() { Close(); }
};

// Queues the file's data behind its header, and the end marker, with the
// receive and transmit threads paused; returns the file bytes consumed.
int64_t LoadFile(plat::FileHandle file, uint32_t type) {
    PausedWorkers paused;
    int64_t total = 0;
    // A file shorter than its header has no data: the first read gives 0.
    int64_t offset = DataOffset(file, type & voice::kPlayFormatMask);
    if (offset >= 0 && plat::SeekFile(file, offset, 0) >= 0) {
        while (TransmitGateOpen()) {
            int count = SendBlock(file, type);
            if (count <= 0)
                break;
            total += count;
        }
    }
    if (PortIsOpen()) // a release meanwhile emptied the queue for the next connection
        QueueForTransmit(kEndMarker, sizeof kEndMarker);
    return total;
}

int SendFile(const char *path, uint32_t type) {
    if (!PortIsOpen())
        return FALCREST_ERR_NOPORT;
    if (!path)
        return FALCREST_ERR_ARG;
    uint32_t length = Strlen(path);
    char *copy = static_cast<char *>(Realloc(nullptr, length + 1));
    if (!copy)
        return FALCREST_ERR_ARG;
    Strcpy(copy, path);

    uint32_t format = type & voice::kPlayFormatMask;
    if (format == voice::kFormatFax && PrepareFaxPage(copy) == 0) {
        Realloc(copy, 0);
        return 0;
    }
    OpenFileGuard guard;
    guard.file = plat::OpenFile(copy, plat::FileMode::Read);
    Realloc(copy, 0);
    if (guard.file == plat::kNoFile)
        return 0;

    OpenTransmitGate();
    DiscardReceivedBytes();
    DiscardTransmitQueue();
    FlushLine();
    int64_t total = LoadFile(guard.file, type);
    guard.Close();
    int result = total > INT_MAX ? INT_MAX : int(total);

    if (type & voice::kAsyncFlag) {
        PostETX();
        return result;
    }

    bool drained = WaitTransmitDrained(kStallMs);
    DiscardTransmitQueue();
    // A line that stopped taking data would only let the flush run into its
    // time limit; and an ETX is not sent without the DLE before it.
    if (drained)
        FlushLine();
    SendEndOfData();
    return drained ? result : FALCREST_ERR_STALL;
}

} // namespace

extern "C" FALCREST_API int SendVoiceBlockToModem(int file, uint32_t type, int * /*status*/) {
    try {
        return SendBlock(plat::FileHandle(file), type);
    } catch (...) {
        return 0;
    }
}

extern "C" FALCREST_API int SendVoiceFileToModem(const char *path, int type) {
    try {
        return SendFile(path, uint32_t(type));
    } catch (...) {
        return 0;
    }
}
