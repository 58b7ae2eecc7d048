// The mode-string grammar: each row names a string, whether it is accepted,
// and how the DCB differs afterwards from a distinctive starting DCB. The
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
    d.BaudRate = 1234;
    d.ByteSize = 7;
    d.Parity = plat::kOddParity;
    d.fParity = 1;
    d.StopBits = plat::kTwoStopBits;
    d.fOutX = 1;
    d.fInX = 0;
    d.fOutxCtsFlow = 1;
    d.fOutxDsrFlow = 0;
    d.fDsrSensitivity = 1;
    d.fDtrControl = plat::kDtrControlDisable;
    d.fRtsControl = plat::kRtsControlToggle;
    d.fTXContinueOnXoff = 1;
    d.XonChar = 'Q';
    d.XoffChar = 'S';
    d.XonLim = 11;
    d.XoffLim = 22;
    d.EvtChar = 'E';
    return d;
}

std::string Show(const Dcb &d) {
    std::ostringstream s;
    s << "baud=" << d.BaudRate << " size=" << int(d.ByteSize) << " parity=" << int(d.Parity)
      << " fParity=" << d.fParity << " stop=" << int(d.StopBits) << " outX=" << d.fOutX
      << " inX=" << d.fInX << " cts=" << d.fOutxCtsFlow << " dsr=" << d.fOutxDsrFlow
      << " dsrSens=" << d.fDsrSensitivity << " dtr=" << d.fDtrControl << " rts=" << d.fRtsControl
      << " txCont=" << d.fTXContinueOnXoff << " binary=" << d.fBinary << " null=" << d.fNull
      << " xonChar=" << int(d.XonChar) << " xoffChar=" << int(d.XoffChar)
      << " lims=" << d.XonLim << "/" << d.XoffLim << " evt=" << int(d.EvtChar)
      << " len=" << d.DCBlength;
    return s.str();
}

struct Row {
    const char *mode;
    bool ok;
    std::function<void(Dcb &)> change; // how the DCB differs afterwards
};

void None(Dcb &) {}

// What the older form does to the flow-control fields.
void NoFlow(Dcb &d) {
    d.fInX = d.fOutX = 0;
    d.fOutxCtsFlow = d.fOutxDsrFlow = 0;
    d.fDtrControl = plat::kDtrControlEnable;
    d.fRtsControl = plat::kRtsControlEnable;
}
void XonFlow(Dcb &d) {
    NoFlow(d);
    d.fInX = d.fOutX = 1;
}
void HardwareFlow(Dcb &d) {
    NoFlow(d);
    d.fOutxCtsFlow = d.fOutxDsrFlow = 1;
    d.fDtrControl = plat::kDtrControlHandshake;
    d.fRtsControl = plat::kRtsControlHandshake;
}

const Row kRows[] = {
    // Keyword form: each key alone.
    {"baud=9600", true, [](Dcb &d) { d.BaudRate = 9600; }},
    {"baud=115200", true, [](Dcb &d) { d.BaudRate = 115200; }},
    {"baud=250000", true, [](Dcb &d) { d.BaudRate = 250000; }},
    {"baud=96", true, [](Dcb &d) { d.BaudRate = 9600; }},
    {"baud=19", true, [](Dcb &d) { d.BaudRate = 19200; }},
    {"baud=12", true, [](Dcb &d) { d.BaudRate = 1200; }},
    {"baud=24", true, [](Dcb &d) { d.BaudRate = 2400; }},
    {"baud=48", true, [](Dcb &d) { d.BaudRate = 4800; }},
    {"baud=30", true, [](Dcb &d) { d.BaudRate = 300; }},
    {"baud=60", true, [](Dcb &d) { d.BaudRate = 600; }},
    {"baud=15", true, [](Dcb &d) { d.BaudRate = 150; }},
    {"baud=11", true, [](Dcb &d) { d.BaudRate = 110, d.StopBits = plat::kTwoStopBits; }},
    {"baud=110 stop=1", true, [](Dcb &d) { d.BaudRate = 110, d.StopBits = plat::kOneStopBit; }},
    {"stop=1 baud=110", true, [](Dcb &d) { d.BaudRate = 110, d.StopBits = plat::kOneStopBit; }},
    {"parity=n", true, [](Dcb &d) { d.Parity = plat::kNoParity, d.fParity = 0; }},
    {"parity=E", true, [](Dcb &d) { d.Parity = plat::kEvenParity; }},
    {"parity=o", true, None},
    {"parity=m", true, [](Dcb &d) { d.Parity = plat::kMarkParity; }},
    {"parity=S", true, [](Dcb &d) { d.Parity = plat::kSpaceParity; }},
    {"data=5", true, [](Dcb &d) { d.ByteSize = 5; }},
    {"data=8", true, [](Dcb &d) { d.ByteSize = 8; }},
    {"stop=1", true, [](Dcb &d) { d.StopBits = plat::kOneStopBit; }},
    {"stop=1.5", true, [](Dcb &d) { d.StopBits = plat::kOne5StopBits; }},
    {"stop=2", true, None},
    {"to=on", true, None},
    {"TO=OFF", true, None},
    {"xon=on", true, [](Dcb &d) { d.fInX = d.fOutX = 1; }},
    {"xon=off", true, [](Dcb &d) { d.fInX = d.fOutX = 0; }},
    {"odsr=on", true, [](Dcb &d) { d.fOutxDsrFlow = 1; }},
    {"octs=off", true, [](Dcb &d) { d.fOutxCtsFlow = 0; }},
    {"idsr=off", true, [](Dcb &d) { d.fDsrSensitivity = 0; }},
    {"dtr=on", true, [](Dcb &d) { d.fDtrControl = plat::kDtrControlEnable; }},
    {"dtr=off", true, None},
    {"dtr=hs", true, [](Dcb &d) { d.fDtrControl = plat::kDtrControlHandshake; }},
    {"rts=on", true, [](Dcb &d) { d.fRtsControl = plat::kRtsControlEnable; }},
    {"rts=off", true, [](Dcb &d) { d.fRtsControl = plat::kRtsControlDisable; }},
    {"rts=hs", true, [](Dcb &d) { d.fRtsControl = plat::kRtsControlHandshake; }},
    {"rts=TG", true, None},
    // Keyword form: whole strings, device names, case and blanks.
    {"BAUD=9600 XON=ON", true, [](Dcb &d) { d.BaudRate = 9600, d.fInX = d.fOutX = 1; }},
    {"COM1: baud=1200 parity=N data=8 stop=1", true,
     [](Dcb &d) {
         d.BaudRate = 1200, d.Parity = 0, d.fParity = 0, d.ByteSize = 8, d.StopBits = 0;
     }},
    {"com12 baud=300", true, [](Dcb &d) { d.BaudRate = 300; }},
    {"  baud=2400\t data=6  ", true, [](Dcb &d) { d.BaudRate = 2400, d.ByteSize = 6; }},
    {"baud=115200 dtr=on rts=on octs=off odsr=off idsr=off xon=off", true,
     [](Dcb &d) {
         d.BaudRate = 115200, d.fDtrControl = 1, d.fRtsControl = 1, d.fOutxCtsFlow = 0;
         d.fOutxDsrFlow = 0, d.fDsrSensitivity = 0, d.fInX = d.fOutX = 0;
     }},
    {"baud=19200 parity=n data=8 stop=1 odsr=on", true,
     [](Dcb &d) {
         d.BaudRate = 19200, d.Parity = 0, d.fParity = 0, d.ByteSize = 8, d.StopBits = 0;
         d.fOutxDsrFlow = 1;
     }},
    {"baud=300 baud=600", true, [](Dcb &d) { d.BaudRate = 600; }}, // the last one wins
    {"", true, None},
    {"   ", true, None},
    {"COM1:", true, None},
    {"COM2", true, None},
    // Older form: the flow-control fields are always set.
    {"9600,n,8,1", true,
     [](Dcb &d) {
         d.BaudRate = 9600, d.Parity = 0, d.fParity = 0, d.ByteSize = 8, d.StopBits = 0;
         NoFlow(d);
     }},
    {"96,e,7,2,x", true,
     [](Dcb &d) {
         d.BaudRate = 9600, d.Parity = plat::kEvenParity, d.ByteSize = 7;
         XonFlow(d);
     }},
    {"COM2: 19,O,8,1,P", true,
     [](Dcb &d) {
         d.BaudRate = 19200, d.ByteSize = 8, d.StopBits = 0;
         HardwareFlow(d);
     }},
    {"COM1:9600,N,8,1", true,
     [](Dcb &d) {
         d.BaudRate = 9600, d.Parity = 0, d.fParity = 0, d.ByteSize = 8, d.StopBits = 0;
         NoFlow(d);
     }},
    {"9600, n, 8, 1", true,
     [](Dcb &d) {
         d.BaudRate = 9600, d.Parity = 0, d.fParity = 0, d.ByteSize = 8, d.StopBits = 0;
         NoFlow(d);
     }},
    {"1200", true, [](Dcb &d) { d.BaudRate = 1200, NoFlow(d); }},
    {",,5,1.5", true, [](Dcb &d) { d.ByteSize = 5, d.StopBits = 1, NoFlow(d); }},
    {"110,n,8", true,
     [](Dcb &d) {
         d.BaudRate = 110, d.Parity = 0, d.fParity = 0, d.ByteSize = 8, d.StopBits = 2;
         NoFlow(d);
     }},
    {"9600,n,8,1,", true,
     [](Dcb &d) {
         d.BaudRate = 9600, d.Parity = 0, d.fParity = 0, d.ByteSize = 8, d.StopBits = 0;
         NoFlow(d);
     }},
    // Rejected strings.
    {"baud=", false, None},
    {"baud=abc", false, None},
    {"baud=0", false, None},
    {"baud=-9600", false, None},
    {"baud=99999999999", false, None},
    {"speed=9600", false, None},
    {"baud 9600", false, None},
    {"=9600", false, None},
    {"parity=x", false, None},
    {"parity=even", false, None},
    {"data=4", false, None},
    {"data=9", false, None},
    {"stop=3", false, None},
    {"stop=1.0", false, None},
    {"to=maybe", false, None},
    {"xon=yes", false, None},
    {"dtr=tg", false, None},
    {"rts=1", false, None},
    {"baud=9600,parity=n", false, None},  // the two forms do not mix
    {"baud=9600 9600,n,8,1", false, None},
    {"9600 n 8 1", false, None},
    {"9600,n,8,1,q", false, None},
    {"9600,n,8,1,xp", false, None},
    {"9600,n,8,1,x,1", false, None},
    {"9600,z,8,1", false, None},
    {"9600,n,9,1", false, None},
    {"COM0: baud=9600", false, None},
    {"COM: baud=9600", false, None},
    {"COMX baud=9600", false, None},
    {"COM1baud=9600", false, None},
    {"COM999 baud=9600", false, None},
    {"baud=9600 data=9", false, None}, // a bad field spoils the whole string
};

TEST(DcbString, EveryRowChangesExactlyWhatItNames) {
    for (const Row &row : kRows) {
        Dcb expected = Start();
        row.change(expected);
        Dcb got = Start();
        EXPECT_EQ(plat::ParseModeString(row.mode, got), row.ok) << '"' << row.mode << '"';
        EXPECT_EQ(Show(got), Show(expected)) << '"' << row.mode << '"';
    }
}

TEST(DcbString, NullIsRejected) {
    Dcb d = Start();
    EXPECT_FALSE(plat::ParseModeString(nullptr, d));
    EXPECT_EQ(Show(d), Show(Start()));
}

TEST(DcbString, BuildCommDcbReportsInvalidParameter) {
    Dcb d;
    EXPECT_TRUE(plat::BuildCommDcb("baud=19200 parity=n data=8 stop=1 odsr=on", d));
    EXPECT_EQ(d.BaudRate, 19200u);
    EXPECT_FALSE(plat::BuildCommDcb("baud=fast", d));
    EXPECT_EQ(plat::LastError(), plat::kErrInvalidParameter);
}

} // namespace
