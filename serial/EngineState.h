// The serial engine's library-wide state and the helpers its files share.
// Private to serial/: the voice and fax modules go through Engine.h.
#pragma once

#include <atomic>
#include <cstdint>

#include "Engine.h"
#include "Tamsel.h"
#include "falcrest/Falcrest.h"
#include "platform/Serial.h"
#include "platform/Threads.h"

// ---- Connection -------------------------------------------------------------
extern std::atomic<plat::PortHandle> idComDev;   // kInvalidPort while none is open
extern uint32_t iIQSize;                         // receive queue size of the driver
extern uint32_t iOQSize;                         // transmit queue size of the driver
extern std::atomic<void *> hWndIdle;             // notification window, or null
extern std::atomic<FalcrestCallback> gpCallback; // notification callback, or null
extern std::atomic<plat::Event *> hEvRead;       // set by the receive thread
extern std::atomic<plat::Event *> hEvWrite;      // set by the transmit thread
extern std::atomic<int> bOperate;                // 1 while the workers are to run

// Worker handles: written only under the lifecycle lock (Connection.cpp).
extern plat::Worker *hThreadRead;
extern plat::Worker *hThreadWrite;
extern plat::Worker *hThreadFlow;
extern std::atomic<uint32_t> dwThreadReadID;
extern std::atomic<uint32_t> dwThreadWriteID;
extern std::atomic<uint32_t> dwThreadFlow;

// ---- Queues (live from load to unload) ---------------------------------------
extern QueueBuff szInQueue;   // received bytes
extern QueueBuff szOutQueue;  // bytes waiting for the transmit thread
extern QueueBuff szPlayQueue; // the exported collector

// ---- Transmit -----------------------------------------------------------------
extern std::atomic<int> bTransfer;        // transmit gate
extern std::atomic<uint32_t> dwGWrote;    // bytes written in the last transmit pass
extern std::atomic<uint32_t> dwGerrWrite; // error word of the last transmit pass
// ---- Receive ------------------------------------------------------------------
extern std::atomic<uint32_t> dwGerr;             // error word of the last receive pass
extern std::atomic<uint32_t> dwGRead;            // queue length after the last pass
extern std::atomic<uint32_t> dwReadBlockSize;    // bytes asked of each read (<= 100)
extern std::atomic<uint32_t> dwMaxContinuesRead; // most reads in one pass
// ---- Feedback -----------------------------------------------------------------
extern std::atomic<uint32_t> dwFeedbackFormat;

// ---- Helpers shared by the engine's files --------------------------------------
// Wakes the transmit thread when bytes were queued while it waits idle.
void WakeTransmitter();
// Notifies the client: a live window by message (windowCode, windowCount),
// else the callback, if set (callbackCode, callbackCount).
void NotifyClient(uint32_t windowCode, uint32_t windowCount, uint32_t callbackCode,
                  uint32_t callbackCount, uint32_t error);
// Whether the client has a live window or a callback.
bool ClientPresent();
// Sets the receive thread's priority; false without a receive thread.
bool SetReaderPriority(plat::Worker::Priority priority);

#if defined(_WIN32)
// Ends the connection while the library is unloaded, without waiting for a
// thread to end (see Connection.cpp).
void ReleaseOnUnload();
#endif

// The driver's queue sizes (COMMPROP) as the engine takes them, where 0
// means "no maximum" or "not reported": the size to ask for, whether a
// current size holds what was asked, and the size to keep.
uint32_t QueueSizeWanted(uint32_t wanted, uint32_t maximum, uint32_t current);
bool QueueSizeFits(uint32_t current, uint32_t wanted);
uint32_t QueueSizeTaken(uint32_t wanted, uint32_t current);

// The error raised inside the library when an overlapped operation fails.
class COMException {
public:
    explicit COMException(plat::PortHandle port);
    uint32_t dwErrorMask;
    plat::ComStat comStat;
    uint32_t dwLastError;
    plat::ComStat *GetCommStatus(plat::ComStat *status) const;
};
