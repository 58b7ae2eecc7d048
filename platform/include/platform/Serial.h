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

// Win32 system error codes that the engine tells apart. The POSIX backend
// reports its failures with these codes too (see LastError).
constexpr uint32_t kErrFileNotFound = 2;
constexpr uint32_t kErrAccessDenied = 5;
constexpr uint32_t kErrInvalidHandle = 6;
constexpr uint32_t kErrNotEnoughMemory = 8;
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
constexpr uint32_t kSetBreak = 8;
constexpr uint32_t kClrBreak = 9;

// DCB control values.
constexpr uint32_t kDtrControlDisable = 0, kDtrControlEnable = 1, kDtrControlHandshake = 2;
constexpr uint32_t kRtsControlDisable = 0, kRtsControlEnable = 1, kRtsControlHandshake = 2,
                   kRtsControlToggle = 3;
constexpr uint8_t kNoParity = 0, kOddParity = 1, kEvenParity = 2, kMarkParity = 3, kSpaceParity = 4;
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

// The queue sizes of COMMPROP that the engine uses. A maximum of 0 means the
// driver sets none; a current size of 0 means the driver does not say.
struct CommProperties {
    uint32_t dwMaxTxQueue = 0;
    uint32_t dwMaxRxQueue = 0;
    uint32_t dwCurrentTxQueue = 0;
    uint32_t dwCurrentRxQueue = 0;
};

// Parses a mode string with the Win32 grammar, by our own code on every
// platform: the keyword form "[COMn[:]] baud=9600 parity=n data=8 stop=1
// to=on xon=on odsr=on octs=on dtr=on|off|hs rts=on|off|hs|tg idsr=on" (keys
// and values in any case, separated by blanks) and the older form
// "[COMn[:]] 9600,n,8,1[,x|p]" (empty fields keep their value). Baud rates
// may be given by their first two digits as the mode command allows (96 is
// 9600, 19 is 19200, 11 is 110). Only the fields named change, with two
// documented exceptions: 110 baud without a stop-bit value gives 2 stop bits,
// and the older form always sets the flow-control fields (none, x: XON/XOFF,
// p: hardware handshake). A rejected string leaves the DCB untouched.
bool ParseModeString(const char *mode, Dcb &dcb);
// What the engine calls: POSIX uses ParseModeString, Windows BuildCommDCBA,
// so a string means there what the system's own mode command makes of it.
bool BuildCommDcb(const char *mode, Dcb &dcb);

// The device a port name opens. POSIX: a name with a '/' is a device path and
// is used whole; COMn, COMn: and \\.\COMn (any case, n from 1) name
// /dev/ttyS<n-1>; any other name is looked up in /dev. Empty for a COM name
// without a valid number. Windows: COMn and COMn: as \\.\COMn (CreateFile
// knows only COM1 to COM9 by their plain names), any other name unchanged.
std::string PortDevicePath(const char *name);

// Opens a port exclusively for reading and writing; a second open of the same
// port fails with kErrAccessDenied as on Windows. The handle is a positive
// int of our own, never the same for two opens (see PortTable.h): a thread
// holding a closed port's handle cannot reach whatever took over its system
// handle or descriptor. On POSIX the port starts raw (no echo, no line
// editing, CLOCAL|CREAD, a break counted but not read as a NUL) with the
// line settings it had.
// kInvalidPort on failure, with the system error in *error when given.
PortHandle OpenPort(const char *name, uint32_t *error = nullptr);
bool ClosePort(PortHandle port);

// POSIX reports the kernel's buffers: the line discipline's 4096-byte receive
// buffer and the serial core's one-page transmit ring, as both the maximum and
// the current sizes. SetupComm succeeds when the requested sizes fit in them.
bool GetCommProperties(PortHandle port, CommProperties &props);
bool SetupComm(PortHandle port, uint32_t inQueue, uint32_t outQueue);
// GetCommState returns the DCB last applied, with what the device reports
// (speed, size, parity, stop bits, XON/XOFF, handshake) merged in.
bool GetCommState(PortHandle port, Dcb &dcb);
// POSIX applies: BaudRate (any rate; rates without a B constant through
// termios2 on Linux), ByteSize 5..8, Parity (mark and space through CMSPAR),
// StopBits (1.5 only with 5 data bits, 2 not with 5, as Windows checks),
// fParity as input parity checking, fOutxCtsFlow or an RTS handshake as
// CRTSCTS (termios cannot tell the two directions apart), fOutX/fInX as
// IXON/IXOFF with XonChar/XoffChar, and the DTR and RTS lines (raised for
// enable, handshake and toggle). Failing line ioctls (pseudo-terminals have no
// modem lines) are ignored here. Kept in the DCB but without effect on POSIX:
// fOutxDsrFlow, fDsrSensitivity, fTXContinueOnXoff, fErrorChar, fNull,
// fAbortOnError, XonLim/XoffLim, ErrorChar, EofChar, EvtChar. Equal XonChar
// and XoffChar are refused, with flow control on or off, as Windows does. A
// setting the device does not take fails with kErrInvalidParameter and
// changes nothing;
// except that a Linux pseudo-terminal, which has no line and forces 8 bits
// without parity, keeps ByteSize and Parity only in the DCB.
bool SetCommState(PortHandle port, const Dcb &dcb);
bool GetCommTimeouts(PortHandle port, CommTimeouts &timeouts);
bool SetCommTimeouts(PortHandle port, const CommTimeouts &timeouts);
// Reads and clears the line error flags; fills the status when given. POSIX
// takes the flags from the kernel's error counters (TIOCGICOUNT) where the
// driver keeps them, as the growth since the last call, else reports none;
// cbInQue and cbOutQue are the kernel's queue counts; of the status flags
// CTS hold (CTS low under CTS output flow control) and TXIM are known.
bool ClearCommError(PortHandle port, uint32_t *errors, ComStat *status);
// kSetXon/kSetXoff restart/suspend output as if XON/XOFF had arrived; DTR and
// RTS codes fail while that line is under handshake control, as on Windows;
// kSetBreak/kClrBreak as SetCommBreak/ClearCommBreak. A device without modem
// lines (a pseudo-terminal) fails with kErrNotSupported.
bool EscapeCommFunction(PortHandle port, uint32_t function);
bool SetCommBreak(PortHandle port);
bool ClearCommBreak(PortHandle port);
// Sends one byte at once. Windows puts it ahead of data waiting in the
// driver's transmit buffer; POSIX writes it straight away, behind what the
// kernel already holds, and gives up with kErrTimeout when the kernel takes
// nothing for kFlushLimitMs. Both refuse a second one while the first has not
// been sent, and report that one waiting in the status flags (TXIM) of
// ClearCommError; POSIX counts it sent once the line has had one character's
// time for it at the port's rate.
bool TransmitCommChar(PortHandle port, char c);
// Waits until the driver has sent what it holds. POSIX bounds the wait (a far
// end that stops reading must not hang the caller) and reports false with
// kErrTimeout after kFlushLimitMs.
bool FlushFileBuffers(PortHandle port);
constexpr uint32_t kFlushLimitMs = 2000;
// Fails (status 0) where the device has no modem lines.
bool GetCommModemStatus(PortHandle port, uint32_t *status);
// Switches off the insertion of line and modem status escapes into received
// data (IOCTL_SERIAL_LSRMST_INSERT with 0). POSIX has no such insertion.
bool DisableStatusInsertion(PortHandle port);

// Reads up to n bytes, honouring the read time-outs as COMMTIMEOUTS defines
// them: interval MAXDWORD with both totals 0 returns at once with what is
// there; interval and multiplier MAXDWORD with a constant between waits up to
// the constant for the first byte; otherwise the total time-out is multiplier
// * n + constant (none when both are 0) and a non-zero interval ends the read
// when that long passes after a byte without another. A time-out is no
// failure: the result is 0 with the bytes that arrived, possibly none.
// *got receives the bytes delivered, also on failure. Results:
//   0                     done (all n bytes, or a time-out; on Windows also
//                         a read that ended with ERROR_HANDLE_EOF)
//   kErrInvalidHandle     the handle is not an open port
//   kErrGenFailure        POSIX: the far end is gone (hang-up, pty master
//                         closed, adapter pulled); returned at once by every
//                         read until the port is closed. Bytes that arrived
//                         before the hang-up are delivered first, with 0.
//   kErrOperationAborted  POSIX: the port was closed while the read waited
//   kErrCompletionFailed  Windows: the overlapped read did not complete; the
//                         port's error state (ClearCommError) tells why
//   other                 the system's error code (ReadFile's on Windows,
//                         the mapped errno on POSIX)
uint32_t ReadPort(PortHandle port, void *buffer, uint32_t n, uint32_t *got);
// Writes n bytes, honouring the write time-outs (multiplier * n + constant; no
// limit when both are 0); a write that times out completes with fewer bytes
// and result 0. Same results as ReadPort; POSIX reports kErrGenFailure when
// the far end is gone (EIO), with *written the bytes taken before; Windows
// reports kErrInvalidHandle when it cannot make the operation's event.
uint32_t WritePort(PortHandle port, const void *data, uint32_t n, uint32_t *written);

// Waits up to ms for received data (or a hang-up) on the port; true when a
// read would find something, or when the line reported new errors (POSIX: a
// break brings no byte). CancelInputWait ends the waits on the port at
// once (and the next one, if none is waiting), a read in progress included:
// it completes with what has arrived, as on a time-out. An idle reader sleeps here
// instead of issuing empty reads. Win32 answers true at once: its reads wait
// in the driver.
bool WaitForInput(PortHandle port, uint32_t ms);
void CancelInputWait(PortHandle port);

// The calling thread's last system error code as a Win32 code: GetLastError
// on Windows; on POSIX errno mapped (EBADF kErrInvalidHandle, ENOENT
// kErrFileNotFound, EACCES/EPERM/EBUSY kErrAccessDenied, ENOMEM
// kErrNotEnoughMemory, EINVAL kErrInvalidParameter, ENOTTY/EOPNOTSUPP
// kErrNotSupported, ETIMEDOUT kErrTimeout, ECANCELED kErrOperationAborted,
// EIO/ENXIO/ENODEV and anything else kErrGenFailure; 0 for none).
uint32_t LastError();

// The serial ports of the machine: POSIX device paths of ports that exist
// (/sys/class/tty entries bound to a driver; UARTs only when the driver found
// one); on Windows the port names as the spooler lists them ("COM1:", "LPT1:").
std::vector<std::string> EnumPorts();

} // namespace plat
