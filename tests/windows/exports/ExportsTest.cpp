// The library as a client sees it: Falcrest.dll loaded by name, the spooler
// enumerations, and a connection with a callback target through the DLL.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "PtyPair.h"
#include "Recorder.h"
#include "Tamsel.h"
#include "falcrest/Falcrest.h"

using testing_support::PtyPair;
using testing_support::WaitUntil;

namespace {

TEST(Spooler, EnumComPortsListsTheMappedComPortsOnly) {
    char *list = nullptr;
    EXPECT_EQ(EnumComPorts(&list), 1);
    ASSERT_NE(list, nullptr);
    std::string ports = "," + std::string(list) + ",";
    EXPECT_NE(ports.find(",COM1,"), std::string::npos) << list;
    EXPECT_NE(ports.find(",COM2,"), std::string::npos) << list;
    EXPECT_EQ(ports.find("LPT"), std::string::npos) << list;
    EXPECT_EQ(ports.find(':'), std::string::npos) << list;
    Realloc(list, 0);
}

TEST(Spooler, SetupRenderPortAsksForThePrinterDrivers) {
    EXPECT_EQ(SetupRenderPort(), 0);
}

TEST(Dll, CallbackHearsOfReceivedAndWrittenData) {
    PtyPair pty;
    Recorder::Instance().Reset();
    ASSERT_GT(InitModem(Recorder::Instance().Target(), pty.PortPath().c_str(),
                        "baud=115200 octs=off odsr=off"),
              0);
    pty.Write("hello");
    ASSERT_TRUE(WaitUntil([] { return Recorder::Instance().Raw() == "hello"; }));
    bool sawCount = false;
    for (auto &n : Recorder::Instance().Notes())
        sawCount |= n.code == FALCREST_NOTIFY_READ && n.count == 5;
    EXPECT_TRUE(sawCount);

    SendStringToModem("ATI\r");
    EXPECT_EQ(pty.ReadAtLeast(4), "ATI\r");
    EXPECT_TRUE(WaitUntil([] {
        for (auto &n : Recorder::Instance().Notes())
            if (n.code == FALCREST_NOTIFY_READ && n.count == 0)
                return true;
        return false;
    }));
    uint32_t status = 99;
    EXPECT_EQ(GetCommStatus(&status), 0); // a pty has no modem lines
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(ReleaseModem(), 0);
    EXPECT_EQ(SendStringToModem("x"), FALCREST_ERR_NOPORT);
}

// Runs the unload probe beside this program (tests/windows/exports) and
// returns its exit status, or -1 when it did not end within limitMs.
long RunProbe(const char *mode, const std::string &port, DWORD limitMs) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string command = self;
    command = "\"" + command.substr(0, command.find_last_of('\\') + 1) + "unload_probe.exe\" " +
              mode + " " + port;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return -2;
    long status = -1;
    if (WaitForSingleObject(process.hProcess, limitMs) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        status = long(code);
    } else {
        TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return status;
}

// Freeing the library, or ending the process, with a port open: both end
// within a bound (a thread that ends needs the loader lock that the
// unload holds), and both end-of-data pairs reach the line whole.
TEST(Dll, UnloadOrExitWithAPortOpenEndsPromptly) {
    for (const char *mode : {"free", "exit"}) {
        PtyPair pty;
        EXPECT_EQ(RunProbe(mode, pty.PortPath(), 20000), 0) << mode;
        EXPECT_EQ(pty.ReadAtLeast(4, 2000), "\x10\x03\x10\x03") << mode;
    }
}

} // namespace
