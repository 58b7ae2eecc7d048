// What only Windows has: a window as the notification target, and the Win32
// rules that the test build checks where Wine does not.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "../../../platform/win32/Win32Calls.h"
#include "../strict/StrictWin32.h"
#include "PtyPair.h"
#include "serial/EngineState.h"

using testing_support::WaitUntil;

namespace {

std::vector<MSG> gMessages;

LRESULT CALLBACK RecordingProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg < FALCREST_NOTIFY_READ || msg > FALCREST_NOTIFY_TXFAIL)
        return DefWindowProcA(window, msg, wParam, lParam);
    gMessages.push_back(MSG{window, msg, wParam, lParam, 0, {}});
    return 0;
}

// Whether a message with this code arrived whose lParam passes the test.
bool Saw(UINT code, bool (*test)(LPARAM)) {
    return std::ranges::any_of(
        gMessages, [&](const MSG &m) { return m.message == code && !m.wParam && test(m.lParam); });
}

// Pumped by WaitMSG and WaitMSG2 in turn: 1124 (data waiting) and 1125
// (data written) arrive with their parameters, 1125 in passes of at most 250
// bytes and never as an empty 1124.
TEST(WindowTarget, NotificationsArriveAsTheirMessages) {
    WNDCLASSA cls{};
    cls.lpfnWndProc = RecordingProc;
    cls.lpszClassName = "FalcrestNotifyTest";
    RegisterClassA(&cls);
    HWND window = CreateWindowExA(0, cls.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  nullptr, nullptr);
    bool turn = false;
    auto arrives = [&](UINT code, bool (*test)(LPARAM)) {
        return WaitUntil(
            [&] { return (turn = !turn) ? void(WaitMSG(1)) : WaitMSG2(2), Saw(code, test); });
    };
    testing_support::PtyPair pty;
    ASSERT_GT(InitModem(window, pty.PortPath().c_str(), "baud=115200 octs=off odsr=off"), 0);
    pty.Write("hello"); // nobody drains the queue: the count grows to all five
    EXPECT_TRUE(arrives(1124, [](LPARAM l) { return l == 5; }));
    std::string data(1000, 'd');
    ASSERT_EQ(SendDataToModem(data.data(), int(data.size())), 0);
    EXPECT_EQ(pty.ReadAtLeast(data.size()), data);
    EXPECT_TRUE(arrives(1125, [](LPARAM l) { return l > 0; }));
    EXPECT_FALSE(Saw(1125, [](LPARAM l) { return l > 250; }));
    EXPECT_FALSE(Saw(1124, [](LPARAM l) { return l == 0; }));
    EXPECT_EQ(ReleaseModem(), 0);
    DestroyWindow(window);
}

// Each checked rule catches the fault it is there for: the call is refused
// and reported. (Two immediate characters at once are in the port tests.)
TEST(StrictRules, EachBrokenRuleIsRefusedAndReported) {
    auto reported = [] { return !plat::checked::TakeBrokenRules().empty(); };
    const char *high = std::getenv("FALCREST_TEST_HIGH_PORT");
    ASSERT_TRUE(high && *high) << "the runner maps a port from COM10 up";
    plat::PortHandle port = plat::OpenPort(high); // the backend supplies the device prefix
    ASSERT_NE(port, plat::kInvalidPort);
    EXPECT_EQ(plat::checked::CreateFileA(high, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_TRUE(reported()) << "COM10 without the prefix";
    plat::Dcb dcb;
    ASSERT_TRUE(plat::GetCommState(port, dcb));
    dcb.XonChar = dcb.XoffChar = 0;
    EXPECT_FALSE(plat::SetCommState(port, dcb));
    EXPECT_TRUE(reported()) << "equal XON and XOFF";
    plat::ClosePort(port);
    testing_support::PtyPair pty;
    ASSERT_GT(InitModem(reinterpret_cast<void *>(+[](uint32_t, uint32_t, uint32_t) { return 0; }),
                        pty.PortPath().c_str(), "baud=115200 octs=off odsr=off xon=off"),
              0);
    (plat::LoaderLockScope(), ReleaseModem()); // the scope lasts to the end of the statement
    EXPECT_TRUE(reported()) << "a thread awaited under the loader lock";
    ReleaseModem(); // joins what the release under the loader lock left
}

} // namespace
