// The pseudo-terminal pair of the POSIX tests over two COM ports that the
// runner joins (socat): the engine opens PortPath(), the test drives the far
// end through plain Win32 calls, sharing no code with the backend under test.
#include "PtyPair.h"

#include <windows.h>

#include <cstdlib>
#include <stdexcept>

namespace testing_support {

namespace {

// A plain line without flow control, output running, reads that return at
// once: the ports outlive the tests, and a test that switched XON/XOFF on (or
// received an XOFF) must not hold the next one's output. Nullptr if it fails.
HANDLE OpenPlain(const std::string &name) {
    HANDLE h = CreateFileA(("\\\\.\\" + name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return nullptr;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(h, &dcb);
    BuildCommDCBA("baud=115200 parity=N data=8 stop=1 xon=off octs=off odsr=off", &dcb);
    SetCommState(h, &dcb);
    EscapeCommFunction(h, SETXON);
    COMMTIMEOUTS t{MAXDWORD, 0, 0, 0, 0};
    SetCommTimeouts(h, &t);
    PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR);
    return h;
}

HANDLE Far(int keeper) {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(keeper));
}

// Takes whatever is waiting, without blocking.
std::string Take(HANDLE h) {
    std::string got;
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0)
        got.append(buffer, n);
    return got;
}

} // namespace

void WatchBrokenRules();

// The runner names the ports.
PtyPair::PtyPair() : path_(std::getenv("FALCREST_TEST_PORT")) {
    WatchBrokenRules();
    HANDLE farEnd = OpenPlain(std::getenv("FALCREST_TEST_FAR"));
    if (!farEnd)
        throw std::runtime_error("cannot open the far end: error " +
                                 std::to_string(GetLastError()));
    keeper_ = static_cast<int>(reinterpret_cast<intptr_t>(farEnd));
    // Each test starts on a quiet line: drop what earlier tests left in
    // either direction (the ports outlive the tests, unlike a fresh pty).
    HANDLE nearEnd = OpenPlain(path_);
    ReadFor(20);
    if (nearEnd) {
        Take(nearEnd);
        CloseHandle(nearEnd);
    }
}

PtyPair::~PtyPair() {
    CloseHandle(Far(keeper_));
}

void PtyPair::Write(const std::string &bytes) {
    for (size_t done = 0; done < bytes.size();) {
        DWORD n = 0;
        if (!WriteFile(Far(keeper_), bytes.data() + done, DWORD(bytes.size() - done), &n, nullptr))
            throw std::runtime_error("far end write failed: " + std::to_string(GetLastError()));
        done += n;
    }
}

void PtyPair::Write(const std::vector<uint8_t> &bytes) {
    Write(std::string(bytes.begin(), bytes.end()));
}

std::string PtyPair::ReadAtLeast(size_t count, int timeoutMs) {
    std::string got;
    WaitUntil([&] { return (got += Take(Far(keeper_))).size() >= count; }, timeoutMs);
    return got;
}

std::string PtyPair::ReadFor(int ms) {
    std::string got;
    WaitUntil([&] { return got += Take(Far(keeper_)), false; }, ms);
    return got + Take(Far(keeper_));
}

bool WaitUntil(const std::function<bool()> &cond, int timeoutMs) {
    for (ULONGLONG end = GetTickCount64() + ULONGLONG(timeoutMs);; Sleep(1))
        if (cond())
            return true;
        else if (GetTickCount64() >= end)
            return false;
}

} // namespace testing_support
