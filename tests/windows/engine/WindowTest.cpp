// A window as the notification target: the window lives on its own thread,
// which pumps with WaitMSG/WaitMSG2, and receives 1124 (data waiting), 1125
// (data written) and 1126 (transmit failure) with their parameters.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "PtyPair.h"
#include "serial/EngineState.h"

using testing_support::PtyPair;
using testing_support::WaitUntil;

namespace {

struct Message {
    UINT code;
    WPARAM wParam;
    LPARAM lParam;
};

std::mutex gLock;
std::vector<Message> gMessages;

std::vector<Message> Messages() {
    std::lock_guard<std::mutex> g(gLock);
    return gMessages;
}

LRESULT CALLBACK RecordingProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    // Nothing may throw through this frame: the system called us.
    try {
        if (msg >= FALCREST_NOTIFY_READ && msg <= FALCREST_NOTIFY_TXFAIL) {
            std::lock_guard<std::mutex> g(gLock);
            gMessages.push_back({msg, wParam, lParam});
            return 0;
        }
    } catch (...) {
        return 0;
    }
    return DefWindowProcA(window, msg, wParam, lParam);
}

// A message-only window on a thread of its own, pumped by the library's
// waits; the two pumps take turns so both are exercised.
class WindowThread {
public:
    WindowThread() {
        thread_ = std::thread([this] { Run(); });
        WaitUntil([this] { return window_.load() != nullptr || failed_; });
    }
    ~WindowThread() {
        stop_ = true;
        thread_.join();
    }
    HWND Window() const { return window_; }

private:
    void Run() {
        WNDCLASSA cls{};
        cls.lpfnWndProc = RecordingProc;
        cls.hInstance = GetModuleHandleA(nullptr);
        cls.lpszClassName = "FalcrestNotifyTest";
        RegisterClassA(&cls); // a second registration fails harmlessly
        HWND w = CreateWindowExA(0, cls.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 cls.hInstance, nullptr);
        if (!w) {
            failed_ = true;
            return;
        }
        window_ = w;
        bool turn = false;
        while (!stop_) {
            if (turn)
                WaitMSG(1);
            else
                WaitMSG2(2);
            turn = !turn;
        }
        DestroyWindow(w);
    }
    std::thread thread_;
    std::atomic<HWND> window_{nullptr};
    std::atomic<bool> stop_{false}, failed_{false};
};

class WindowTarget : public ::testing::Test {
protected:
    void SetUp() override {
        std::lock_guard<std::mutex> g(gLock);
        gMessages.clear();
    }
    void TearDown() override { ReleaseModem(); }
    bool Saw(UINT code, const std::function<bool(const Message &)> &match) {
        for (auto &m : Messages())
            if (m.code == code && match(m))
                return true;
        return false;
    }
};

TEST_F(WindowTarget, ReceivedBytesComeAs1124WithTheCountWaiting) {
    PtyPair pty;
    WindowThread window;
    ASSERT_NE(window.Window(), nullptr);
    ASSERT_GT(InitModem(window.Window(), pty.PortPath().c_str(), "baud=115200 octs=off odsr=off"),
              0);
    EXPECT_EQ(hWndIdle.load(), static_cast<void *>(window.Window()));
    EXPECT_EQ(gpCallback.load(), nullptr);
    pty.Write("hello");
    // Nobody drains the queue, so the count grows to all five bytes.
    ASSERT_TRUE(WaitUntil(
        [&] { return Saw(FALCREST_NOTIFY_READ, [](const Message &m) { return m.lParam == 5; }); }));
    for (auto &m : Messages())
        EXPECT_EQ(m.wParam, 0u) << m.code;
    char *text = nullptr, *codes = nullptr;
    char raw[100];
    uint32_t length = sizeof raw;
    GetCommFeedback(&text, &codes, raw, &length);
    EXPECT_EQ(std::string(raw, length), "hello");
    Realloc(text, 0);
    Realloc(codes, 0);
}

TEST_F(WindowTarget, WrittenBytesComeAs1125InChunksOfAtMost250) {
    PtyPair pty;
    WindowThread window;
    ASSERT_GT(InitModem(window.Window(), pty.PortPath().c_str(), "baud=115200 octs=off odsr=off"),
              0);
    std::string data(1000, 0);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = char('A' + i % 23);
    ASSERT_EQ(SendDataToModem(data.data(), int(data.size())), 0);
    EXPECT_EQ(pty.ReadAtLeast(data.size(), 10000), data);
    ASSERT_TRUE(WaitUntil([&] {
        return Saw(FALCREST_NOTIFY_WRITTEN, [](const Message &m) { return m.lParam > 0; });
    }));
    for (auto &m : Messages()) {
        EXPECT_EQ(m.wParam, 0u) << m.code;
        if (m.code == FALCREST_NOTIFY_WRITTEN) {
            EXPECT_LE(m.lParam, 250) << "a transmit pass wrote more than one chunk";
        }
        // A window hears of written data as 1125 only, never as an empty 1124.
        EXPECT_FALSE(m.code == FALCREST_NOTIFY_READ && m.lParam == 0);
        EXPECT_NE(m.code, UINT(FALCREST_NOTIFY_TXFAIL));
    }
}

TEST_F(WindowTarget, ReleaseWhileStreamingEndsEveryThreadPromptly) {
    PtyPair pty;
    WindowThread window;
    ASSERT_GT(InitModem(window.Window(), pty.PortPath().c_str(), "baud=115200 octs=off odsr=off"),
              0);
    std::string data(20000, 'z');
    ASSERT_EQ(SendDataToModem(data.data(), int(data.size())), 0);
    pty.Write(std::string(2000, 'r'));
    ASSERT_TRUE(WaitUntil([&] {
        return Saw(FALCREST_NOTIFY_WRITTEN, [](const Message &) { return true; }) &&
               Saw(FALCREST_NOTIFY_READ, [](const Message &) { return true; });
    }));
    ULONGLONG start = GetTickCount64();
    EXPECT_EQ(ReleaseModem(), 0);
    EXPECT_LT(GetTickCount64() - start, 1500u);
    EXPECT_EQ(dwThreadReadID.load(), 0u);
    EXPECT_EQ(dwThreadWriteID.load(), 0u);
    EXPECT_EQ(dwThreadFlow.load(), 0u);
    EXPECT_EQ(idComDev.load(), plat::kInvalidPort);
}

// The runner maps this port to a far end that hangs up after the first byte
// it receives; every write after that fails.
TEST_F(WindowTarget, TransmitFailureComesAs1126) {
    const char *port = std::getenv("FALCREST_TEST_HANGUP_PORT");
    if (!port || !*port)
        GTEST_SKIP() << "FALCREST_TEST_HANGUP_PORT is not set";
    WindowThread window;
    ASSERT_GT(InitModem(window.Window(), port, "baud=115200 octs=off odsr=off"), 0);
    ASSERT_TRUE(WaitUntil(
        [&] {
            SendDataToModem("x", 1);
            return Saw(FALCREST_NOTIFY_TXFAIL, [](const Message &m) { return m.wParam != 0; });
        },
        15000));
    for (auto &m : Messages())
        if (m.code == FALCREST_NOTIFY_TXFAIL) {
            EXPECT_EQ(m.lParam & ~LPARAM(0x1F), 0) << "only the five low status bits";
        }
    ULONGLONG start = GetTickCount64();
    ReleaseModem();
    EXPECT_LT(GetTickCount64() - start, 3000u);
}

} // namespace
