// The serial engine as the voice and fax modules use it: the one header of
// serial/ they include. The port, the queues, the transmit gate and the
// worker threads stay behind it, private to serial/.
#pragma once

#include <cstdint>

#include "Strings.h"
#include "Tamsel.h"

namespace plat {
class Worker;
}

// Whether a port is open.
bool PortIsOpen();

// ---- Transmit queue ---------------------------------------------------------------
// Appends n bytes behind everything queued, as one block (bytes that other
// threads queue never land inside it), and wakes the transmit thread, which
// sends them while the gate is open. Returns n, or 0 with nothing queued
// when the queue has no memory.
uint32_t QueueForTransmit(const void *data, uint32_t n);
// Bytes queued and not yet taken by the port, the chunk being written
// included.
uint32_t TransmitBacklog();
// Drops what waits to be sent, and the chunk being written with it.
void DiscardTransmitQueue();
// Drops what was received and not yet fetched by the client.
void DiscardReceivedBytes();

// ---- Transmit gate ------------------------------------------------------------------
// The transmit thread takes bytes from the queue only while the gate is
// open; AbortTransfer closes it.
void OpenTransmitGate();
bool TransmitGateOpen();

// Waits, on the caller's thread and pumping its messages (an abort arrives
// that way), until the port has taken everything queued or the gate is
// closed: true. False when the backlog has not shrunk for stallMs.
bool WaitTransmitDrained(uint32_t stallMs);

// ---- The line -------------------------------------------------------------------------
// Waits (bounded) until the driver has sent what it holds and clears the
// port's error state; false when the wait failed or no port is open.
bool FlushLine();
// Sends one byte at once, ahead of the transmit queue, once the one sent
// before it this way has left (bounded); false when it could not be sent or
// no port is open.
bool SendImmediate(char c);
// DLE then ETX, both ahead of the transmit queue; false when either failed
// (no ETX follows a DLE that failed).
bool SendEndOfData();

// ---- Workers --------------------------------------------------------------------------
// Pauses the receive and transmit threads while it lives, or until Resume:
// nothing is sent from the queue, and received bytes wait in the driver.
// Both the pause and the resume take the connection's lifecycle lock, so a
// ReleaseModem meanwhile is safe: the release lets the threads go and end,
// and the resume then does nothing. Not for use inside a notification.
class PausedWorkers {
public:
    PausedWorkers();
    ~PausedWorkers();
    PausedWorkers(const PausedWorkers &) = delete;
    PausedWorkers &operator=(const PausedWorkers &) = delete;
    void Resume();

private:
    uint64_t connection_ = 0;
    plat::Worker *reader_ = nullptr;
    plat::Worker *writer_ = nullptr;
    bool paused_ = false;
};
