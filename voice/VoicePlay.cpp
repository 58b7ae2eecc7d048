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
constexpr uint8_t kEndMarker[] = {voice::kDLE, voice::kETX, voice::kDLE, voice::kETX};
// Checks of the queue's length without progress before the modem counts as
// stalled: with the 10 ms pause each, about two seconds.
constexpr int kStallChecks = 200;
constexpr uint32_t kDrainPauseMs = 10;
constexpr uint32_t kBlockPauseMs = 10;

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
    if (n == voice::kBlockSize && in.p[n - 1] == voice::kDLE && start >= 0) {
        moreFollows = ReadFull(file, in.p + n, 1) == 1;
        taken += moreFollows ? 1 : 0;
    }
    voice::ShieldResult r = voice::ShieldVoiceBlock(in.p, n, type, moreFollows, out.p);
    if (r.consumed != taken && plat::SeekFile(file, start + r.consumed, 0) != start + r.consumed)
        return 0; // the file cannot be positioned: stop rather than skip a byte

    szOutQueue.Enter();
    uint32_t queued = szOutQueue.Append(out.p, r.written);
    szOutQueue.Leave();
    WakeTransmitter();
    if (queued != r.written)
        return 0; // no memory: end the playback instead of leaving a gap

    // Paces the blocks and lets the caller's messages (an abort) through.
    WaitMSG(kBlockPauseMs);
    return int(r.consumed);
}

// Keeps the reader and the writer parked while the file is loaded; resumes
// them reader first, as they were started.
struct WorkersParked {
    plat::Worker *reader = hThreadRead;
    plat::Worker *writer = hThreadWrite;
    bool parked = false;
    void Park() {
        if (reader)
            reader->Suspend();
        if (writer)
            writer->Suspend();
        parked = true;
    }
    void Release() {
        if (!parked)
            return;
        parked = false;
        if (reader)
            reader->Resume();
        if (writer)
            writer->Resume();
    }
    ~WorkersParked() { Release(); }
};

struct OpenFileGuard {
    plat::FileHandle file = plat::kNoFile;
    void Close() {
        if (file != plat::kNoFile)
            plat::CloseFile(file);
        file = plat::kNoFile;
    }
    ~OpenFileGuard() { Close(); }
};

// Waits while the transmit thread empties the queue. False when the queue
// stopped shrinking for about two seconds.
bool Drain() {
    uint32_t noted = szOutQueue.GetLength();
    int stalls = 0;
    while (bTransfer.load()) {
        WaitMSG(kDrainPauseMs);
        uint32_t length = szOutQueue.GetLength();
        if (length == 0)
            break;
        if (length < noted) {
            stalls = 0;
        } else if (stalls > kStallChecks) {
            return false;
        } else {
            ++stalls;
        }
        noted = length;
    }
    return true;
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

    plat::PortHandle port = idComDev.load();
    bTransfer = 1;
    szInQueue.Reset();
    szOutQueue.Reset();
    plat::ClearCommError(port, nullptr, nullptr);
    plat::FlushFileBuffers(port);

    WorkersParked workers;
    workers.Park();
    int64_t total = 0;
    // A file shorter than its header has no data: the first read gives 0.
    if (plat::SeekFile(guard.file, voice::PlayHeaderSize(format), 0) >= 0) {
        while (bTransfer.load()) {
            int count = SendBlock(guard.file, type);
            if (count <= 0)
                break;
            total += count;
        }
    }
    szOutQueue.Append(kEndMarker, sizeof kEndMarker);
    WakeTransmitter();
    guard.Close();
    workers.Release();
    int result = total > INT_MAX ? INT_MAX : int(total);

    if (type & voice::kAsyncFlag) {
        PostETX();
        return result;
    }

    bool drained = Drain();
    if (drained && hThreadWrite) {
        // The queue is empty once the writer has taken the last chunk, not
        // once it has written it: let its pass finish before the direct
        // DLE ETX goes out, so that it cannot land inside that chunk.
        hThreadWrite->Suspend();
        hThreadWrite->Resume();
    }
    szOutQueue.Reset();
    port = idComDev.load();
    // A line that stopped taking data would only let the flush run into its
    // time limit; and an ETX is not sent without the DLE before it.
    if (drained)
        plat::FlushFileBuffers(port);
    if (plat::TransmitCommChar(port, char(voice::kDLE)))
        plat::TransmitCommChar(port, char(voice::kETX));
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
