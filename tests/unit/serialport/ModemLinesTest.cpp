// Modem lines, line errors and a stalled transmitter, played on a
// pseudo-terminal by the FakeModemLines shim that this test links.
#include "FakeModemLines.h"
#include "PortHelpers.h"

#include <chrono>
#include <sys/ioctl.h>

namespace {

class ModemLines : public serialtest::PortTest {
protected:
    void SetUp() override {
        FakeModemReset();
        PortTest::SetUp();
    }
    std::string Events() {
        char buf[512];
        FakeModemEvents(pty.PortPath().c_str(), buf, sizeof buf);
        return buf;
    }
    uint32_t Errors() {
        uint32_t errors = 99;
        EXPECT_TRUE(plat::ClearCommError(port, &errors, nullptr));
        return errors;
    }
    const char *path() { return pty.PortPath().c_str(); }
};

TEST_F(ModemLines, StateDrivesDtrAndRts) {
    plat::Dcb dcb;
    ASSERT_TRUE(plat::GetCommState(port, dcb));
    EXPECT_EQ(dcb.fDtrControl, plat::kDtrControlEnable); // as the device reported at open
    EXPECT_EQ(dcb.fRtsControl, plat::kRtsControlEnable);
    dcb.BaudRate = 9600;
    dcb.fDtrControl = plat::kDtrControlDisable;
    dcb.fRtsControl = plat::kRtsControlDisable;
    ASSERT_TRUE(plat::SetCommState(port, dcb));
    EXPECT_EQ(FakeModemOutputs(path()), 0);
    dcb.fDtrControl = plat::kDtrControlEnable;
    dcb.fRtsControl = plat::kRtsControlToggle; // no toggle mode here: RTS stays up
    ASSERT_TRUE(plat::SetCommState(port, dcb));
    EXPECT_EQ(FakeModemOutputs(path()), TIOCM_DTR | TIOCM_RTS);
}

TEST_F(ModemLines, EscapeFunctionsMoveTheLines) {
    ASSERT_TRUE(plat::EscapeCommFunction(port, plat::kClrDtr));
    EXPECT_EQ(FakeModemOutputs(path()), TIOCM_RTS);
    ASSERT_TRUE(plat::EscapeCommFunction(port, plat::kClrRts));
    EXPECT_EQ(FakeModemOutputs(path()), 0);
    ASSERT_TRUE(plat::EscapeCommFunction(port, plat::kSetRts));
    ASSERT_TRUE(plat::EscapeCommFunction(port, plat::kSetDtr));
    EXPECT_EQ(FakeModemOutputs(path()), TIOCM_DTR | TIOCM_RTS);

    // The engine's short break: DTR down, break, break off, DTR up.
    FakeModemReset();
    ASSERT_TRUE(plat::FlushFileBuffers(port));
    ASSERT_TRUE(plat::EscapeCommFunction(port, plat::kClrDtr));
    ASSERT_TRUE(plat::SetCommBreak(port));
    EXPECT_EQ(FakeModemBreak(path()), 1);
    ASSERT_TRUE(plat::ClearCommBreak(port));
    ASSERT_TRUE(plat::EscapeCommFunction(port, plat::kSetDtr));
    EXPECT_EQ(Events(), "DTR-,BRK+,BRK-,DTR+");
}

TEST_F(ModemLines, HandshakeLinesBelongToTheDriver) {
    plat::Dcb dcb;
    ASSERT_TRUE(plat::GetCommState(port, dcb));
    dcb.fDtrControl = plat::kDtrControlHandshake;
    dcb.fRtsControl = plat::kRtsControlHandshake;
    ASSERT_TRUE(plat::SetCommState(port, dcb));
    for (uint32_t f : {plat::kSetDtr, plat::kClrDtr, plat::kSetRts, plat::kClrRts}) {
        EXPECT_FALSE(plat::EscapeCommFunction(port, f)) << f;
        EXPECT_EQ(plat::LastError(), plat::kErrInvalidParameter);
    }
}

TEST_F(ModemLines, ModemStatusShowsTheFarLines) {
    uint32_t status = 0;
    ASSERT_TRUE(plat::GetCommModemStatus(port, &status));
    EXPECT_EQ(status, plat::kMsCtsOn | plat::kMsDsrOn);
    FakeModemSetInputs(path(), TIOCM_CAR | TIOCM_RNG);
    ASSERT_TRUE(plat::GetCommModemStatus(port, &status));
    EXPECT_EQ(status, plat::kMsRlsdOn | plat::kMsRingOn);
}

TEST_F(ModemLines, LineErrorsAreReportedOnceEach) {
    EXPECT_EQ(Errors(), 0u);
    FakeModemAddErrors(path(), 1, 0, 2, 0, 0);
    EXPECT_EQ(Errors(), plat::kCeOverrun | plat::kCeFrame);
    EXPECT_EQ(Errors(), 0u); // read and cleared
    FakeModemAddErrors(path(), 0, 3, 0, 1, 1);
    EXPECT_EQ(Errors(), plat::kCeRxParity | plat::kCeBreak | plat::kCeRxOver);
    EXPECT_EQ(Errors(), 0u);
}

TEST_F(ModemLines, ErrorsBeforeTheOpenDoNotCount) {
    plat::ClosePort(port);
    FakeModemAddErrors(path(), 5, 5, 5, 5, 5);
    port = plat::OpenPort(path());
    ASSERT_NE(port, plat::kInvalidPort);
    EXPECT_EQ(Errors(), 0u);
}

TEST_F(ModemLines, CtsLowHoldsOutputUnderCtsFlowControl) {
    plat::Dcb dcb;
    ASSERT_TRUE(plat::GetCommState(port, dcb));
    dcb.fOutxCtsFlow = 1;
    ASSERT_TRUE(plat::SetCommState(port, dcb));
    plat::ComStat status;
    ASSERT_TRUE(plat::ClearCommError(port, nullptr, &status));
    EXPECT_EQ(status.flags, 0u);
    FakeModemSetInputs(path(), TIOCM_DSR);
    ASSERT_TRUE(plat::ClearCommError(port, nullptr, &status));
    EXPECT_EQ(status.flags, 0x01u);
}

TEST_F(ModemLines, FlushGivesUpOnAStalledLine) {
    FakeModemSetOutQueue(path(), 10);
    plat::ComStat status;
    ASSERT_TRUE(plat::ClearCommError(port, nullptr, &status));
    EXPECT_EQ(status.cbOutQue, 10u);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(plat::FlushFileBuffers(port));
    EXPECT_EQ(plat::LastError(), plat::kErrTimeout);
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(ms, double(plat::kFlushLimitMs));
    EXPECT_LT(ms, plat::kFlushLimitMs + 3000.0);
    FakeModemSetOutQueue(path(), 0);
    EXPECT_TRUE(plat::FlushFileBuffers(port));
}

} // namespace
