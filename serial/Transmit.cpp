// The transmit path: the send exports append to szOutQueue, and the transmit
// thread writes it to the port in chunks of at most 250 bytes.
#include <algorithm>
#include <cstring>

#include "Engine.h"
#include "Workers.h"

namespace {

constexpr uint32_t kChunk = 250;
constexpr int kWriteAttempts = 101;
constexpr uint32_t kStalledChunk = 15; // the chunk did not go out, the port reports nothing
constexpr uint32_t kStatusFlagsMask = 0x1F;
const char kDleEtx[2] = {char(FALCREST_DLE), char(FALCREST_ETX)};
// After a pass that failed without writing anything the thread waits before
// the next one, growing up to the limit while the failure lasts: a port whose
// far end has gone fails every write at once, and must not cost a core while
// the queue empties into it.
constexpr uint32_t kFirstBackoffMs = 20;
constexpr uint32_t kMaxBackoffMs = 1000;

// The chunk being written.
struct TransferRecord {
    char data[kChunk];
    uint32_t length = 0;
};
TransferRecord pRd;
std::atomic<int> bReentr{0};

// Woken by everything that may give the transmit thread work.
plat::Event gTxWake{false, false};

int AppendToOutQueue(const char *data, uint32_t length) {
    try {
        if (length && szOutQueue.Append(data, length) != length)
            return FALCREST_ERR_ARG;
    } catch (...) {
        return FALCREST_ERR_ARG;
    }
    WakeTransmitter();
    return 0;
}

uint32_t FlagsOf(const plat::ComStat &status) {
    return status.flags & kStatusFlagsMask;
}

// The error mask the port reports now, with the status at this moment.
uint32_t PortErrorMask(plat::ComStat *status) {
    COMException failure(idComDev);
    failure.GetCommStatus(status);
    return failure.dwLastError ? failure.dwLastError : failure.dwErrorMask;
}

void ReportTransmitFailure(uint32_t error, const plat::ComStat &status) {
    NotifyClient(FALCREST_NOTIFY_TXFAIL, FALCREST_NOTIFY_TXFAIL, error, FlagsOf(status));
}

} // namespace

void WakeTransmitter() {
    gTxWake.Set();
}

void WaitForTransmitWork(uint32_t ms) {
    if (bTransfer && szOutQueue.GetLength())
        return;
    plat::Event *events[1] = {&gTxWake};
    plat::WaitAny(events, 1, ms);
}

uint32_t WriteComm(uint32_t &written, plat::ComStat *status) {
    ReentryGuard guard(bReentr);
    if (!guard.Entered())
        return 0;
    written = 0;
    plat::PortHandle port = idComDev;
    if (port == plat::kInvalidPort)
        return 0;
    szOutQueue.Enter();
    pRd.length = szOutQueue.Paste(pRd.data, kChunk);
    szOutQueue.Leave();
    if (pRd.length == 0)
        return 0;

    uint32_t result = 0;
    for (int attempt = 1; attempt <= kWriteAttempts; ++attempt) {
        uint32_t done = 0;
        uint32_t error = plat::WritePort(port, pRd.data + written, pRd.length - written, &done);
        if (error == plat::kErrCompletionFailed) {
            uint32_t mask = PortErrorMask(status);
            result = result ? result : mask;
        } else if (error != 0) {
            result = result ? result : error;
            plat::ClearCommError(port, nullptr, status);
        }
        written += done;
        if (written >= pRd.length)
            break;
        if (attempt == kWriteAttempts) {
            uint32_t flags = 0;
            if (plat::ClearCommError(port, &flags, status))
                result = flags;
            if (result == 0)
                result = kStalledChunk;
        }
    }
    return result;
}

uint32_t ThreadWriteEntry(void *) {
    WorkerMark mark;
    uint32_t backoff = 0;
    while (bOperate && ClientPresent()) {
        plat::Worker::ParkPoint();
        uint32_t error = 0;
        uint32_t count = 0;
        plat::ComStat status;
        if (bTransfer) {
            error = WriteComm(count, &status);
            plat::ClearCommError(idComDev, nullptr, nullptr);
            if (error)
                ReportTransmitFailure(error, status);
        }
        dwGerrWrite = error;
        dwGWrote = count;
        if (!bOperate)
            break;
        plat::Event *written = hEvWrite;
        if ((error || count) && written) {
            written->Reset();
            written->Set();
        }
        // A pass that sent something is followed by the 1 ms pause; an idle
        // thread sleeps until a producer wakes it (every append to the
        // transmit queue does), a suspension or the release.
        if (count) {
            backoff = 0;
            plat::SleepMs(1);
        } else if (error) {
            backoff = backoff ? std::min(backoff * 2, kMaxBackoffMs) : kFirstBackoffMs;
            WaitForStop(backoff);
        } else {
            backoff = 0;
            WaitForTransmitWork(plat::kInfinite);
        }
    }
    dwThreadWriteID = 0;
    return 0;
}

extern "C" FALCREST_API int SendStringToModem(const char *s) {
    try {
        if (!PortIsOpen() || !s)
            return FALCREST_ERR_NOPORT;
        uint32_t length = Strlen(s);
        bTransfer = 1;
        plat::PortHandle port = idComDev;
        plat::FlushFileBuffers(port);
        uint32_t flags = 0;
        plat::ClearCommError(port, &flags, nullptr);
        plat::EscapeCommFunction(port, plat::kSetXon);
        flags = 0;
        plat::ClearCommError(port, &flags, nullptr);
        int result = int(flags);
        if (length && AppendToOutQueue(s, length) != 0)
            result = FALCREST_ERR_ARG;
        WakeTransmitter();
        return result;
    } catch (...) {
        return FALCREST_ERR_ARG;
    }
}

extern "C" FALCREST_API int SendDataToModem(const char *data, int length) {
    if (!PortIsOpen() || !data)
        return FALCREST_ERR_NOPORT;
    bTransfer = 1;
    if (length <= 0) {
        WakeTransmitter();
        return 0;
    }
    return AppendToOutQueue(data, uint32_t(length));
}

extern "C" FALCREST_API int SendByteToModem(int c) {
    if (!PortIsOpen())
        return FALCREST_ERR_NOPORT;
    if (!plat::TransmitCommChar(idComDev, char(c & 0xFF)))
        return int(plat::LastError());
    return 0;
}

extern "C" FALCREST_API int ShortBreak(int milliseconds) {
    if (!PortIsOpen())
        return 0;
    plat::PortHandle port = idComDev;
    plat::FlushFileBuffers(port);
    bool dtrDropped = plat::EscapeCommFunction(port, plat::kClrDtr);
    bool breaking = plat::SetCommBreak(port);
    // The signals are held for the time asked; a port that can raise
    // neither (a pseudo-terminal has no lines) has nothing to hold.
    if (dtrDropped || breaking)
        plat::SleepMs(milliseconds > 0 ? uint32_t(milliseconds) : 0);
    plat::ClearCommBreak(port);
    return plat::EscapeCommFunction(port, plat::kSetDtr) ? 1 : 0;
}

extern "C" FALCREST_API void ResetQueue(void) {
    szOutQueue.Reset();
    if (PortIsOpen())
        plat::FlushFileBuffers(idComDev);
}

extern "C" FALCREST_API void ResetQueueAndRTC(void) {
    szOutQueue.Reset();
    if (!PortIsOpen())
        return;
    plat::PortHandle port = idComDev;
    plat::FlushFileBuffers(port);
    plat::TransmitCommChar(port, kDleEtx[0]);
    plat::TransmitCommChar(port, kDleEtx[1]);
}

extern "C" FALCREST_API int PostETX(void) {
    uint32_t added = szOutQueue.Append(kDleEtx, 2);
    WakeTransmitter();
    return int(added);
}
