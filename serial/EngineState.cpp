// The serial engine's library-wide state (declared in Engine.h).
#include "Engine.h"

std::atomic<plat::PortHandle> idComDev{plat::kInvalidPort};
uint32_t iIQSize = 1024;
uint32_t iOQSize = 1024;
std::atomic<void *> hWndIdle{nullptr};
std::atomic<FalcrestCallback> gpCallback{nullptr};
plat::Event *hEvRead = nullptr;
plat::Event *hEvWrite = nullptr;
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
QueueBuff cEncoded;

std::atomic<int> bTransfer{0};
std::atomic<uint32_t> dwGWrote{0};
std::atomic<uint32_t> dwGerrWrite{0};
std::atomic<uint32_t> dwGerr{0};
std::atomic<uint32_t> dwGRead{0};
std::atomic<uint32_t> dwReadBlockSize{100};
std::atomic<uint32_t> dwMaxContinuesRead{100};
std::atomic<uint32_t> dwFeedbackFormat{1};
