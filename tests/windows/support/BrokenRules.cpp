// Fails a Windows test program whose code broke a Win32 rule that the test
// build checks (tests/windows/strict): each broken rule is printed with the
// test that broke it, and the program ends with status 1 once its report is
// written. Tests that break a rule on purpose take it back themselves.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "../strict/StrictWin32.h"

namespace {

struct BrokenRulesListener : ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo &test) override {
        for (const std::string &rule : plat::checked::TakeBrokenRules()) {
            std::printf("%s.%s broke a Win32 rule: %s\n", test.test_suite_name(), test.name(),
                        rule.c_str());
            broken = true;
        }
    }
    void OnTestProgramEnd(const ::testing::UnitTest &) override {
        if (broken)
            std::fflush(nullptr), std::_Exit(1);
    }
    bool broken = false;
};

struct Install {
    Install() { ::testing::UnitTest::GetInstance()->listeners().Append(new BrokenRulesListener); }
} gInstall;

} // namespace

// Referenced by the far end's set-up, so that every program with one links this.
namespace testing_support {
void WatchBrokenRules() {}
} // namespace testing_support
