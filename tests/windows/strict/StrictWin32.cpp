// Checked Win32 calls for the Windows test build: each refuses what Windows
// refuses (documented on learn.microsoft.com) and Wine lets pass, and records
// the broken rule; the test program fails a test that broke one.
#include "StrictWin32.h"
#include "../../../platform/win32/Win32Calls.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <regex>

namespace plat::checked {

namespace {

using Clock = std::chrono::steady_clock;

struct State {
    std::mutex lock;
    std::vector<std::string> broken;
    std::map<HANDLE, Clock::time_point> immediateSent; // when a port's last one has left the line
} &S = *new State; // never destroyed: workers may call in while the process exits

bool ImmediatePending(HANDLE port) {
    std::lock_guard<std::mutex> lock(S.lock);
    auto it = S.immediateSent.find(port);
    return it != S.immediateSent.end() && Clock::now() < it->second;
}

BOOL Refuse(const char *rule, DWORD error) {
    ReportBrokenRule(rule);
    SetLastError(error);
    return FALSE;
}

} // namespace

void ReportBrokenRule(const char *rule) {
    std::fprintf(stderr, "broken Win32 rule: %s\n", rule);
    std::lock_guard<std::mutex> lock(S.lock);
    S.broken.emplace_back(rule);
}

std::vector<std::string> TakeBrokenRules() {
    std::lock_guard<std::mutex> lock(S.lock);
    return std::move(S.broken);
}

// Only COM1 to COM9 are reserved device names; "COM10" opens a file
// (https://learn.microsoft.com/en-us/windows/win32/fileio/naming-a-file).
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile) {
    if (name && std::regex_match(name, std::regex("COM0*[1-9][0-9]+:?", std::regex::icase)))
        return Refuse("CreateFile of COM10 or above without the \\\\.\\ prefix",
                      ERROR_FILE_NOT_FOUND),
               INVALID_HANDLE_VALUE;
    return ::CreateFileA(name, access, share, security, disposition, flags, templateFile);
}

// The start and stop characters must differ
// (https://learn.microsoft.com/en-us/windows/win32/api/winbase/ns-winbase-dcb).
BOOL SetCommState(HANDLE port, DCB *dcb) {
    if (dcb && dcb->XonChar == dcb->XoffChar)
        return Refuse("SetCommState with equal XonChar and XoffChar", ERROR_INVALID_PARAMETER);
    return ::SetCommState(port, dcb);
}

// A second immediate character fails while the first has not been sent
// (https://learn.microsoft.com/en-us/windows/win32/api/winbase/nf-winbase-transmitcommchar).
// It goes ahead of the queued data: one character time at the port's rate (a
// start bit, the data bits, parity and two stop bits, the most).
BOOL TransmitCommChar(HANDLE port, char c) {
    if (ImmediatePending(port))
        return Refuse("TransmitCommChar while the previous character is pending",
                      ERROR_INVALID_PARAMETER);
    if (!::TransmitCommChar(port, c))
        return FALSE;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    uint64_t us = ::GetCommState(port, &dcb) && dcb.BaudRate
                      ? (3u + dcb.ByteSize + (dcb.Parity != NOPARITY)) * 1000000ull / dcb.BaudRate
                      : 0;
    std::lock_guard<std::mutex> lock(S.lock);
    S.immediateSent[port] = Clock::now() + std::chrono::microseconds(us);
    return TRUE;
}

BOOL ClearCommError(HANDLE port, DWORD *errors, COMSTAT *status) {
    BOOL ok = ::ClearCommError(port, errors, status);
    if (ok && status && ImmediatePending(port))
        status->fTxim = 1;
    return ok;
}

BOOL ClosePort(HANDLE port) {
    std::lock_guard<std::mutex> lock(S.lock);
    S.immediateSent.erase(port);
    return ::CloseHandle(port);
}

} // namespace plat::checked
