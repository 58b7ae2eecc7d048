// The engine's worker threads and the signals between them.
#pragma once

#include <atomic>
#include <cstdint>

// Admits one active call of a pass function: a second call while the first
// runs finds the guard taken and returns at once.
class ReentryGuard {
public:
    explicit ReentryGuard(std::atomic<int> &flag) : flag_(flag) {
        int idle = 0;
        entered_ = flag_.compare_exchange_strong(idle, 1);
    }
    ~ReentryGuard() {
        if (entered_)
            flag_ = 0;
    }
    ReentryGuard(const ReentryGuard &) = delete;
    ReentryGuard &operator=(const ReentryGuard &) = delete;
    bool Entered() const { return entered_; }

private:
    std::atomic<int> &flag_;
    bool entered_;
};

// Each worker holds one for its life: it marks the thread as one of the
// engine's (a release from inside a callback must not wait for the thread it
// runs on) and tells InitModem that the worker runs.
class WorkerMark {
public:
    WorkerMark();
    ~WorkerMark();
    WorkerMark(const WorkerMark &) = delete;
    WorkerMark &operator=(const WorkerMark &) = delete;
};
bool OnWorkerThread();

uint32_t ThreadReadEntry(void *);
uint32_t ThreadWriteEntry(void *);
uint32_t ThreadFlowEntry(void *);

// Stop signal: raised by ReleaseModem so that idle workers wake at once.
void RaiseStopSignal();
void ResetStopSignal();
// Ends the flow thread's wait so that it can park.
void WakeFlow();
// Waits up to ms unless the stop signal is raised; true when it was.
bool WaitForStop(uint32_t ms);
// The flow thread's wait: like WaitEvent but it also ends on the stop signal
// and the transmit thread's wake-up; returns WaitEvent's result.
int WaitEventOrStop(uint32_t ms);

// Idle transmit thread: waits until bytes may be sent, up to ms.
void WaitForTransmitWork(uint32_t ms);
// Ends the receive thread's idle wait for input.
void WakeReader();
