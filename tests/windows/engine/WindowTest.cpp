// A window as the notification target, on its own thread pumped by WaitMSG
// and WaitMSG2 in turn: 1124 (data waiting) and 1125 (data written) arrive
// with their parameters. (A transmit failure is posted as the others are.)
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "PtyPair.h"
#include "serial/EngineState.h"

using testing_support::WaitUntil;

namespace {

std::mutex gLock;
std::vector<MSG> gMessages;

LRESULT CALLBACK RecordingProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg < FALCREST_NOTIFY_READ || msg > FALCREST_NOTIFY_TXFAIL)
        return DefWindowProcA(window, msg, wParam, lParam);
    std::lock_guard<std::mutex> g(gLock);
    gMessages.push_back(MSG{window, msg, wParam, lParam, 0, {}});
    return 0;
}

// Whether a message with this code arrived for which match holds.
bool Saw(UINT code, bool (*match)(WPARAM, LPARAM)) {
    std::lock_guard<std::mutex> g(gLock);
    for (const MSG &m : gMessages)
        if (m.message == code && match(m.wParam, m.lParam))
            return true;
    return false;
}

TEST(WindowTarget, EveryNotificationArrivesAsItsMessage) {
    std::atomic<HWND> window{nullptr};
    std::jthread pump([&](std::stop_token stop) {
        WNDCLASSA cls{};
        cls.lpfnWndProc = RecordingProc;
        cls.lpszClassName = "FalcrestNotifyTest";
        RegisterClassA(&cls);
        window = CreateWindowExA(0, cls.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 nullptr, nullptr);
        for (bool turn = false; !stop.stop_requested(); turn = !turn) {
            if (turn)
                WaitMSG(1);
            else
                WaitMSG2(2);
        }
        DestroyWindow(window);
    });
    ASSERT_TRUE(WaitUntil([&] { return window.load() != nullptr; }));
    testing_support::PtyPair pty;
    ASSERT_GT(InitModem(window, pty.PortPath().c_str(), "baud=115200 octs=off odsr=off"), 0);
    pty.Write("hello"); // nobody drains the queue: the count grows to all five
    EXPECT_TRUE(
        WaitUntil([] { return Saw(1124, [](WPARAM w, LPARAM l) { return !w && l == 5; }); }));
    std::string data(1000, 'd');
    ASSERT_EQ(SendDataToModem(data.data(), int(data.size())), 0);
    EXPECT_EQ(pty.ReadAtLeast(data.size()), data);
    EXPECT_TRUE(
        WaitUntil([] { return Saw(1125, [](WPARAM w, LPARAM l) { return !w && l > 0; }); }));
    // A window hears of written data as 1125 in passes of at most 250
    // bytes, never as an empty 1124.
    EXPECT_FALSE(Saw(1125, [](WPARAM, LPARAM l) { return l > 250; }));
    EXPECT_FALSE(Saw(1124, [](WPARAM, LPARAM l) { return l == 0; }));
    EXPECT_EQ(ReleaseModem(), 0);
}

} // namespace
