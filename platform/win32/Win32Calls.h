// The Win32 calls with documented rules that Wine does not enforce. The
// product calls the system directly. The Windows test build (with
// FALCREST_STRICT_WIN32) links checked versions instead, which refuse what
// Windows refuses and record the broken rule, so that the suite fails the
// way a real machine would.
#pragma once

#include <windows.h>

namespace plat::checked {

#if defined(FALCREST_STRICT_WIN32)
// Refuses "COM10" and up without the \\.\ prefix: such a name is a file.
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
// Refuses equal XonChar and XoffChar.
BOOL SetCommState(HANDLE port, DCB *dcb);
// Refuses a character while the one before is still on its way, modelled at
// the port's rate; ClearCommError reports it waiting (fTxim).
BOOL TransmitCommChar(HANDLE port, char c);
BOOL ClearCommError(HANDLE port, DWORD *errors, COMSTAT *status);
// Closes a port and forgets what was modelled for its handle.
BOOL ClosePort(HANDLE port);
// Records a broken rule found elsewhere in the backend.
void ReportBrokenRule(const char *rule);
#else
inline HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile) {
    return ::CreateFileA(name, access, share, security, disposition, flags, templateFile);
}
inline BOOL SetCommState(HANDLE port, DCB *dcb) {
    return ::SetCommState(port, dcb);
}
inline BOOL TransmitCommChar(HANDLE port, char c) {
    return ::TransmitCommChar(port, c);
}
inline BOOL ClearCommError(HANDLE port, DWORD *errors, COMSTAT *status) {
    return ::ClearCommError(port, errors, status);
}
inline BOOL ClosePort(HANDLE port) {
    return ::CloseHandle(port);
}
#endif

} // namespace plat::checked
