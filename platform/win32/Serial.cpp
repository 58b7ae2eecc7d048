// The serial port on Win32: the comm API itself, with our DCB and COMSTAT
// records converted field by field. Reading, writing and the status-insertion
// request, all overlapped, are in SerialIo.cpp.
#include "platform/Serial.h"

#include <windows.h>

#include "Win32Calls.h"
#include "Win32Port.h"

namespace plat {

namespace {

DCB ToNative(const Dcb &d) {
    DCB n{};
    n.DCBlength = sizeof(DCB);
    n.BaudRate = d.BaudRate;
    n.fBinary = d.fBinary;
    n.fParity = d.fParity;
    n.fOutxCtsFlow = d.fOutxCtsFlow;
    n.fOutxDsrFlow = d.fOutxDsrFlow;
    n.fDtrControl = d.fDtrControl;
    n.fDsrSensitivity = d.fDsrSensitivity;
    n.fTXContinueOnXoff = d.fTXContinueOnXoff;
    n.fOutX = d.fOutX;
    n.fInX = d.fInX;
    n.fErrorChar = d.fErrorChar;
    n.fNull = d.fNull;
    n.fRtsControl = d.fRtsControl;
    n.fAbortOnError = d.fAbortOnError;
    n.XonLim = d.XonLim;
    n.XoffLim = d.XoffLim;
    n.ByteSize = d.ByteSize;
    n.Parity = d.Parity;
    n.StopBits = d.StopBits;
    n.XonChar = d.XonChar;
    n.XoffChar = d.XoffChar;
    n.ErrorChar = d.ErrorChar;
    n.EofChar = d.EofChar;
    n.EvtChar = d.EvtChar;
    return n;
}

Dcb FromNative(const DCB &n) {
    Dcb d;
    d.BaudRate = n.BaudRate;
    d.fBinary = n.fBinary;
    d.fParity = n.fParity;
    d.fOutxCtsFlow = n.fOutxCtsFlow;
    d.fOutxDsrFlow = n.fOutxDsrFlow;
    d.fDtrControl = n.fDtrControl;
    d.fDsrSensitivity = n.fDsrSensitivity;
    d.fTXContinueOnXoff = n.fTXContinueOnXoff;
    d.fOutX = n.fOutX;
    d.fInX = n.fInX;
    d.fErrorChar = n.fErrorChar;
    d.fNull = n.fNull;
    d.fRtsControl = n.fRtsControl;
    d.fAbortOnError = n.fAbortOnError;
    d.XonLim = n.XonLim;
    d.XoffLim = n.XoffLim;
    d.ByteSize = n.ByteSize;
    d.Parity = n.Parity;
    d.StopBits = n.StopBits;
    d.XonChar = n.XonChar;
    d.XoffChar = n.XoffChar;
    d.ErrorChar = n.ErrorChar;
    d.EofChar = n.EofChar;
    d.EvtChar = n.EvtChar;
    return d;
}

} // namespace

// The system's own builder: a DCB string means here what the mode command
// makes of it on this machine.
bool BuildCommDcb(const char *mode, Dcb &dcb) {
    if (!mode) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    DCB native = ToNative(dcb);
    if (!::BuildCommDCBA(mode, &native))
        return false;
    dcb = FromNative(native);
    return true;
}

// "COMn" or "COMn:" (any case, n a number) as the device namespace name
// "\\.\COMn"; any other name unchanged. Only COM1 to COM9 are also known by
// their plain names: CreateFile takes "COM10" and up for a file name
// (https://learn.microsoft.com/en-us/windows/win32/fileio/naming-a-file,
// "Win32 Device Namespaces"), while the spooler lists them plain.
std::string PortDevicePath(const char *name) {
    std::string path = name ? name : "";
    std::string number = path.size() > 3 ? path.substr(3) : "";
    if (!number.empty() && number.back() == ':')
        number.pop_back();
    if (_strnicmp(path.c_str(), "COM", 3) != 0 || number.empty() ||
        number.find_first_not_of("0123456789") != std::string::npos)
        return path;
    return "\\\\.\\COM" + number;
}

uint32_t LastError() {
    return GetLastError();
}

PortHandle OpenPort(const char *name, uint32_t *error) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        if (error)
            *error = ERROR_INVALID_PARAMETER;
        return kInvalidPort;
    }
    HANDLE h = checked::CreateFileA(PortDevicePath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (error)
        *error = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    if (h == INVALID_HANDLE_VALUE)
        return kInvalidPort;
    try {
        return AddPort(h);
    } catch (...) {
        checked::ClosePort(h);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        if (error)
            *error = ERROR_NOT_ENOUGH_MEMORY;
        return kInvalidPort;
    }
}

bool ClosePort(PortHandle port) {
    if (RemovePort(port))
        return true;
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
}

bool GetCommProperties(PortHandle port, CommProperties &props) {
    COMMPROP native{};
    if (!::GetCommProperties(HeldPort(port), &native))
        return false;
    props.dwMaxTxQueue = native.dwMaxTxQueue;
    props.dwMaxRxQueue = native.dwMaxRxQueue;
    props.dwCurrentTxQueue = native.dwCurrentTxQueue;
    props.dwCurrentRxQueue = native.dwCurrentRxQueue;
    return true;
}

bool SetupComm(PortHandle port, uint32_t inQueue, uint32_t outQueue) {
    return ::SetupComm(HeldPort(port), inQueue, outQueue) != 0;
}

bool GetCommState(PortHandle port, Dcb &dcb) {
    DCB native{};
    native.DCBlength = sizeof(DCB);
    if (!::GetCommState(HeldPort(port), &native))
        return false;
    dcb = FromNative(native);
    return true;
}

bool SetCommState(PortHandle port, const Dcb &dcb) {
    DCB native = ToNative(dcb);
    return checked::SetCommState(HeldPort(port), &native) != 0;
}

bool GetCommTimeouts(PortHandle port, CommTimeouts &timeouts) {
    COMMTIMEOUTS native{};
    if (!::GetCommTimeouts(HeldPort(port), &native))
        return false;
    timeouts.ReadIntervalTimeout = native.ReadIntervalTimeout;
    timeouts.ReadTotalTimeoutMultiplier = native.ReadTotalTimeoutMultiplier;
    timeouts.ReadTotalTimeoutConstant = native.ReadTotalTimeoutConstant;
    timeouts.WriteTotalTimeoutMultiplier = native.WriteTotalTimeoutMultiplier;
    timeouts.WriteTotalTimeoutConstant = native.WriteTotalTimeoutConstant;
    return true;
}

bool SetCommTimeouts(PortHandle port, const CommTimeouts &timeouts) {
    COMMTIMEOUTS native{};
    native.ReadIntervalTimeout = timeouts.ReadIntervalTimeout;
    native.ReadTotalTimeoutMultiplier = timeouts.ReadTotalTimeoutMultiplier;
    native.ReadTotalTimeoutConstant = timeouts.ReadTotalTimeoutConstant;
    native.WriteTotalTimeoutMultiplier = timeouts.WriteTotalTimeoutMultiplier;
    native.WriteTotalTimeoutConstant = timeouts.WriteTotalTimeoutConstant;
    return ::SetCommTimeouts(HeldPort(port), &native) != 0;
}

bool ClearCommError(PortHandle port, uint32_t *errors, ComStat *status) {
    DWORD flags = 0;
    COMSTAT native{};
    BOOL ok = checked::ClearCommError(HeldPort(port), &flags, &native);
    if (errors)
        *errors = ok ? flags : 0;
    if (status) {
        *status = ComStat{};
        if (ok) {
            status->flags = (native.fCtsHold ? 0x01u : 0) | (native.fDsrHold ? 0x02u : 0) |
                            (native.fRlsdHold ? 0x04u : 0) | (native.fXoffHold ? 0x08u : 0) |
                            (native.fXoffSent ? 0x10u : 0) | (native.fEof ? 0x20u : 0) |
                            (native.fTxim ? 0x40u : 0);
            status->cbInQue = native.cbInQue;
            status->cbOutQue = native.cbOutQue;
        }
    }
    return ok != 0;
}

bool EscapeCommFunction(PortHandle port, uint32_t function) {
    return ::EscapeCommFunction(HeldPort(port), function) != 0;
}

bool SetCommBreak(PortHandle port) {
    return ::SetCommBreak(HeldPort(port)) != 0;
}

bool ClearCommBreak(PortHandle port) {
    return ::ClearCommBreak(HeldPort(port)) != 0;
}

bool TransmitCommChar(PortHandle port, char c) {
    return checked::TransmitCommChar(HeldPort(port), c) != 0;
}

bool FlushFileBuffers(PortHandle port) {
    return ::FlushFileBuffers(HeldPort(port)) != 0;
}

bool GetCommModemStatus(PortHandle port, uint32_t *status) {
    DWORD bits = 0;
    BOOL ok = ::GetCommModemStatus(HeldPort(port), &bits);
    if (status)
        *status = ok ? bits : 0;
    return ok != 0;
}

} // namespace plat
