// Opening, exclusivity, and settings that must reach the device: checked with
// stty (and, for rates stty cannot show, with termios2 on the far end).
#include "PortFixture.h"
#include "Stty.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace {

using serialtest::PortTest;
using testing_support::SttyHas;

TEST(PortOpen, ExclusiveUntilClosedAndRefusesWhatIsNoPort) {
    testing_support::PtyPair pty;
    uint32_t error = 99;
    plat::PortHandle port = plat::OpenPort(pty.PortPath().c_str(), &error);
    ASSERT_GT(port, 0);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(plat::OpenPort(pty.PortPath().c_str(), &error), plat::kInvalidPort);
    EXPECT_EQ(error, plat::kErrAccessDenied);
    EXPECT_TRUE(plat::ClosePort(port));
    // Calls on a closed handle fail as an invalid handle.
    plat::Dcb dcb;
    uint32_t got = 7;
    char buf[4];
    EXPECT_FALSE(plat::GetCommState(port, dcb));
    EXPECT_EQ(plat::LastError(), plat::kErrInvalidHandle);
    EXPECT_FALSE(plat::ClearCommError(port, &got, nullptr));
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(plat::ReadPort(port, buf, 4, &got), plat::kErrInvalidHandle);

    const std::pair<const char *, uint32_t> refused[] = {
        {"/dev/no-such-port", plat::kErrFileNotFound},
        {"COM0", plat::kErrFileNotFound},
        {"/dev/null", plat::kErrNotSupported},
        {nullptr, plat::kErrInvalidParameter}};
    for (const auto &[path, expected] : refused) {
        EXPECT_EQ(plat::OpenPort(path, &error), plat::kInvalidPort);
        EXPECT_EQ(error, expected) << (path ? path : "(null)");
    }
}

// The port starts raw; each step changes the DCB and names what stty must
// then show, or is impossible (no words): refused, it changes nothing. A pty
// forces 8 bits without parity on itself, so size and parity enable are read
// back from the state instead.
TEST_F(PortTest, SettingsReachTheDeviceOrAreRefused) {
    plat::Dcb dcb;
    ASSERT_TRUE(plat::GetCommState(port, dcb));
    // A fresh port is binary, and its flow limits are a half and a quarter
    // of the line discipline's receive buffer, which the properties report.
    plat::CommProperties props;
    ASSERT_TRUE(plat::GetCommProperties(port, props));
    EXPECT_EQ(props.dwCurrentRxQueue, 4096u);
    EXPECT_EQ(std::vector<uint32_t>({dcb.fBinary, dcb.XonLim, dcb.XoffLim}),
              std::vector<uint32_t>({1, 2048, 1024}));
    using D = plat::Dcb &;
    const struct {
        void (*change)(D);
        std::vector<const char *> words;
    } steps[] = {
        {[](D) {},
         {"-icanon", "-echo", "-isig", "-opost", "-icrnl", "clocal", "cread", "ignbrk", "-brkint"}},
        {[](D d) {
             d.BaudRate = 9600, d.ByteSize = 8, d.Parity = plat::kNoParity;
             d.StopBits = plat::kOneStopBit, d.fInX = 1, d.fOutX = 0, d.fOutxCtsFlow = 1;
             d.XonChar = 17, d.XoffChar = 19;
         },
         {"9600", "ixoff", "-ixon", "crtscts", "cs8", "-parenb", "-cstopb", "^Q", "^S"}},
        {[](D d) { d.ByteSize = 9; }, {}},
        {[](D d) { d.BaudRate = 0; }, {}},
        {[](D d) { d.Parity = 5; }, {}},
        {[](D d) { d.StopBits = 3; }, {}},
        {[](D d) { d.ByteSize = 8, d.StopBits = plat::kOne5StopBits; }, {}},
        {[](D d) { d.ByteSize = 5, d.StopBits = plat::kTwoStopBits; }, {}},
        {[](D d) { d.fInX = d.fOutX = 0, d.XonChar = d.XoffChar = 0; }, {}},
        {[](D d) {
             d.BaudRate = 2400, d.ByteSize = 7, d.Parity = plat::kOddParity, d.fParity = 1;
             d.StopBits = plat::kTwoStopBits, d.fInX = 0, d.fOutX = 1, d.fOutxCtsFlow = 0;
             d.fRtsControl = plat::kRtsControlHandshake; // input flow by RTS: also CRTSCTS
             d.XonChar = 1, d.XoffChar = 2;
         },
         {"2400", "-ixoff", "ixon", "crtscts", "parodd", "cstopb", "inpck", "-cmspar", "^A", "^B"}},
        {[](D d) {
             d.Parity = plat::kSpaceParity, d.fParity = 0, d.fRtsControl = plat::kRtsControlEnable;
         },
         {"-parodd", "cmspar", "-crtscts", "-inpck"}},
        {[](D d) { d.ByteSize = 5, d.StopBits = plat::kOne5StopBits, d.Parity = 0; },
         {"cstopb"}}, // 5 bits take 1.5
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(&step - steps);
        plat::Dcb next = dcb;
        next.BaudRate = step.words.empty() ? 38400 : next.BaudRate; // would show if applied
        step.change(next);
        const std::string before = testing_support::Stty(pty);
        ASSERT_EQ(plat::SetCommState(port, next), !step.words.empty());
        const std::string after = testing_support::Stty(pty);
        if (step.words.empty()) {
            EXPECT_EQ(plat::LastError(), plat::kErrInvalidParameter);
            EXPECT_EQ(after, before);
            continue;
        }
        dcb = next;
        for (const char *word : step.words)
            EXPECT_TRUE(SttyHas(after, word)) << word << " in\n" << after;
        plat::Dcb back;
        ASSERT_TRUE(plat::GetCommState(port, back));
        EXPECT_EQ(std::vector<int>({back.ByteSize, back.Parity, back.StopBits}),
                  std::vector<int>({dcb.ByteSize, dcb.Parity, dcb.StopBits}));
    }

    // What someone else changes on the device shows through. (That what
    // termios cannot hold is kept beside it the connection test shows.)
    plat::Dcb back;
    testing_support::RunCommand("stty 4800 -ixon 2>/dev/null <&" + std::to_string(pty.FarFd()));
    ASSERT_TRUE(plat::GetCommState(port, back));
    EXPECT_EQ(back.BaudRate, 4800u);
    EXPECT_EQ(back.fOutX, 0u);
}

// A rate without a constant goes through termios2 (a 16550 makes 115200 / 5,
// and an FTDI adapter too); every rate with one reaches the device as stty
// shows it and reads back.
TEST_F(PortTest, RatesReachTheDevice) {
    plat::Dcb dcb;
    ASSERT_TRUE(plat::GetCommState(port, dcb));
    dcb.BaudRate = 23040;
    ASSERT_TRUE(plat::SetCommState(port, dcb));
    struct termios2 tio {};
    ASSERT_EQ(ioctl(pty.FarFd(), TCGETS2, &tio), 0); // the far end reads the port's settings
    EXPECT_EQ(tio.c_cflag & CBAUD, tcflag_t(BOTHER));
    EXPECT_EQ(tio.c_ospeed, 23040u);
    ASSERT_TRUE(plat::GetCommState(port, dcb));
    EXPECT_EQ(dcb.BaudRate, 23040u);
    for (uint32_t rate :
         {50,     75,     110,     134,     150,     200,     300,     600,     1200,    1800,
          2400,   4800,   9600,    19200,   38400,   57600,   115200,  230400,  460800,  500000,
          576000, 921600, 1000000, 1152000, 1500000, 2000000, 2500000, 3000000, 3500000, 4000000}) {
        dcb.BaudRate = rate;
        ASSERT_TRUE(plat::SetCommState(port, dcb));
        EXPECT_TRUE(SttyHas(testing_support::Stty(pty), "speed " + std::to_string(rate) + " baud"));
        plat::Dcb back;
        ASSERT_TRUE(plat::GetCommState(port, back));
        EXPECT_EQ(back.BaudRate, rate);
    }
}

TEST_F(PortTest, ModemLinesOfAPtyFailHonestly) {
    plat::Dcb dcb;
    ASSERT_TRUE(plat::GetCommState(port, dcb));
    dcb.fDtrControl = dcb.fRtsControl =
        plat::kRtsControlDisable;               // the line ioctls fail on a pty...
    EXPECT_TRUE(plat::SetCommState(port, dcb)); // ...which the state itself does not suffer
    EXPECT_FALSE(plat::EscapeCommFunction(port, plat::kSetDtr));
    EXPECT_EQ(plat::LastError(), plat::kErrNotSupported);
    uint32_t status = 99;
    EXPECT_FALSE(plat::GetCommModemStatus(port, &status));
    EXPECT_EQ(status, 0u);
    dcb.fRtsControl = plat::kRtsControlHandshake; // the line is the driver's, as on Windows
    ASSERT_TRUE(plat::SetCommState(port, dcb));
    EXPECT_FALSE(plat::EscapeCommFunction(port, plat::kClrRts));
    EXPECT_EQ(plat::LastError(), plat::kErrInvalidParameter);
    EXPECT_TRUE(plat::EscapeCommFunction(port, plat::kSetXon));
}

} // namespace
