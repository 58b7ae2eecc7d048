// The serial port as the engine sees it: the Win32 communications model
// (DCB, COMSTAT, COMMTIMEOUTS, escape functions) on every platform.
// Read and write honour the time-outs with the COMMTIMEOUTS meaning on both
// backends; overlapped records stay inside the Win32 backend.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plat {

using PortHandle = intptr_t;
constexpr PortHandle kInvalidPort = -1;

// Win32 system error codes that the engine tells apart.
constexpr uint32_t kErrInvalidHandle = 6;
constexpr uint32_t kErrGenFailure = 31;
constexpr uint32_t kErrHandleEof = 38;
constexpr uint32_t kErrNotSupported = 50;
constexpr uint32_t kErrInvalidParameter = 87;
constexpr uint32_t kErrOperationAborted = 995;
constexpr uint32_t kErrIoPending = 997;
constexpr uint32_t kErrTimeout = 1460;
// Not a Win32 code: the overlapped operation could not be completed and the
// caller should read the port's error state (ClearCommError) for the reason.
constexpr uint32_t kErrCompletionFailed = 0x20000001;

// Line error flags as ClearCommError reports them.
constexpr uint32_t kCeRxOver = 0x0001;
constexpr uint32_t kCeOverrun = 0x0002;
constexpr uint32_t kCeRxParity = 0x0004;
constexpr uint32_t kCeFrame = 0x0008;
constexpr uint32_t kCeBreak = 0x0010;

// Modem status bits (GetCommModemStatus).
constexpr uint32_t kMsCtsOn = 0x10;
constexpr uint32_t kMsDsrOn = 0x20;
constexpr uint32_t kMsRingOn = 0x40;
constexpr uint32_t kMsRlsdOn = 0x80;

// EscapeCommFunction codes.
constexpr uint32_t kSetXoff = 1;
constexpr uint32_t kSetXon = 2;
constexpr uint32_t kSetRts = 3;
constexpr uint32_t kClrRts = 4;
constexpr uint32_t kSetDtr = 5;
constexpr uint32_t kClrDtr = 6;

// DCB control values.
constexpr uint32_t kDtrControlDisable = 0, kDtrControlEnable = 1, kDtrControlHandshake = 2;
constexpr uint32_t kRtsControlDisable = 0, kRtsControlEnable = 1, kRtsControlHandshake = 2,
                   kRtsControlToggle = 3;
constexpr uint8_t kNoParity = 0, kOddParity = 1, kEvenParity = 2, kMarkParity = 3,
                  kSpaceParity = 4;
constexpr uint8_t kOneStopBit = 0, kOne5StopBits = 1, kTwoStopBits = 2;

// The Win32 DCB, field for field.
struct Dcb {
    uint32_t DCBlength = sizeof(Dcb);
    uint32_t BaudRate = 0;
    uint32_t fBinary : 1;
    uint32_t fParity : 1;
    uint32_t fOutxCtsFlow : 1;
    uint32_t fOutxDsrFlow : 1;
    uint32_t fDtrControl : 2;
    uint32_t fDsrSensitivity : 1;
    uint32_t fTXContinueOnXoff : 1;
    uint32_t fOutX : 1;
    uint32_t fInX : 1;
    uint32_t fErrorChar : 1;
    uint32_t fNull : 1;
    uint32_t fRtsControl : 2;
    uint32_t fAbortOnError : 1;
    uint32_t fDummy2 : 17;
    uint16_t wReserved = 0;
    uint16_t XonLim = 0;
    uint16_t XoffLim = 0;
    uint8_t ByteSize = 8;
    uint8_t Parity = 0;
    uint8_t StopBits = 0;
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    uint16_t wReserved1 = 0;
    Dcb()
        : fBinary(0), fParity(0), fOutxCtsFlow(0), fOutxDsrFlow(0), fDtrControl(0),
          fDsrSensitivity(0), fTXContinueOnXoff(0), fOutX(0), fInX(0), fErrorChar(0), fNull(0),
          fRtsControl(0), fAbortOnError(0), fDummy2(0) {}
};

// COMSTAT: the seven status flags (bits 0..6) and the queue counts.
struct ComStat {
    uint32_t flags = 0; // bit 0 CTS hold, 1 DSR hold, 2 RLSD hold, 3 XOFF hold,
                        // 4 XOFF sent, 5 EOF, 6 TXIM
    uint32_t cbInQue = 0;
    uint32_t cbOutQue = 0;
};

struct CommTimeouts {
    uint32_t ReadIntervalTimeout = 0;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 0;
    uint32_t WriteTotalTimeoutMultiplier = 0;
    uint32_t WriteTotalTimeoutConstant = 0;
};

// The queue sizes of COMMPROP that the engine uses.
struct CommProperties {
    uint32_t dwMaxTxQueue = 0;
    uint32_t dwMaxRxQueue = 0;
    uint32_t dwCurrentTxQueue = 0;
    uint32_t dwCurrentRxQueue = 0;
};

// Parses a mode string with the Win32 grammar (BuildCommDCB): the keyword form
// "baud=9600 parity=n data=8 stop=1 to=on xon=on odsr=on octs=on dtr=on
// rts=on idsr=on" and the older "9600,n,8,1[,x|p]" form. Only the fields
// named change. False when the string is rejected.
bool BuildCommDcb(const char *mode, Dcb &dcb);

// Opens a port exclusively for reading and writing. POSIX: a name with a '/'
// is a device path; COMn, COMn: and \\.\COMn name /dev/ttyS<n-1>.
// kInvalidPort on failure, with the system error in *error when given.
PortHandle OpenPort(const char *name, uint32_t *error = nullptr);
bool ClosePort(PortHandle port);

bool GetCommProperties(PortHandle port, CommProperties &props);
bool SetupComm(PortHandle port, uint32_t inQueue, uint32_t outQueue);
bool GetCommState(PortHandle port, Dcb &dcb);
bool SetCommState(PortHandle port, const Dcb &dcb);
bool GetCommTimeouts(PortHandle port, CommTimeouts &timeouts);
bool SetCommTimeouts(PortHandle port, const CommTimeouts &timeouts);
// Reads and clears the line error flags; fills the status when given.
bool ClearCommError(PortHandle port, uint32_t *errors, ComStat *status);
bool EscapeCommFunction(PortHandle port, uint32_t function);
bool SetCommBreak(PortHandle port);
bool ClearCommBreak(PortHandle port);
// Sends one byte ahead of any data waiting in the driver's transmit buffer.
bool TransmitCommChar(PortHandle port, char c);
// Waits until the driver has sent what it holds. POSIX bounds the wait (a far
// end that stops reading must not hang the caller) and reports false then.
bool FlushFileBuffers(PortHandle port);
bool GetCommModemStatus(PortHandle port, uint32_t *status);
// Switches off the insertion of line and modem status escapes into received
// data (IOCTL_SERIAL_LSRMST_INSERT with 0). POSIX has no such insertion.
bool DisableStatusInsertion(PortHandle port);

// Read up to n bytes, honouring the read time-outs. Returns 0 or a system
// error code (kErrCompletionFailed: read the error state for the reason);
// *got receives the bytes delivered, also on failure.
uint32_t ReadPort(PortHandle port, void *buffer, uint32_t n, uint32_t *got);
// Write n bytes, honouring the write time-outs; a write that times out
// completes with fewer bytes and result 0. Same result convention.
uint32_t WritePort(PortHandle port, const void *data, uint32_t n, uint32_t *written);

// The calling thread's last system error code (errno or GetLastError).
uint32_t LastError();

// The serial ports of the machine: POSIX device paths of ports that exist;
// on Windows the port names as the spooler lists them ("COM1:", "LPT1:").
std::vector<std::string> EnumPorts();

} // namespace plat
