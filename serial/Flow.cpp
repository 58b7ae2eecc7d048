// The flow thread and the wait helpers: the receive and transmit events become
// notifications to the client's window or callback.
#include "EngineState.h"
#include "Workers.h"
#include "platform/Window.h"

namespace {

constexpr uint32_t kDefaultWaitMs = 100;
constexpr uint32_t kDefaultPumpSleepMs = 50;
// The flow thread wakes for the events, the stop signal and a request to
// park; an idle terminal costs no wake-ups at all.
plat::Event gStop{true, false};
plat::Event gFlowWake{false, false};

enum WaitResult { kNothing = 0, kWritten = 1, kReceived = 2 };

int WaitOnEvents(uint32_t ms, bool alsoStop) {
    plat::Event *read = hEvRead;
    plat::Event *write = hEvWrite;
    if (!read) {
        if (alsoStop)
            WaitForStop(ms);
        else
            plat::SleepMs(ms);
        return kNothing;
    }
    plat::Event *events[4] = {read, write, &gStop, &gFlowWake};
    int which = plat::WaitAny(events, alsoStop ? 4 : 2, ms);
    if (which == 0) {
        uint32_t waiting = szInQueue.GetLength();
        NotifyClient(FALCREST_NOTIFY_READ, waiting, FALCREST_NOTIFY_READ, waiting, dwGerr);
        return kReceived;
    }
    if (which == 1) {
        // A window learns how much was written; a callback only that a pass ran.
        NotifyClient(FALCREST_NOTIFY_WRITTEN, dwGWrote, FALCREST_NOTIFY_READ, 0, dwGerrWrite);
        return kWritten;
    }
    return kNothing;
}

} // namespace

void RaiseStopSignal() {
    gStop.Set();
    WakeTransmitter();
    WakeReader();
}
void ResetStopSignal() {
    gStop.Reset();
}
void WakeFlow() {
    gFlowWake.Set();
}
bool WaitForStop(uint32_t ms) {
    return gStop.Wait(ms);
}
int WaitEventOrStop(uint32_t ms) {
    return WaitOnEvents(ms, true);
}

bool ClientPresent() {
    return plat::IsWindow(hWndIdle) || gpCallback.load() != nullptr;
}

void NotifyClient(uint32_t windowCode, uint32_t windowCount, uint32_t callbackCode,
                  uint32_t callbackCount, uint32_t error) {
    void *window = hWndIdle;
    if (plat::IsWindow(window)) {
        plat::SendMessage(window, windowCode, error, intptr_t(windowCount));
        return;
    }
    FalcrestCallback callback = gpCallback;
    if (callback)
        callback(callbackCode, error, callbackCount);
}

uint32_t ThreadFlowEntry(void *) {
    WorkerMark mark;
    while (bOperate && ClientPresent()) {
        plat::Worker::ParkPoint();
        WaitEventOrStop(plat::kInfinite);
        if (!bOperate)
            break;
    }
    dwThreadFlow = 0;
    return 0;
}

extern "C" FALCREST_API int WaitMSG(uint32_t milliseconds) {
    void *window = hWndIdle;
    plat::PumpMessages(plat::IsWindow(window) ? window : nullptr);
    plat::SleepMs(milliseconds ? milliseconds : kDefaultPumpSleepMs);
    return 0;
}

extern "C" FALCREST_API void WaitMSG2(uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        plat::PumpMessages(nullptr);
        plat::SleepMs(1);
    }
}

extern "C" FALCREST_API int WaitEvent(uint32_t milliseconds) {
    try {
        return WaitOnEvents(milliseconds ? milliseconds : kDefaultWaitMs, false);
    } catch (...) {
        return kNothing;
    }
}

extern "C" FALCREST_API int AbortTransfer(void) {
    bTransfer = 0;
    if (!PortIsOpen())
        return FALCREST_ABORT_NOPORT;
    return SendEndOfData() ? 1 : 0;
}
