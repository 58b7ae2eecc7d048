// Checked Win32 calls for the Windows test build: each refuses what Windows
// refuses (documented on learn.microsoft.com) and Wine lets pass, and records
// the broken rule; the test programs fail a test that broke one.
#include "StrictWin32.h"
#include "../../../platform/win32/Win32Calls.h"

#include <cctype>
#include <cstdio>
#include <map>
#include <mutex>

namespace plat::checked {

namespace {

// What the checks found and what they model, under one lock; never
// destroyed, as workers may call in while the process exits.
struct State {
    std::mutex lock;
    std::vector<std::string> broken;
    std::map<HANDLE, double> immediateSent; // when a port's last one has left the line
};
State &S() {
    static auto *state = new State;
    return *state;
}
std::mutex &Lock() {
    return S().lock;
}

double NowMs() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

// A start bit, the data bits, parity and the stop bits at the port's rate.
double CharacterMs(HANDLE port) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(port, &dcb) || dcb.BaudRate == 0)
        return 0;
    double stop = dcb.StopBits == ONESTOPBIT ? 1.0 : dcb.StopBits == ONE5STOPBITS ? 1.5 : 2.0;
    return (1.0 + dcb.ByteSize + (dcb.Parity != NOPARITY ? 1 : 0) + stop) * 1000.0 / dcb.BaudRate;
}

bool ImmediatePending(HANDLE port) {
    auto it = S().immediateSent.find(port);
    return it != S().immediateSent.end() && NowMs() < it->second;
}

// "COM" and a number from 10 (any case, an optional colon).
bool HighComName(const char *name) {
    if (!name || _strnicmp(name, "COM", 3) != 0)
        return false;
    const char *p = name + 3;
    unsigned number = 0, digits = 0;
    for (; std::isdigit(static_cast<unsigned char>(*p)); ++p, ++digits)
        number = number * 10 + unsigned(*p - '0');
    return digits > 0 && number >= 10 && (*p == 0 || (p[0] == ':' && p[1] == 0));
}

// Under Lock().
void Record(const char *rule) {
    std::fprintf(stderr, "broken Win32 rule: %s\n", rule);
    S().broken.emplace_back(rule);
}

} // namespace

void ReportBrokenRule(const char *rule) {
    std::lock_guard<std::mutex> lock(Lock());
    Record(rule);
}

std::vector<std::string> TakeBrokenRules() {
    std::lock_guard<std::mutex> lock(Lock());
    std::vector<std::string> broken;
    broken.swap(S().broken);
    return broken;
}

// Only COM1 to COM9 are reserved device names; "COM10" opens a file
// (https://learn.microsoft.com/en-us/windows/win32/fileio/naming-a-file).
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile) {
    if (HighComName(name)) {
        ReportBrokenRule("CreateFile of COM10 or above without the \\\\.\\ prefix");
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    return ::CreateFileA(name, access, share, security, disposition, flags, templateFile);
}

// The start and stop characters must differ
// (https://learn.microsoft.com/en-us/windows/win32/api/winbase/ns-winbase-dcb).
BOOL SetCommState(HANDLE port, DCB *dcb) {
    if (dcb && dcb->XonChar == dcb->XoffChar) {
        ReportBrokenRule("SetCommState with equal XonChar and XoffChar");
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return ::SetCommState(port, dcb);
}

// A second immediate character fails while the first has not been sent
// (https://learn.microsoft.com/en-us/windows/win32/api/winbase/nf-winbase-transmitcommchar).
// It goes ahead of the queued data: one character time at the port's rate.
BOOL TransmitCommChar(HANDLE port, char c) {
    {
        std::lock_guard<std::mutex> lock(Lock());
        if (ImmediatePending(port)) {
            Record("TransmitCommChar while the previous character is pending");
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
    }
    if (!::TransmitCommChar(port, c))
        return FALSE;
    double sent = NowMs() + CharacterMs(port);
    std::lock_guard<std::mutex> lock(Lock());
    S().immediateSent[port] = sent;
    return TRUE;
}

BOOL ClearCommError(HANDLE port, DWORD *errors, COMSTAT *status) {
    if (!::ClearCommError(port, errors, status))
        return FALSE;
    std::lock_guard<std::mutex> lock(Lock());
    if (status && ImmediatePending(port))
        status->fTxim = 1;
    return TRUE;
}

BOOL ClosePort(HANDLE port) {
    {
        std::lock_guard<std::mutex> lock(Lock());
        S().immediateSent.erase(port);
    }
    return ::CloseHandle(port);
}

} // namespace plat::checked
