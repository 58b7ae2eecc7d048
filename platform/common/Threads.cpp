// Worker threads with cooperative suspension, Win32-style events, sleeps and
// clocks, over the C++ standard library (both backends use it).
#include "platform/Threads.h"
#include "ThreadsNative.h"

#include <chrono>
#include <vector>

namespace plat {

struct Worker::State {
    std::mutex m;
    std::condition_variable cv;
    uint32_t suspendCount = 0;
    bool parked = false;
    std::atomic<bool> ended{false};
    std::thread thread;
    uint32_t id = 0;
    Entry entry = nullptr;
    void *arg = nullptr;
    uint64_t nativeId = 0; // the system's id of the thread, for its priority
    std::atomic<void (*)()> wakeHook{nullptr};
};

namespace {

std::atomic<uint32_t> nextId{1};
thread_local Worker::State *currentWorker = nullptr;
thread_local int loaderLockDepth = 0;

bool WaitEnded(Worker::State &s, uint32_t ms) {
    std::unique_lock<std::mutex> lock(s.m);
    return s.cv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return s.ended.load(); });
}

void Park(Worker::State &s) {
    std::unique_lock<std::mutex> lock(s.m);
    if (s.suspendCount == 0)
        return;
    s.parked = true;
    s.cv.notify_all();
    s.cv.wait(lock, [&] { return s.suspendCount == 0; });
    s.parked = false;
}

void Run(std::shared_ptr<Worker::State> s) {
    currentWorker = s.get();
    {
        std::lock_guard<std::mutex> lock(s->m);
        s->nativeId = CurrentNativeThreadId();
    }
    s->cv.notify_all();
    Park(*s);
    s->entry(s->arg);
    {
        std::lock_guard<std::mutex> lock(s->m);
        s->ended = true;
    }
    s->cv.notify_all();
    currentWorker = nullptr;
}

} // namespace

Worker::~Worker() {
    if (state_ && state_->thread.joinable()) {
        if (state_->ended.load() && !LoaderLockScope::Held())
            state_->thread.join();
        else
            state_->thread.detach();
    }
}

uint32_t Worker::Start(Entry entry, void *arg, bool suspended) {
    if (state_)
        return 0;
    auto s = std::make_shared<State>();
    s->entry = entry;
    s->arg = arg;
    s->suspendCount = suspended ? 1 : 0;
    s->id = nextId.fetch_add(1);
    if (s->id == 0)
        s->id = nextId.fetch_add(1);
    try {
        s->thread = std::thread(Run, s);
    } catch (...) {
        return 0;
    }
    state_ = s;
    return s->id;
}

uint32_t Worker::Suspend(uint32_t boundMs) {
    if (!state_)
        return 0;
    State &s = *state_;
    std::unique_lock<std::mutex> lock(s.m);
    uint32_t previous = s.suspendCount++;
    if (currentWorker == &s || s.ended)
        return previous;
    if (auto hook = s.wakeHook.load()) {
        lock.unlock();
        hook();
        lock.lock();
    }
    s.cv.wait_for(lock, std::chrono::milliseconds(boundMs),
                  [&] { return s.parked || s.ended.load(); });
    return previous;
}

uint32_t Worker::Resume() {
    if (!state_)
        return 0;
    State &s = *state_;
    std::lock_guard<std::mutex> lock(s.m);
    uint32_t previous = s.suspendCount;
    if (s.suspendCount > 0 && --s.suspendCount == 0)
        s.cv.notify_all();
    return previous;
}

bool Worker::Join(uint32_t ms) {
    if (!state_)
        return true;
    State &s = *state_;
    if (!WaitEnded(s, ms))
        return false;
    if (!s.thread.joinable() || s.thread.get_id() == std::this_thread::get_id())
        return true;
    if (LoaderLockScope::Held())
        ThreadWaitUnderLoaderLock(); // the thread is left to end on its own
    else
        s.thread.join();
    return true;
}

bool Worker::WaitLeft(uint32_t ms) {
    return !state_ || WaitEnded(*state_, ms);
}

LoaderLockScope::LoaderLockScope() {
    ++loaderLockDepth;
}
LoaderLockScope::~LoaderLockScope() {
    --loaderLockDepth;
}
bool LoaderLockScope::Held() {
    return loaderLockDepth > 0;
}

bool Worker::SetPriority(Priority priority) {
    if (!state_)
        return false;
    State &s = *state_;
    std::unique_lock<std::mutex> lock(s.m);
    s.cv.wait_for(lock, std::chrono::milliseconds(1000),
                  [&] { return s.nativeId != 0 || s.ended.load(); });
    if (s.ended || s.nativeId == 0)
        return false;
    return SetNativeThreadPriority(s.nativeId, priority == Priority::Highest);
}

void Worker::SetWakeHook(void (*hook)()) {
    if (state_)
        state_->wakeHook = hook;
}

void Worker::ParkPoint() {
    if (currentWorker)
        Park(*currentWorker);
}

// ---- Events -------------------------------------------------------------------
// All events share one lock and one condition: the engine has a handful of
// events, and a wait for several of them needs a common condition.

namespace {
// Never destroyed: workers may still wait on them while the process exits,
// and the library releases its port (and wakes them) only during static
// destruction, in an order between files that nothing fixes. A destroyed
// condition with waiters blocks the exit for good.
std::mutex &EventLock() {
    static auto *m = new std::mutex;
    return *m;
}
std::condition_variable &EventCondition() {
    static auto *cv = new std::condition_variable;
    return *cv;
}
} // namespace

Event::Event(bool manualReset, bool initialState)
    : manual_(manualReset), signalled_(initialState) {}
Event::~Event() = default;

void Event::Set() {
    {
        std::lock_guard<std::mutex> lock(EventLock());
        signalled_ = true;
    }
    EventCondition().notify_all();
}

void Event::Reset() {
    std::lock_guard<std::mutex> lock(EventLock());
    signalled_ = false;
}

bool Event::Wait(uint32_t ms) {
    Event *self = this;
    return WaitAny(&self, 1, ms) == 0;
}

int WaitAny(Event *const *events, int count, uint32_t ms) {
    std::unique_lock<std::mutex> lock(EventLock());
    int found = -1;
    auto ready = [&] {
        for (int i = 0; i < count; ++i) {
            if (events[i] && events[i]->signalled_) {
                found = i;
                return true;
            }
        }
        return false;
    };
    if (ms == kInfinite)
        EventCondition().wait(lock, ready);
    else
        EventCondition().wait_for(lock, std::chrono::milliseconds(ms), ready);
    if (found >= 0 && !events[found]->manual_)
        events[found]->signalled_ = false;
    return found;
}

void SleepMs(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

uint64_t NowMs() {
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace plat
