// The mode-string grammar: each accepted string with how the DCB differs
// afterwards from a distinctive starting DCB, and the refused strings. The
// whole DCB is compared, so a field changed that the string did not name
// shows up as a difference.
#include "platform/Serial.h"

#include <functional>
#include <gtest/gtest.h>
#include <sstream>

namespace {

using plat::Dcb;

Dcb Start() {
    Dcb d;
    d.BaudRate = 1234, d.ByteSize = 7, d.Parity = plat::kOddParity, d.fParity = 1;
    d.StopBits = plat::kTwoStopBits, d.fOutX = 1, d.fInX = 0, d.fOutxCtsFlow = 1;
    d.fOutxDsrFlow = 0, d.fDsrSensitivity = 1, d.fDtrControl = plat::kDtrControlDisable;
    d.fRtsControl = plat::kRtsControlToggle, d.fTXContinueOnXoff = 1;
    d.XonChar = 'Q', d.XoffChar = 'S', d.XonLim = 11, d.XoffLim = 22, d.EvtChar = 'E';
    return d;
}

std::string Show(const Dcb &d) {
    std::ostringstream s;
    s << "baud=" << d.BaudRate << " size=" << int(d.ByteSize) << " parity=" << int(d.Parity)
      << " fParity=" << d.fParity << " stop=" << int(d.StopBits) << " outX=" << d.fOutX
      << " inX=" << d.fInX << " cts=" << d.fOutxCtsFlow << " dsr=" << d.fOutxDsrFlow
      << " dsrSens=" << d.fDsrSensitivity << " dtr=" << d.fDtrControl << " rts=" << d.fRtsControl
      << " txCont=" << d.fTXContinueOnXoff << " binary=" << d.fBinary << " null=" << d.fNull
      << " xonChar=" << int(d.XonChar) << " xoffChar=" << int(d.XoffChar) << " lims=" << d.XonLim
      << "/" << d.XoffLim << " evt=" << int(d.EvtChar) << " len=" << d.DCBlength;
    return s.str();
}

struct Row {
    const char *mode;
    std::function<void(Dcb &)> change; // how the DCB differs afterwards
};

void None(Dcb &) {}

// What the older form sets: speed, parity ('n' also clears fParity; 'o' is
// the start's), data bits and the stop-bit code (0 for each: not given), and
// always the flow-control fields: none, 'x' (XON/XOFF) or 'p' (hardware).
void Old(Dcb &d, uint32_t baud, char parity, int size, int stop, char flow = 0) {
    if (baud)
        d.BaudRate = baud;
    if (parity == 'n')
        d.Parity = plat::kNoParity, d.fParity = 0;
    else if (parity == 'e')
        d.Parity = plat::kEvenParity;
    if (size)
        d.ByteSize = uint8_t(size), d.StopBits = uint8_t(stop);
    d.fInX = d.fOutX = flow == 'x';
    d.fOutxCtsFlow = d.fOutxDsrFlow = flow == 'p';
    d.fDtrControl = flow == 'p' ? plat::kDtrControlHandshake : plat::kDtrControlEnable;
    d.fRtsControl = flow == 'p' ? plat::kRtsControlHandshake : plat::kRtsControlEnable;
}

const Row kRows[] = {
    // Keyword form: each key, and the two-digit speeds of the older tools.
    {"baud=250000", [](Dcb &d) { d.BaudRate = 250000; }},
    {"baud=96", [](Dcb &d) { d.BaudRate = 9600; }},
    {"baud=15", [](Dcb &d) { d.BaudRate = 150; }},
    {"baud=11", [](Dcb &d) { d.BaudRate = 110, d.StopBits = plat::kTwoStopBits; }},
    {"stop=1 baud=110", [](Dcb &d) { d.BaudRate = 110, d.StopBits = plat::kOneStopBit; }},
    {"parity=n", [](Dcb &d) { d.Parity = plat::kNoParity, d.fParity = 0; }},
    {"parity=E", [](Dcb &d) { d.Parity = plat::kEvenParity; }},
    {"parity=m", [](Dcb &d) { d.Parity = plat::kMarkParity; }},
    {"parity=S", [](Dcb &d) { d.Parity = plat::kSpaceParity; }},
    {"data=5", [](Dcb &d) { d.ByteSize = 5; }},
    {"stop=1.5", [](Dcb &d) { d.StopBits = plat::kOne5StopBits; }},
    {"TO=OFF", None},
    {"xon=on", [](Dcb &d) { d.fInX = d.fOutX = 1; }},
    {"odsr=on", [](Dcb &d) { d.fOutxDsrFlow = 1; }},
    {"octs=off", [](Dcb &d) { d.fOutxCtsFlow = 0; }},
    {"idsr=off", [](Dcb &d) { d.fDsrSensitivity = 0; }},
    {"dtr=on", [](Dcb &d) { d.fDtrControl = plat::kDtrControlEnable; }},
    {"dtr=hs", [](Dcb &d) { d.fDtrControl = plat::kDtrControlHandshake; }},
    {"rts=off", [](Dcb &d) { d.fRtsControl = plat::kRtsControlDisable; }},
    {"rts=hs", [](Dcb &d) { d.fRtsControl = plat::kRtsControlHandshake; }},
    {"rts=TG", None},
    // Whole strings: device names, blanks, the last of a repeated key wins.
    {"COM1: baud=1200 parity=N data=8 stop=1",
     [](Dcb &d) {
         d.BaudRate = 1200, d.Parity = 0, d.fParity = 0, d.ByteSize = 8, d.StopBits = 0;
     }},
    {"  com12 baud=2400\t data=6  ", [](Dcb &d) { d.BaudRate = 2400, d.ByteSize = 6; }},
    {"baud=300 baud=600", [](Dcb &d) { d.BaudRate = 600; }},
    {"", None},
    {"COM2", None},
    // Older form: the flow-control fields are always set.
    {"COM1:9600, n, 8, 1,", [](Dcb &d) { Old(d, 9600, 'n', 8, 0); }},
    {"96,e,7,2,x", [](Dcb &d) { Old(d, 9600, 'e', 7, 2, 'x'); }},
    {"19,O,8,1,P", [](Dcb &d) { Old(d, 19200, 'o', 8, 0, 'p'); }},
    {",,5,1.5", [](Dcb &d) { Old(d, 0, 0, 5, 1); }},
    {"1200", [](Dcb &d) { Old(d, 1200, 0, 0, 0); }},
    {"110,n,8", [](Dcb &d) { Old(d, 110, 'n', 8, 2); }},
};

// Refused strings leave the DCB as it was. The two forms do not mix, and a
// bad field spoils the whole string.
// clang-format off
const char *const kRefused[] = {
    "baud=", "baud=0", "baud=99999999999", "speed=9600", "baud 9600", "parity=even", "data=4",
    "data=9", "stop=3", "stop=1.0", "to=maybe", "dtr=tg", "rts=1", "baud=9600,parity=n",
    "baud=9600 9600,n,8,1", "9600 n 8 1", "9600,n,8,1,xp", "9600,n,8,1,x,1", "9600,z,8,1",
    "COM0: baud=9600", "COMX baud=9600", "COM1baud=9600", "baud=9600 data=9", nullptr};
// clang-format on

TEST(DcbString, EveryRowChangesExactlyWhatItNames) {
    for (const Row &row : kRows) {
        Dcb expected = Start();
        row.change(expected);
        Dcb got = Start();
        EXPECT_TRUE(plat::ParseModeString(row.mode, got)) << '"' << row.mode << '"';
        EXPECT_EQ(Show(got), Show(expected)) << '"' << row.mode << '"';
    }
    for (const char *mode : kRefused) {
        Dcb got = Start();
        EXPECT_FALSE(plat::ParseModeString(mode, got)) << (mode ? mode : "(null)");
        EXPECT_EQ(Show(got), Show(Start())) << (mode ? mode : "(null)");
    }
}

TEST(DcbString, BuildCommDcbReportsInvalidParameter) {
    Dcb d;
    EXPECT_FALSE(plat::BuildCommDcb("baud=fast", d));
    EXPECT_EQ(plat::LastError(), plat::kErrInvalidParameter);
}

} // namespace
