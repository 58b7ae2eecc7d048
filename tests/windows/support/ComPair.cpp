// The pseudo-terminal pair of the POSIX tests, rebuilt over two COM ports for
// the Windows tests under Wine: the runner script joins two pseudo-terminals
// (socat) and maps them as the engine's port and the farEnd end. The engine
// opens PortPath(); the test drives the farEnd end through plain Win32 calls,
// so the harness shares no code with the backend under test.
#include "PtyPair.h"

#include <windows.h>

#include <cstdlib>
#include <stdexcept>

namespace testing_support {

namespace {

std::string FromEnv(const char *name, const char *fallback) {
    const char *value = std::getenv(name);
    return value && *value ? value : fallback;
}

// A plain line without flow control, output running: the ports outlive the
// tests, and a test that switched XON/XOFF on (or received an XOFF) must not
// hold the next one's output.
void PlainLine(HANDLE h) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(h, &dcb);
    dcb.BaudRate = 115200;
    dcb.fBinary = 1;
    dcb.fOutX = dcb.fInX = 0;
    dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = 0;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    SetCommState(h, &dcb);
    EscapeCommFunction(h, SETXON);
}

HANDLE OpenRaw(const std::string &name) {
    std::string path = "\\\\.\\" + name;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot open " + name + ": error " +
                                 std::to_string(GetLastError()));
    PlainLine(h);
    // Reads return at once with what is there; the harness polls.
    COMMTIMEOUTS t{MAXDWORD, 0, 0, 0, 0};
    SetCommTimeouts(h, &t);
    return h;
}

// Takes whatever is waiting, without blocking.
std::string Take(HANDLE h) {
    std::string got;
    char buffer[4096];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(h, buffer, sizeof buffer, &n, nullptr) || n == 0)
            return got;
        got.append(buffer, n);
    }
}

} // namespace

void WatchBrokenRules();

PtyPair::PtyPair() : path_(FromEnv("FALCREST_TEST_PORT", "COM1")) {
    WatchBrokenRules();
    HANDLE farEnd = OpenRaw(FromEnv("FALCREST_TEST_FAR", "COM2"));
    master_ = -1;
    keeper_ = static_cast<int>(reinterpret_cast<intptr_t>(farEnd));
    // Each test starts on a quiet line: drop what earlier tests left in
    // either direction (the ports outlive the tests, unlike a fresh pty).
    HANDLE nearEnd = CreateFileA(("\\\\.\\" + path_).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    if (nearEnd != INVALID_HANDLE_VALUE) {
        COMMTIMEOUTS t{MAXDWORD, 0, 0, 0, 0};
        SetCommTimeouts(nearEnd, &t);
        PlainLine(nearEnd);
        PurgeComm(nearEnd, PURGE_RXCLEAR | PURGE_TXCLEAR);
        Take(nearEnd);
    }
    PurgeComm(farEnd, PURGE_RXCLEAR | PURGE_TXCLEAR);
    ReadFor(20);
    if (nearEnd != INVALID_HANDLE_VALUE) {
        Take(nearEnd);
        CloseHandle(nearEnd);
    }
}

PtyPair::~PtyPair() {
    CloseFar();
}

static HANDLE FarHandle(int keeper) {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(keeper));
}

void PtyPair::Write(const std::string &bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD n = 0;
        DWORD want = DWORD(std::min<size_t>(bytes.size() - done, 4096));
        if (!WriteFile(FarHandle(keeper_), bytes.data() + done, want, &n, nullptr))
            throw std::runtime_error("farEnd end write failed: " + std::to_string(GetLastError()));
        done += n;
        if (n == 0)
            Sleep(1);
    }
}

void PtyPair::Write(const std::vector<uint8_t> &bytes) {
    Write(std::string(bytes.begin(), bytes.end()));
}

std::string PtyPair::ReadAtLeast(size_t count, int timeoutMs) {
    std::string got;
    ULONGLONG end = GetTickCount64() + ULONGLONG(timeoutMs);
    while (got.size() < count) {
        std::string more = Take(FarHandle(keeper_));
        if (more.empty()) {
            if (GetTickCount64() >= end)
                break;
            Sleep(1);
        }
        got += more;
    }
    return got;
}

std::string PtyPair::ReadFor(int ms) {
    std::string got;
    ULONGLONG end = GetTickCount64() + ULONGLONG(ms);
    while (GetTickCount64() < end) {
        got += Take(FarHandle(keeper_));
        Sleep(1);
    }
    return got + Take(FarHandle(keeper_));
}

void PtyPair::CloseFar() {
    if (keeper_ != -1)
        CloseHandle(FarHandle(keeper_));
    keeper_ = -1;
}

bool WaitUntil(const std::function<bool()> &cond, int timeoutMs) {
    ULONGLONG end = GetTickCount64() + ULONGLONG(timeoutMs);
    for (;;) {
        if (cond())
            return true;
        if (GetTickCount64() >= end)
            return false;
        Sleep(1);
    }
}

} // namespace testing_support
