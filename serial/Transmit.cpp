// The transmit path: the send exports append to szOutQueue, and the transmit
// thread writes it to the port in chunks of at most 250 bytes.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

#include "EngineState.h"
#include "Workers.h"

namespace {

constexpr uint32_t kChunk = 250;
constexpr int kWriteAttempts = 101;
constexpr uint32_t kStalledChunk = 15; // the chunk did not go out, the port reports nothing
constexpr uint32_t kStatusFlagsMask = 0x1F;
// After a pass that failed without writing anything the thread waits before
// the next one, growing up to the limit while the failure lasts: a port whose
// far end has gone fails every write at once, and must not cost a core while
// the queue empties into it.
constexpr uint32_t kFirstBackoffMs = 20;
constexpr uint32_t kMaxBackoffMs = 1000;
// How often a drain wait looks at the backlog (and pumps the caller's
// messages).
constexpr uint32_t kDrainCheckMs = 10;
// COMSTAT's TXIM: an immediate character is still waiting to be sent.
constexpr uint32_t kTxImmediate = 0x40;
// The longest we wait for it: a character at 300 baud takes 33 ms; a line
// held by flow control may keep it longer, and then the port says so.
constexpr uint64_t kImmediateBoundMs = 500;
// Within this (a character's time down to 300 baud) a waiting character is
// looked for again at once: a sleep lasts a timer tick on Windows, longer than
// a character takes at most rates. Later a millisecond apart.
constexpr uint64_t kImmediateSpinMs = 40;

// The chunk being written: a copy of the head of the queue, which keeps the
// bytes until the port has taken them, so that nothing is lost on a line
// that takes nothing for a while.
struct TransferRecord {
    char data[kChunk];
    uint32_t length = 0;
};
TransferRecord pRd;
std::atomic<int> bReentr{0};
// Counts the times the queue was emptied by a reset, changed under the
// queue's lock: the bytes of a chunk copied before a reset are no longer in
// the queue, and neither dropped from it nor written on.
std::atomic<uint64_t> gDiscards{0};

// Woken by everything that may give the transmit thread work.
plat::Event gTxWake{false, false};

// What one call of WriteComm did.
struct ChunkResult {
    uint32_t error = 0;   // 0, or the code to report
    uint32_t length = 0;  // bytes in the chunk
    uint32_t written = 0; // bytes the port took
    bool held = false;    // the line took nothing more in all the attempts
    bool more = false;    // bytes wait behind what was written
};

uint32_t CopyChunk(uint64_t &discards) {
    szOutQueue.Enter();
    uint32_t n = std::min(szOutQueue.dwCount, kChunk);
    if (n)
        std::memcpy(pRd.data, szOutQueue.pData + szOutQueue.dwOffset, n);
    discards = gDiscards;
    szOutQueue.Leave();
    return n;
}

// Drops the bytes that went out from the head of the queue, unless a reset
// took them already; returns whether more bytes wait.
bool DropSent(uint32_t n, uint64_t discards) {
    szOutQueue.Enter();
    if (discards == gDiscards)
        szOutQueue.Shrink(n);
    bool more = szOutQueue.dwCount > 0;
    szOutQueue.Leave();
    return more;
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

// Writes the chunk at the head of the queue, in up to 101 attempts. A chunk
// the port failed on is dropped; on a line that merely takes nothing (flow
// control, a far end that does not read) the unwritten rest stays at the head
// for the next pass. Between attempts the thread parks when asked and gives
// up on a release or a reset.
ChunkResult WriteComm(plat::ComStat *status) {
    ChunkResult r;
    ReentryGuard guard(bReentr);
    if (!guard.Entered())
        return r;
    plat::PortHandle port = idComDev;
    if (port == plat::kInvalidPort)
        return r;
    uint64_t discards = 0;
    r.length = pRd.length = CopyChunk(discards);
    if (r.length == 0)
        return r;

    bool failed = false;
    for (int attempt = 1; attempt <= kWriteAttempts; ++attempt) {
        uint32_t done = 0;
        uint32_t error = plat::WritePort(port, pRd.data + r.written, r.length - r.written, &done);
        if (error == plat::kErrCompletionFailed) {
            uint32_t mask = PortErrorMask(status);
            r.error = r.error ? r.error : mask;
            failed = true;
        } else if (error != 0) {
            r.error = r.error ? r.error : error;
            plat::ClearCommError(port, nullptr, status);
            failed = true;
        }
        r.written += done;
        if (r.written >= r.length)
            break;
        if (attempt == kWriteAttempts) {
            uint32_t flags = 0;
            if (plat::ClearCommError(port, &flags, status))
                r.error = flags;
            if (r.error == 0)
                r.error = kStalledChunk;
            r.held = !failed;
            break;
        }
        if (!bOperate)
            break;
        plat::Worker::ParkPoint();
        if (discards != gDiscards)
            break;
    }
    const bool dropRest = failed && r.written < r.length;
    r.more = DropSent(dropRest ? r.length : r.written, discards);
    return r;
}

void ReportTransmitFailure(uint32_t error, const plat::ComStat &status) {
    uint32_t flags = FlagsOf(status);
    NotifyClient(FALCREST_NOTIFY_TXFAIL, flags, FALCREST_NOTIFY_TXFAIL, flags, error);
}

int AppendToOutQueue(const char *data, uint32_t length) {
    try {
        if (length && QueueForTransmit(data, length) != length)
            return FALCREST_ERR_ARG;
    } catch (...) {
        return FALCREST_ERR_ARG;
    }
    return 0;
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

uint32_t QueueForTransmit(const void *data, uint32_t n) {
    uint32_t added = n ? szOutQueue.Append(data, n) : 0;
    if (added)
        WakeTransmitter();
    return added;
}

uint32_t TransmitBacklog() {
    return szOutQueue.GetLength();
}

void DiscardTransmitQueue() {
    szOutQueue.Enter();
    szOutQueue.Reset();
    ++gDiscards;
    szOutQueue.Leave();
}

void OpenTransmitGate() {
    bTransfer = 1;
    WakeTransmitter();
}

bool TransmitGateOpen() {
    return bTransfer != 0;
}

bool WaitTransmitDrained(uint32_t stallMs) {
    uint32_t noted = TransmitBacklog();
    uint32_t still = 0; // milliseconds without progress
    while (TransmitGateOpen()) {
        WaitMSG(kDrainCheckMs);
        uint32_t backlog = TransmitBacklog();
        if (backlog == 0)
            break;
        if (backlog < noted)
            still = 0;
        else if ((still += kDrainCheckMs) > stallMs)
            return false;
        noted = backlog;
    }
    return true;
}

bool FlushLine() {
    plat::PortHandle port = idComDev;
    if (port == plat::kInvalidPort)
        return false;
    bool flushed = plat::FlushFileBuffers(port);
    plat::ClearCommError(port, nullptr, nullptr);
    return flushed;
}

namespace {

// Immediate characters from several threads (an abort, the end of a
// playback, a key) go out one sender at a time, so that a DLE ETX pair is
// never split by another: DLE DLE ETX ETX is a data DLE to the modem, not
// the end of the data.
std::mutex &ImmediateLock() {
    static auto *lock = new std::mutex;
    return *lock;
}

// The port takes one immediate character at a time: a second one fails
// while the first has not been sent
// (https://learn.microsoft.com/en-us/windows/win32/api/winbase/nf-winbase-transmitcommchar).
// The port reports the one still waiting in its status (TXIM); we wait for
// it to leave, with a bound, and let the port answer if it never does.
bool SendImmediateLocked(char c) {
    plat::PortHandle port = idComDev;
    if (port == plat::kInvalidPort)
        return false;
    const uint64_t start = plat::NowMs();
    plat::ComStat status;
    while (plat::ClearCommError(port, nullptr, &status) && (status.flags & kTxImmediate)) {
        const uint64_t waited = plat::NowMs() - start;
        if (waited >= kImmediateBoundMs)
            break;
        if (waited < kImmediateSpinMs)
            std::this_thread::yield();
        else
            plat::SleepMs(1);
    }
    return plat::TransmitCommChar(port, c);
}

} // namespace

bool SendImmediate(char c) {
    std::lock_guard<std::mutex> lock(ImmediateLock());
    return SendImmediateLocked(c);
}

bool SendEndOfData() {
    std::lock_guard<std::mutex> lock(ImmediateLock());
    return SendImmediateLocked(char(FALCREST_DLE)) && SendImmediateLocked(char(FALCREST_ETX));
}

uint32_t ThreadWriteEntry(void *) {
    WorkerMark mark;
    uint32_t backoff = 0;
    bool holdReported = false; // a held line is reported once, not every pass
    while (bOperate && ClientPresent()) {
        plat::Worker::ParkPoint();
        ChunkResult pass;
        plat::ComStat status;
        if (bTransfer) {
            pass = WriteComm(&status);
            plat::ClearCommError(idComDev, nullptr, nullptr);
            if (pass.written)
                holdReported = false;
            if (pass.error && !(pass.held && holdReported))
                ReportTransmitFailure(pass.error, status);
            holdReported = holdReported || pass.held;
        }
        // An idle pass leaves the last pass's figures for the flow thread's
        // notice of it: the next pass follows at once and finds nothing.
        if (pass.written || pass.error) {
            dwGerrWrite = pass.error;
            dwGWrote = pass.written;
        }
        if (!bOperate)
            break;
        plat::Event *written = hEvWrite;
        if ((pass.error || pass.written) && written) {
            written->Reset();
            written->Set();
        }
        // A pass that sent something goes straight on to the next: a pause
        // of a millisecond lasts a whole timer tick on Windows (15.6 ms by
        // default) and would pace the data. A failed pass is followed by a
        // growing pause; an idle thread sleeps until a producer wakes it
        // (every append to the transmit queue does), a suspension or the
        // release. A held line needs no pause: its attempts wait on it.
        if (pass.written) {
            backoff = 0;
        } else if (pass.error && !pass.held) {
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
    OpenTransmitGate();
    return length > 0 ? AppendToOutQueue(data, uint32_t(length)) : 0;
}

extern "C" FALCREST_API int SendByteToModem(int c) {
    if (!PortIsOpen())
        return FALCREST_ERR_NOPORT;
    if (!SendImmediate(char(c & 0xFF)))
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
    DiscardTransmitQueue();
    if (PortIsOpen())
        plat::FlushFileBuffers(idComDev);
}

extern "C" FALCREST_API void ResetQueueAndRTC(void) {
    DiscardTransmitQueue();
    if (!PortIsOpen())
        return;
    plat::FlushFileBuffers(idComDev);
    SendEndOfData();
}

extern "C" FALCREST_API int PostETX(void) {
    const char end[2] = {char(FALCREST_DLE), char(FALCREST_ETX)};
    return int(QueueForTransmit(end, sizeof end));
}
