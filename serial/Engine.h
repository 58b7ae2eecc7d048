// The serial engine's library-wide state, declared once here and read by the
// voice and fax modules through this header. One port per process.
#pragma once

#include <atomic>
#include <cstdint>

#include "Tamsel.h"
#include "falcrest/Falcrest.h"
#include "platform/Serial.h"
#include "platform/Threads.h"

// ---- Connection -------------------------------------------------------------
extern std::atomic<plat::PortHandle> idComDev; // kInvalidPort while none is open
extern uint32_t iIQSize;                      // receive queue size of the driver
extern uint32_t iOQSize;                      // transmit queue size of the driver
extern std::atomic<void *> hWndIdle;           // notification window, or null
extern std::atomic<FalcrestCallback> gpCallback; // notification callback, or null
extern std::atomic<plat::Event *> hEvRead;                  // set by the receive thread
extern std::atomic<plat::Event *> hEvWrite;                 // set by the transmit thread
extern std::atomic<int> bOperate;              // 1 while the workers are to run
extern std::atomic<bool> bProcessEnding;       // the system has ended our threads already

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
extern std::atomic<uint32_t> dwGerr;            // error word of the last receive pass
extern std::atomic<uint32_t> dwGRead;           // queue length after the last pass
extern std::atomic<uint32_t> dwReadBlockSize;   // bytes asked of each read (<= 100)
extern std::atomic<uint32_t> dwMaxContinuesRead; // most reads in one pass
// ---- Feedback -----------------------------------------------------------------
extern std::atomic<uint32_t> dwFeedbackFormat;

// ---- Engine helpers shared between modules -------------------------------------
bool PortIsOpen();
// Wakes the transmit thread when bytes were queued while it waits idle.
void WakeTransmitter();
// Notifies the client: a live window by message, else the callback if set.
void NotifyClient(uint32_t windowCode, uint32_t callbackCode, uint32_t error, uint32_t count);
// Whether the client has a live window or a callback.
bool ClientPresent();

// The library's string-return routine: stores n characters of source (all of
// it when n is 0) into the caller's Realloc block; returns the count stored.
uint32_t SetStr(const char *source, char **target, uint32_t n);

// The error raised inside the library when an overlapped operation fails.
class COMException {
public:
    explicit COMException(plat::PortHandle port);
    uint32_t dwErrorMask;
    plat::ComStat comStat;
    uint32_t dwLastError;
    plat::ComStat *GetCommStatus(plat::ComStat *status) const;
};
