// Each checked rule catches the fault it is there for: the call the engine
// used to make is refused and reported, the call it makes now passes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <windows.h>

#include "../../../platform/win32/Win32Calls.h"
#include "PtyPair.h"
#include "StrictWin32.h"
#include "serial/EngineState.h"

using plat::checked::TakeBrokenRules;
using testing_support::PtyPair;

namespace {

int Ignore(uint32_t, uint32_t, uint32_t) {
    return 0;
}

int Open(const std::string &port) {
    return InitModem(reinterpret_cast<void *>(&Ignore), port.c_str(),
                     "baud=115200 octs=off odsr=off xon=off");
}

TEST(StrictRules, EqualStartAndStopCharactersAreRefused) {
    PtyPair pty;
    ASSERT_GT(Open(pty.PortPath()), 0);
    EXPECT_TRUE(TakeBrokenRules().empty());
    plat::Dcb dcb;
    ASSERT_TRUE(plat::GetCommState(idComDev, dcb));
    dcb.XonChar = dcb.XoffChar = 0; // what "xon=off" used to give
    EXPECT_FALSE(plat::SetCommState(idComDev, dcb));
    EXPECT_EQ(TakeBrokenRules().size(), 1u);
    ReleaseModem();
}

// COM10 and up are files without the device prefix; every port opens now.
TEST(StrictRules, PortsFromCom10NeedTheDevicePrefix) {
    const char *high = std::getenv("FALCREST_TEST_HIGH_PORT");
    ASSERT_TRUE(high && *high) << "the runner maps a port from COM10 up";
    HANDLE plain = plat::checked::CreateFileA(high, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    EXPECT_EQ(plain, INVALID_HANDLE_VALUE);
    EXPECT_EQ(TakeBrokenRules().size(), 1u);
    EXPECT_GT(Open(high), 0);
    EXPECT_TRUE(TakeBrokenRules().empty());
    ReleaseModem();
}

// The release of ReleaseModem waits for the workers' threads, which under
// the loader lock never end; the release on unload does not.
TEST(StrictRules, NoThreadIsAwaitedUnderTheLoaderLock) {
    PtyPair pty;
    ASSERT_GT(Open(pty.PortPath()), 0);
    {
        plat::LoaderLockScope loaderLock;
        ReleaseModem();
    }
    EXPECT_FALSE(TakeBrokenRules().empty());
    ASSERT_GT(Open(pty.PortPath()), 0);
    {
        plat::LoaderLockScope loaderLock;
        ReleaseOnUnload();
    }
    EXPECT_TRUE(TakeBrokenRules().empty());
    EXPECT_FALSE(PortIsOpen());
    ReleaseModem(); // joins what the unload left
}

} // namespace
