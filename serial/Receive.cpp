// The receive path: the receive thread moves every byte that arrives into
// szInQueue and reports line and read errors to the client at once.
#include "EngineState.h"
#include "Workers.h"

namespace {

constexpr uint32_t kReadBlock = 100;
// After a failed pass the thread waits before the next one, growing up to the
// limit while the failure lasts: a port whose far end has gone fails every
// read at once, and must not cost a core.
constexpr uint32_t kFirstBackoffMs = 20;
constexpr uint32_t kMaxBackoffMs = 1000;
// Without a port there is nothing to wait on; passes are spaced by this.
constexpr uint32_t kNoPortPauseMs = 10;

std::atomic<int> bReentr{0};

// One read into the receive queue. Room for a whole block is reserved in the
// queue before the port is read: without memory for it nothing is read, the
// bytes wait in the driver and the pass reports kErrNotEnoughMemory.
uint32_t ReadComm(uint32_t &count) {
    ReentryGuard guard(bReentr);
    if (!guard.Entered())
        return 0;
    count = 0;
    plat::PortHandle port = idComDev;
    if (port == plat::kInvalidPort)
        return 0;

    if (!szInQueue.Reserve(kReadBlock))
        return plat::kErrNotEnoughMemory;
    uint32_t error = 0;
    plat::ClearCommError(port, &error, nullptr);
    char buffer[kReadBlock];
    uint32_t got = 0;
    uint32_t failure =
        plat::ReadPort(port, buffer, std::min(dwReadBlockSize.load(), kReadBlock), &got);
    if (failure == plat::kErrCompletionFailed) {
        COMException e(port);
        error = e.dwErrorMask;
        if (e.dwLastError == plat::kErrHandleEof)
            error = 0;
    } else if (failure != 0) {
        error = failure;
    }
    if (got) {
        count = got;
        szInQueue.Append(buffer, got);
    }
    return error;
}

} // namespace

void DiscardReceivedBytes() {
    szInQueue.Reset();
}

void WakeReader() {
    plat::PortHandle port = idComDev;
    if (port != plat::kInvalidPort)
        plat::CancelInputWait(port);
}

uint32_t ThreadReadEntry(void *) {
    WorkerMark mark;
    uint32_t backoff = 0;
    while (bOperate && ClientPresent()) {
        plat::Worker::ParkPoint();
        uint32_t reads = 0;
        uint32_t error = 0;
        uint32_t received = 0;
        for (;;) {
            uint32_t count = 0;
            error = ReadComm(count);
            dwGerr = error;
            received += count;
            if (error != 0 || count != kReadBlock || ++reads >= dwMaxContinuesRead)
                break;
        }
        if (!bOperate)
            break;
        dwGRead = szInQueue.GetLength();
        if (dwGRead || dwGerr) {
            plat::Event *ready = hEvRead;
            if (ready)
                ready->Reset();
            if (dwGerr) {
                NotifyClient(FALCREST_NOTIFY_READ, dwGRead, FALCREST_NOTIFY_READ, dwGRead, dwGerr);
                dwGRead = 0;
                dwGerr = 0;
            }
            if (ready)
                ready->Set();
        }
        if (!bOperate)
            break;
        if (error) {
            backoff = backoff ? std::min(backoff * 2, kMaxBackoffMs) : kFirstBackoffMs;
            WaitForStop(backoff);
        } else {
            backoff = 0;
            if (!PortIsOpen())
                WaitForStop(kNoPortPauseMs);
            else if (received == 0 && dwGRead == 0 && bOperate) {
                // A suspension asked for while the read ran ended that read
                // early; park now rather than sleep through it.
                plat::Worker::ParkPoint();
                // An idle reader waits for input without a bound: arriving
                // bytes, a hang-up, a suspension and the release end the wait.
                plat::WaitForInput(idComDev, plat::kInfinite);
            }
        }
    }
    dwThreadReadID = 0;
    return 0;
}
