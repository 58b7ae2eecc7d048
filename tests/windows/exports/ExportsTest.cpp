// The library as a client sees it: Falcrest.dll loaded by name.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "PtyPair.h"
#include "Tamsel.h"
#include "falcrest/Falcrest.h"

namespace {

TEST(Dll, EnumComPortsListsTheMappedComPortsOnly) {
    char *list = nullptr;
    ASSERT_EQ(EnumComPorts(&list), 1);
    std::string ports = "," + std::string(list) + ",";
    Realloc(list, 0);
    EXPECT_NE(ports.find(",COM1,"), std::string::npos) << ports;
    EXPECT_NE(ports.find(",COM2,"), std::string::npos) << ports;
    EXPECT_EQ(ports.find_first_of(":L"), std::string::npos) << ports;
}

// The probe beside this program loads the library, opens the port, ends the
// data twice (ResetQueueAndRTC, AbortTransfer), then frees the library or
// exits with the port open. Both must end within a bound (a thread that ends
// needs the loader lock the unload holds), and both end-of-data pairs must
// reach the line whole.
TEST(Dll, UnloadOrExitWithAPortOpenEndsPromptly) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string probe = self;
    probe = "\"" + probe.substr(0, probe.find_last_of('\\') + 1) + "unload_probe.exe\" ";
    for (const char *mode : {"free", "exit"}) {
        testing_support::PtyPair pty;
        std::string command = probe + mode + " " + pty.PortPath();
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, &process));
        DWORD status = 1;
        if (WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0)
            TerminateProcess(process.hProcess, 1);
        GetExitCodeProcess(process.hProcess, &status);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        EXPECT_EQ(status, 0u) << mode;
        EXPECT_EQ(pty.ReadAtLeast(4, 2000), "\x10\x03\x10\x03") << mode;
    }
}

} // namespace
