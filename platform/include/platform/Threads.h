// Worker threads, events and waits, sleeps and clocks.
//
// Workers are suspended cooperatively on every platform: Suspend asks the
// worker to park at its next pass boundary (ParkPoint) and returns once it has
// parked or the bound has passed; Resume lets it go. Suspend counts nest. A
// worker is thus never frozen while it holds a lock.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace plat {

class Worker {
public:
    using Entry = uint32_t (*)(void *);
    enum class Priority { Normal, Highest };

    Worker() = default;
    ~Worker();
    Worker(const Worker &) = delete;
    Worker &operator=(const Worker &) = delete;

    // Starts the thread; with suspended it waits for the first Resume before
    // calling entry. Returns the thread's id (never 0), 0 on failure.
    uint32_t Start(Entry entry, void *arg, bool suspended);
    // Asks the worker to park and waits up to boundMs for it. Returns the
    // previous suspend count. Calling it from the worker itself only counts.
    uint32_t Suspend(uint32_t boundMs = 1000);
    // Returns the previous suspend count; 0 means it was not suspended.
    uint32_t Resume();
    // Waits up to ms for the thread to end; true when it has ended. A thread
    // that has not ended is left running (detached) when the Worker goes.
    // Under the loader lock (LoaderLockScope) it never waits for the thread
    // itself, which could not end there, only for the entry to return.
    bool Join(uint32_t ms);
    // Waits up to ms for the entry function to return, without waiting for
    // the thread: what may be done under the loader lock.
    bool WaitLeft(uint32_t ms);
    bool SetPriority(Priority priority);
    // Called by Suspend after asking the worker to park: ends whatever wait
    // the worker may be in, so that it reaches its park point at once.
    void SetWakeHook(void (*hook)());

    // Called by a worker at its pass boundaries: parks while suspended.
    static void ParkPoint();

    struct State; // shared with the thread, which may outlive the Worker

private:
    std::shared_ptr<State> state_;
};

// Marks the calling thread as running the library's load or unload hook,
// where Windows holds its loader lock: a thread that ends needs that lock,
// so nothing there may wait for a thread to end
// (https://learn.microsoft.com/en-us/windows/win32/dlls/dynamic-link-library-best-practices).
class LoaderLockScope {
public:
    LoaderLockScope();
    ~LoaderLockScope();
    LoaderLockScope(const LoaderLockScope &) = delete;
    LoaderLockScope &operator=(const LoaderLockScope &) = delete;
    static bool Held();
};

// Keeps the library's code loaded until the process ends: called when a
// worker is left running, so that unloading the library never pulls the code
// from under it. Nothing on POSIX.
void PinLibrary();

// An event with Win32 semantics: auto-reset events release one waiter and
// reset; manual-reset events stay set until Reset.
class Event {
public:
    Event(bool manualReset, bool initialState);
    ~Event();
    Event(const Event &) = delete;
    Event &operator=(const Event &) = delete;
    void Set();
    void Reset();
    // True when signalled within ms (kInfinite waits without a bound).
    bool Wait(uint32_t ms);

private:
    friend int WaitAny(Event *const *events, int count, uint32_t ms);
    bool manual_;
    bool signalled_;
};

constexpr uint32_t kInfinite = 0xFFFFFFFFu;

// Waits for any of the events; returns the index of the first signalled one
// (in array order, so earlier events win when several are set), -1 on
// time-out. An auto-reset event that is reported is reset.
int WaitAny(Event *const *events, int count, uint32_t ms);

void SleepMs(uint32_t ms);
// Milliseconds of a monotonic clock.
uint64_t NowMs();

} // namespace plat
