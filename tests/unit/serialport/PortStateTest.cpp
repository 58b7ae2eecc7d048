// Opening, exclusivity, and settings that must reach the device: checked with
// stty (and, for rates stty cannot show, with termios2 on the far end).
#include "PortFixture.h"
#include "Stty.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace {

using serialtest::PortTest;
using testing_support::Stty;

TEST(PortOpen, OpensByPathExclusivelyUntilClosed) {
    testing_support::PtyPair pty;
    uint32_t error = 99;
    plat::PortHandle port = plat::OpenPort(pty.PortPath().c_str(), &error);
    ASSERT_NE(port, plat::kInvalidPort);
    EXPECT_GT(port, 0);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(plat::OpenPort(pty.PortPath().c_str(), &error), plat::kInvalidPort);
    EXPECT_EQ(error, plat::kErrAccessDenied);
    EXPECT_TRUE(plat::ClosePort(port));
    EXPECT_FALSE(plat::ClosePort(port));
    EXPECT_EQ(plat::LastError(), plat::kErrInvalidHandle);
    port = plat::OpenPort(pty.PortPath().c_str(), &error);
    EXPECT_NE(port, plat::kInvalidPort) << "error " << error;
    plat::ClosePort(port);
}

TEST(PortOpen, RefusesWhatIsNoPort) {
    uint32_t error = 0;
    EXPECT_EQ(plat::OpenPort("/dev/no-such-port", &error), plat::kInvalidPort);
    EXPECT_EQ(error, plat::kErrFileNotFound);
    EXPECT_EQ(plat::LastError(), plat::kErrFileNotFound);
    EXPECT_EQ(plat::OpenPort("COM0", &error), plat::kInvalidPort);
    EXPECT_EQ(error, plat::kErrFileNotFound);
    EXPECT_EQ(plat::OpenPort("/dev/null", &error), plat::kInvalidPort);
    EXPECT_EQ(error, plat::kErrNotSupported);
    EXPECT_EQ(plat::OpenPort(nullptr, &error), plat::kInvalidPort);
    EXPECT_EQ(error, plat::kErrInvalidParameter);
}

TEST(PortOpen, CallsOnAHandleThatIsNoPortFail) {
    for (plat::PortHandle bad :
         {plat::kInvalidPort, plat::PortHandle(0), plat::PortHandle(12345)}) {
        plat::Dcb dcb;
        plat::CommTimeouts t;
        plat::CommProperties props;
        uint32_t word = 7, got = 7;
        char buf[4];
        EXPECT_FALSE(plat::GetCommState(bad, dcb));
        EXPECT_FALSE(plat::SetCommState(bad, dcb));
        EXPECT_FALSE(plat::GetCommTimeouts(bad, t));
        EXPECT_FALSE(plat::GetCommProperties(bad, props));
        EXPECT_FALSE(plat::ClearCommError(bad, &word, nullptr));
        EXPECT_EQ(word, 0u);
        EXPECT_FALSE(plat::EscapeCommFunction(bad, plat::kSetDtr));
        EXPECT_FALSE(plat::FlushFileBuffers(bad));
        EXPECT_FALSE(plat::TransmitCommChar(bad, 'x'));
        EXPECT_EQ(plat::LastError(), plat::kErrInvalidHandle);
        EXPECT_EQ(plat::ReadPort(bad, buf, 4, &got), plat::kErrInvalidHandle);
        EXPECT_EQ(got, 0u);
        EXPECT_EQ(plat::WritePort(bad, "ab", 2, &got), plat::kErrInvalidHandle);
    }
}

TEST_F(PortTest, StartsRawWithoutEcho) {
    std::string s = Stty(pty);
    for (const char *word :
         {"-icanon", "-echo", "-isig", "-opost", "-icrnl", "clocal", "cread", "ignbrk", "-brkint"})
        EXPECT_TRUE(testing_support::SttyHas(s, word)) << word << " in\n" << s;
    // Bytes go through untouched: no echo back, no CR/LF translation.
    pty.Write("a\rb\n");
    std::string got;
    ASSERT_TRUE(testing_support::WaitUntil([&] { return InQueue() == 4; }));
    char buf[8];
    uint32_t n = 0;
    Timeouts(0xFFFFFFFF, 0, 0);
    EXPECT_EQ(plat::ReadPort(port, buf, 8, &n), 0u);
    EXPECT_EQ(std::string(buf, n), "a\rb\n");
    EXPECT_EQ(pty.ReadFor(20), "");
}

TEST_F(PortTest, SettingsReachTheDevice) {
    plat::Dcb dcb;
    ASSERT_TRUE(plat::GetCommState(port, dcb));
    dcb.BaudRate = 9600;
    dcb.ByteSize = 8;
    dcb.Parity = plat::kNoParity;
    dcb.StopBits = plat::kOneStopBit;
    dcb.fInX = 1;
    dcb.fOutX = 0;
    dcb.fOutxCtsFlow = 1;
    dcb.XonChar = 17;
    dcb.XoffChar = 19;
    ASSERT_TRUE(plat::SetCommState(port, dcb));
    std::string s = Stty(pty);
    EXPECT_NE(s.find("speed 9600 baud"), std::string::npos) << s;
    for (const char *word :
         {"ixoff", "-ixon", "crtscts", "cs8", "-parenb", "-cstopb", "start = ^Q", "stop = ^S"})
        EXPECT_NE(s.find(word), std::string::npos) << word << " in\n" << s;

    dcb.BaudRate = 2400;
    dcb.ByteSize = 7;
    dcb.Parity = plat::kOddParity;
    dcb.fParity = 1;
    dcb.StopBits = plat::kTwoStopBits;
    dcb.fInX = 0;
    dcb.fOutX = 1;
    dcb.fOutxCtsFlow = 0;
    dcb.fRtsControl = plat::kRtsControlHandshake; // input flow by RTS: also CRTSCTS
    dcb.XonChar = 1;
    dcb.XoffChar = 2;
    ASSERT_TRUE(plat::SetCommState(port, dcb));
    s = Stty(pty);
    EXPECT_NE(s.find("speed 2400 baud"), std::string::npos) << s;
    // A pty forces 8 bits without parity on itself (it has no line), so the
    // size and the parity enable are not looked for here.
    for (const char *word : {"-ixoff", "ixon", "crtscts", "parodd", "cstopb", "inpck", "-cmspar"})
        EXPECT_TRUE(testing_support::SttyHas(s, word)) << word << " in\n" << s;
    for (const char *word : {"start = ^A", "stop = ^B"})
        EXPECT_NE(s.find(word), std::string::npos) << word << " in\n" << s;
    plat::Dcb back;
    ASSERT_TRUE(plat::GetCommState(port, back));
    EXPECT_EQ(back.ByteSize, 7);
    EXPECT_EQ(back.Parity, plat::kOddParity);
    EXPECT_EQ(back.StopBits, plat::kTwoStopBits);

    dcb.Parity = plat::kSpaceParity;
    dcb.fRtsControl = plat::kRtsControlEnable;
    dcb.fParity = 0;
    ASSERT_TRUE(plat::SetCommState(port, dcb));
    s = Stty(pty);
    for (const char *word : {"-parodd", "cmspar", "-crtscts", "-inpck"})
        EXPECT_TRUE(testing_support::SttyHas(s, word)) << word << " in\n" << s;
    ASSERT_TRUE(plat::GetCommState(port, back));
    EXPECT_EQ(back.Parity, plat::kSpaceParity);
}

TEST_F(PortTest, RatesWithoutAConstantGoThroughTermios2) {
    plat::Dcb dcb;
    ASSERT_TRUE(plat::GetCommState(port, dcb));
    dcb.BaudRate = 23040; // a 16550 (115200 / 5) and an FTDI adapter make it too
    ASSERT_TRUE(plat::SetCommState(port, dcb));
    struct termios2 tio {};
    ASSERT_EQ(ioctl(pty.FarFd(), TCGETS2, &tio), 0); // the far end reads the port's settings
    EXPECT_EQ(tio.c_cflag & CBAUD, tcflag_t(BOTHER));
    EXPECT_EQ(tio.c_ospeed, 23040u);
    plat::Dcb back;
    ASSERT_TRUE(plat::GetCommState(port, back));
    EXPECT_EQ(back.BaudRate, 23040u);

    dcb.BaudRate = 115200; // and back to a constant
    ASSERT_TRUE(plat::SetCommState(port, dcb));
    EXPECT_NE(Stty(pty).find("speed 115200 baud"), std::string::npos);
}

TEST_F(PortTest, StateReadsBackWithWhatTermiosCannotHold) {
    plat::Dcb dcb;
    ASSERT_TRUE(plat::GetCommState(port, dcb));
    EXPECT_EQ(dcb.fBinary, 1u);
    dcb.BaudRate = 19200;
    dcb.ByteSize = 8;
    dcb.StopBits = plat::kOneStopBit;
    dcb.Parity = plat::kNoParity;
    dcb.fOutxDsrFlow = 1;
    dcb.fDsrSensitivity = 1;
    dcb.fDtrControl = plat::kDtrControlHandshake;
    dcb.XonLim = 128;
    dcb.XoffLim = 512;
    dcb.EvtChar = 'e';
    dcb.EofChar = 26;
    dcb.fOutX = 0;
    ASSERT_TRUE(plat::SetCommState(port, dcb));
    plat::Dcb back;
    ASSERT_TRUE(plat::GetCommState(port, back));
    EXPECT_EQ(back.BaudRate, 19200u);
    EXPECT_EQ(back.fOutxDsrFlow, 1u);
    EXPECT_EQ(back.fDsrSensitivity, 1u);
    EXPECT_EQ(back.fDtrControl, plat::kDtrControlHandshake);
    EXPECT_EQ(back.XonLim, 128);
    EXPECT_EQ(back.XoffLim, 512);
    EXPECT_EQ(back.EvtChar, 'e');
    EXPECT_EQ(back.EofChar, 26);

    // What someone else changes on the device shows through.
    // (A real device adjusts what stty asked for, which stty grumbles about.)
    testing_support::RunCommand("stty 4800 ixon 2>/dev/null <&" + std::to_string(pty.FarFd()));
    ASSERT_TRUE(plat::GetCommState(port, back));
    EXPECT_EQ(back.BaudRate, 4800u);
    EXPECT_EQ(back.fOutX, 1u);
}

TEST_F(PortTest, ImpossibleSettingsAreRefusedAndChangeNothing) {
    plat::Dcb dcb;
    ASSERT_TRUE(plat::GetCommState(port, dcb));
    dcb.BaudRate = 9600;
    ASSERT_TRUE(plat::SetCommState(port, dcb));
    std::string before = Stty(pty);

    auto refused = [&](auto change) {
        plat::Dcb bad = dcb;
        bad.BaudRate = 38400; // would show if anything were applied
        change(bad);
        EXPECT_FALSE(plat::SetCommState(port, bad));
        EXPECT_EQ(plat::LastError(), plat::kErrInvalidParameter);
        EXPECT_EQ(Stty(pty), before);
    };
    refused([](plat::Dcb &d) { d.ByteSize = 9; });
    refused([](plat::Dcb &d) { d.ByteSize = 4; });
    refused([](plat::Dcb &d) { d.BaudRate = 0; });
    refused([](plat::Dcb &d) { d.Parity = 5; });
    refused([](plat::Dcb &d) { d.StopBits = 3; });
    refused([](plat::Dcb &d) { d.ByteSize = 8, d.StopBits = plat::kOne5StopBits; });
    refused([](plat::Dcb &d) { d.ByteSize = 5, d.StopBits = plat::kTwoStopBits; });
    refused([](plat::Dcb &d) { d.fInX = 1, d.XonChar = d.XoffChar = 17; });
    refused([](plat::Dcb &d) { d.fInX = d.fOutX = 0, d.XonChar = d.XoffChar = 0; });

    plat::Dcb five = dcb; // 5 data bits take 1.5 stop bits
    five.ByteSize = 5;
    five.StopBits = plat::kOne5StopBits;
    EXPECT_TRUE(plat::SetCommState(port, five));
    plat::Dcb back;
    ASSERT_TRUE(plat::GetCommState(port, back));
    EXPECT_EQ(back.StopBits, plat::kOne5StopBits);
}

TEST_F(PortTest, ModemLinesOfAPtyFailHonestly) {
    plat::Dcb dcb;
    ASSERT_TRUE(plat::GetCommState(port, dcb));
    dcb.fDtrControl = plat::kDtrControlDisable; // the line ioctls fail on a pty...
    dcb.fRtsControl = plat::kRtsControlDisable;
    EXPECT_TRUE(plat::SetCommState(port, dcb)); // ...which the state itself does not suffer
    EXPECT_FALSE(plat::EscapeCommFunction(port, plat::kSetDtr));
    EXPECT_EQ(plat::LastError(), plat::kErrNotSupported);
    EXPECT_FALSE(plat::EscapeCommFunction(port, plat::kClrRts));
    EXPECT_EQ(plat::LastError(), plat::kErrNotSupported);
    uint32_t status = 99;
    EXPECT_FALSE(plat::GetCommModemStatus(port, &status));
    EXPECT_EQ(status, 0u);
    EXPECT_FALSE(plat::EscapeCommFunction(port, 7));
    EXPECT_EQ(plat::LastError(), plat::kErrInvalidParameter);
    dcb.fRtsControl = plat::kRtsControlHandshake; // the line is the driver's, as on Windows
    ASSERT_TRUE(plat::SetCommState(port, dcb));
    EXPECT_FALSE(plat::EscapeCommFunction(port, plat::kClrRts));
    EXPECT_EQ(plat::LastError(), plat::kErrInvalidParameter);
    EXPECT_TRUE(plat::EscapeCommFunction(port, plat::kSetXon));
    EXPECT_TRUE(plat::DisableStatusInsertion(port));
}

TEST_F(PortTest, QueuesAreTheKernelsBuffers) {
    plat::CommProperties props;
    ASSERT_TRUE(plat::GetCommProperties(port, props));
    EXPECT_EQ(props.dwMaxRxQueue, 4096u);
    EXPECT_EQ(props.dwCurrentRxQueue, props.dwMaxRxQueue);
    EXPECT_GE(props.dwCurrentTxQueue, 4096u);
    EXPECT_EQ(props.dwCurrentTxQueue, props.dwMaxTxQueue);
    EXPECT_TRUE(plat::SetupComm(port, 1024, 1024));
    EXPECT_TRUE(plat::SetupComm(port, props.dwMaxRxQueue, props.dwMaxTxQueue));
    EXPECT_FALSE(plat::SetupComm(port, props.dwMaxRxQueue + 1, 1024));
    EXPECT_EQ(plat::LastError(), plat::kErrInvalidParameter);
}

TEST_F(PortTest, StatusCountsWhatWaits) {
    uint32_t errors = 99;
    plat::ComStat status;
    ASSERT_TRUE(plat::ClearCommError(port, &errors, &status));
    EXPECT_EQ(errors, 0u); // a pty keeps no error counters
    EXPECT_EQ(status.cbInQue, 0u);
    EXPECT_EQ(status.cbOutQue, 0u);
    EXPECT_EQ(status.flags, 0u);
    pty.Write("hello");
    EXPECT_TRUE(testing_support::WaitUntil([&] { return InQueue() == 5; }));
    EXPECT_TRUE(plat::ClearCommError(port, nullptr, nullptr));
}

} // namespace
