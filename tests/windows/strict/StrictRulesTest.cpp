// Each checked rule catches the fault it is there for: the call is refused
// and reported. (That the engine keeps every rule is checked by every
// Windows test program: a test that broke one fails.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <windows.h>

#include "../../../platform/win32/Win32Calls.h"
#include "PtyPair.h"
#include "StrictWin32.h"
#include "serial/EngineState.h"

namespace {

int Ignore(uint32_t, uint32_t, uint32_t) {
    return 0;
}

TEST(StrictRules, EachBrokenRuleIsRefusedAndReported) {
    testing_support::PtyPair pty;
    const char *high = std::getenv("FALCREST_TEST_HIGH_PORT");
    ASSERT_TRUE(high && *high) << "the runner maps a port from COM10 up";
    const struct {
        const char *rule;
        std::function<bool()> fault; // true when the faulty call was refused
    } kRules[] = {
        {"equal XON and XOFF",
         [] {
             plat::Dcb dcb;
             plat::GetCommState(idComDev, dcb);
             dcb.XonChar = dcb.XoffChar = 0;
             return !plat::SetCommState(idComDev, dcb);
         }},
        {"a second immediate character while the first is pending",
         [] {
             plat::TransmitCommChar(idComDev, 'a');
             return !plat::TransmitCommChar(idComDev, 'b');
         }},
        {"COM10 without the device prefix", // which the backend supplies
         [high] {
             plat::PortHandle opened = plat::OpenPort(high);
             plat::ClosePort(opened);
             return opened != plat::kInvalidPort &&
                    plat::checked::CreateFileA(high, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                               OPEN_EXISTING, 0, nullptr) == INVALID_HANDLE_VALUE;
         }},
        {"a thread awaited under the loader lock",
         [] {
             plat::LoaderLockScope loaderLock;
             ReleaseModem();
             return true;
         }},
    };
    for (const auto &r : kRules) {
        // 300 baud: an immediate character stays pending for 37 ms.
        ASSERT_GT(InitModem(reinterpret_cast<void *>(&Ignore), pty.PortPath().c_str(),
                            "baud=300 octs=off odsr=off xon=off"),
                  0);
        EXPECT_TRUE(r.fault()) << r.rule;
        EXPECT_FALSE(plat::checked::TakeBrokenRules().empty()) << r.rule;
        ReleaseModem(); // also joins what the loader-lock release left
    }
}

} // namespace
