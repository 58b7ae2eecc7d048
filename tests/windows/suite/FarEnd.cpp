// The pseudo-terminal pair of the POSIX tests over two COM ports that the
// runner joins (socat): the engine opens PortPath(), the test drives the far
// end through plain Win32 calls, sharing no code with the backend under test.
// And the test program's main, which fails a test that broke a Win32 rule
// the test build checks (tests/windows/strict); tests that break one on
// purpose take it back themselves.
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

HANDLE Far(int keeper) {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(keeper));
}

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
    HANDLE farEnd = OpenPlain(std::getenv("FALCREST_TEST_FAR"));
    if (!farEnd)
        throw std::runtime_error("cannot open the far end: error " +
                                 std::to_string(GetLastError()));
    keeper_ = static_cast<int>(reinterpret_cast<intptr_t>(farEnd));
    HANDLE nearEnd = OpenPlain(path_);
    ReadFor(20);
    if (nearEnd)
        Take(nearEnd), CloseHandle(nearEnd);
}

PtyPair::~PtyPair() {
    CloseHandle(Far(keeper_));
}

void PtyPair::Write(const std::string &bytes) {
    for (DWORD done = 0, n = 0; done < bytes.size(); done += n)
        if (!WriteFile(Far(keeper_), bytes.data() + done, DWORD(bytes.size() - done), &n, nullptr))
            throw std::runtime_error("far end write failed: " + std::to_string(GetLastError()));
}

std::string PtyPair::ReadAtLeast(size_t count, int timeoutMs) {
    std::string got;
    WaitUntil([&] { return (got += Take(Far(keeper_))).size() >= count; }, timeoutMs);
    return got;
}

std::string PtyPair::ReadFor(int ms) {
    return ReadAtLeast(SIZE_MAX, ms);
}

} // namespace testing_support

namespace {

struct BrokenRules : ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo &test) override {
        for (const std::string &rule : plat::checked::TakeBrokenRules()) {
            std::printf("%s.%s broke a Win32 rule: %s\n", test.test_suite_name(), test.name(),
                        rule.c_str());
            broken = true;
        }
    }
    bool broken = false;
};

} // namespace

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    auto *rules = new BrokenRules;
    ::testing::UnitTest::GetInstance()->listeners().Append(rules);
    return RUN_ALL_TESTS() || rules->broken;
}
