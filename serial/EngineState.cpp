// The serial engine's library-wide state (declared in EngineState.h).
#include "EngineState.h"

std::atomic<plat::PortHandle> idComDev{plat::kInvalidPort};
uint32_t iIQSize = 1024;
uint32_t iOQSize = 1024;
std::atomic<void *> hWndIdle{nullptr};
std::atomic<FalcrestCallback> gpCallback{nullptr};
std::atomic<plat::Event *> hEvRead{nullptr};
std::atomic<plat::Event *> hEvWrite{nullptr};
std::atomic<int> bOperate{0};

plat::Worker *hThreadRead = nullptr;
plat::Worker *hThreadWrite = nullptr;
plat::Worker *hThreadFlow = nullptr;
std::atomic<uint32_t> dwThreadReadID{0};
std::atomic<uint32_t> dwThreadWriteID{0};
std::atomic<uint32_t> dwThreadFlow{0};

// Constructed at load in this order, destroyed in the reverse order.
QueueBuff szInQueue;
QueueBuff szOutQueue;
QueueBuff szPlayQueue;

std::atomic<int> bTransfer{0};
std::atomic<uint32_t> dwGWrote{0};
std::atomic<uint32_t> dwGerrWrite{0};
std::atomic<uint32_t> dwGerr{0};
std::atomic<uint32_t> dwGRead{0};
std::atomic<uint32_t> dwReadBlockSize{100};
std::atomic<uint32_t> dwMaxContinuesRead{100};
std::atomic<uint32_t> dwFeedbackFormat{1};

#if defined(_WIN32)
// The library's load and unload hook. Unloading releases a port left open,
// in the way the loader lock allows (ReleaseOnUnload). At process exit (a
// non-null reserved argument) it does nothing at all: the system has ended
// the workers already, maybe while they held a lock the release would take
// (https://learn.microsoft.com/en-us/windows/win32/dlls/dllmain).
extern "C" int __stdcall DllMain(void *, unsigned long reason, void *reserved) {
    constexpr unsigned long kProcessDetach = 0, kProcessAttach = 1;
    if (reason == kProcessAttach) {
        idComDev = plat::kInvalidPort;
    } else if (reason == kProcessDetach && !reserved) {
        plat::LoaderLockScope loaderLock;
        ReleaseOnUnload();
    }
    return 1;
}
#else
namespace {
// Unloading the library, also at process exit, releases the port. Built after
// the queues, this object goes before them.
struct UnloadGuard {
    ~UnloadGuard() { ReleaseModem(); }
} gUnloadGuard;
} // namespace
#endif
