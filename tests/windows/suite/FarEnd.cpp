// The pseudo-terminal pair of the POSIX tests over two COM ports that the
// runner joins (socat): the engine opens PortPath(), the test drives the far
// end through plain Win32 calls, sharing no code with the backend under test.
// And the test program's main, which checks that no test broke a Win32 rule
// of those the test build checks (tests/windows/strict).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <stdexcept>

#include "../strict/StrictWin32.h"
#include "PtyPair.h"

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

HANDLE gFar = nullptr; // one line at a time: the runner names its two ports

// Takes whatever is waiting, without blocking.
std::string Take(HANDLE h) {
    std::string got;
    char buffer[4096];
    for (DWORD n = 0; ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0;)
        got.append(buffer, n);
    return got;
}

} // namespace

// The runner names the ports. Each test starts on a quiet line: what earlier
// tests left in either direction is dropped.
PtyPair::PtyPair() : path_(std::getenv("FALCREST_TEST_PORT")) {
    if (!(gFar = OpenPlain(std::getenv("FALCREST_TEST_FAR"))))
        throw std::runtime_error("cannot open the far end: error " +
                                 std::to_string(GetLastError()));
    if (HANDLE nearEnd = OpenPlain(path_))
        CloseHandle(nearEnd);
    ReadFor(20);
}

PtyPair::~PtyPair() {
    CloseHandle(gFar);
}

void PtyPair::Write(const std::string &bytes) {
    for (DWORD done = 0, n = 0; done < bytes.size(); done += n)
        if (!WriteFile(gFar, bytes.data() + done, DWORD(bytes.size() - done), &n, nullptr))
            throw std::runtime_error("far end write failed: " + std::to_string(GetLastError()));
}

std::string PtyPair::ReadAtLeast(size_t count, int timeoutMs) {
    std::string got;
    WaitUntil([&] { return (got += Take(gFar)).size() >= count; }, timeoutMs);
    return got;
}

std::string PtyPair::ReadFor(int ms) {
    return ReadAtLeast(SIZE_MAX, ms);
}

} // namespace testing_support

// A Win32 rule broken and not taken back by a test that broke it on purpose
// (each is printed where it happens) fails the program.
int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    int failed = RUN_ALL_TESTS();
    return failed || !plat::checked::TakeBrokenRules().empty();
}
