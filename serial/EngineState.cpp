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

std::atomic<bool> bProcessEnding{false};

namespace {
// Unloading the library, also at process exit, releases the port. Built after
// the queues, this object goes before them.
struct UnloadGuard {
    ~UnloadGuard() { ReleaseModem(); }
} gUnloadGuard;
} // namespace

#if defined(_WIN32)
// The library's load and unload hook. The port itself is released by the
// guard above, which the runtime destroys when the library is unloaded; at
// process exit the system has already ended the worker threads, so the
// release must not wait for them.
extern "C" int __stdcall DllMain(void *, unsigned long reason, void *reserved) {
    constexpr unsigned long kProcessDetach = 0, kProcessAttach = 1;
    if (reason == kProcessAttach)
        idComDev = plat::kInvalidPort;
    else if (reason == kProcessDetach && reserved)
        bProcessEnding = true;
    return 1;
}
#endif
