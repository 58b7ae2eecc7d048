// The mode-string grammar: each accepted string with the fields it changes
// in a distinctive starting DCB, and the refused strings. The whole DCB is
// compared, so a field changed that the string did not name shows up.
#include "platform/Serial.h"

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
    s << " baud=" << d.BaudRate << " size=" << int(d.ByteSize) << " parity=" << int(d.Parity)
      << " fParity=" << d.fParity << " stop=" << int(d.StopBits) << " outX=" << d.fOutX
      << " inX=" << d.fInX << " cts=" << d.fOutxCtsFlow << " dsr=" << d.fOutxDsrFlow
      << " dsrSens=" << d.fDsrSensitivity << " dtr=" << d.fDtrControl << " rts=" << d.fRtsControl
      << " rest=" << d.fTXContinueOnXoff << d.fBinary << d.fNull << d.XonChar << d.XoffChar
      << d.XonLim << "/" << d.XoffLim << d.EvtChar << d.DCBlength << " ";
    return s.str();
}

// The starting DCB shown with the fields of changes ("key=value ...") replaced.
std::string Expected(const std::string &changes) {
    std::string s = Show(Start());
    std::istringstream in(changes);
    for (std::string field; in >> field;) {
        size_t at = s.find(" " + field.substr(0, field.find('=') + 1)) + 1;
        s.replace(at, s.find(' ', at) - at, field);
    }
    return s;
}

// The older form always sets the flow-control fields: none, 'x' (XON/XOFF)
// or 'p' (hardware).
const std::string kNoFlow = "outX=0 inX=0 cts=0 dsr=0 dtr=1 rts=1 ";
const std::string kXonXoff = "outX=1 inX=1 cts=0 dsr=0 dtr=1 rts=1 ";
const std::string kHardware = "outX=0 inX=0 cts=1 dsr=1 dtr=2 rts=2 ";

TEST(DcbString, EveryRowChangesExactlyWhatItNames) {
    const std::pair<const char *, std::string> rows[] = {
        // Keyword form: every key and value, the two-digit speeds of the older
        // tools, 110 baud's two stop bits unless named, the last repeated key.
        {"baud=250000 parity=m data=5 stop=1.5 TO=OFF xon=on",
         "baud=250000 parity=3 size=5 stop=1 inX=1"},
        {"baud=96 parity=S odsr=on octs=off idsr=off dtr=on rts=off",
         "baud=9600 parity=4 dsr=1 cts=0 dsrSens=0 dtr=1 rts=0"},
        {"baud=15 parity=n dtr=hs rts=hs xon=off",
         "baud=150 parity=0 fParity=0 dtr=2 rts=2 outX=0"},
        {"baud=11 parity=E rts=TG", "baud=110 parity=2 stop=2"},
        {"stop=1 baud=300 baud=110", "baud=110 stop=0"},
        // Device names (COM1 to COM255) and blanks.
        {"COM1: baud=1200 parity=N data=8 stop=1", "baud=1200 parity=0 fParity=0 size=8 stop=0"},
        {"  com255 baud=2400\t data=6  ", "baud=2400 size=6"},
        {"COM2", ""},
        // Older form: empty fields are kept.
        {"COM1:9600, n, 8, 1,", kNoFlow + "baud=9600 parity=0 fParity=0 size=8 stop=0"},
        {"96,e,7,2,x", kXonXoff + "baud=9600 parity=2 size=7 stop=2"},
        {"19,O,8,1,P", kHardware + "baud=19200 size=8 stop=0"},
        {",,5,1.5", kNoFlow + "size=5 stop=1"},
        {"1200", kNoFlow + "baud=1200"},
        {"110,n,8", kNoFlow + "baud=110 parity=0 fParity=0 size=8 stop=2"},
    };
    for (const auto &[mode, changes] : rows) {
        Dcb got = Start();
        EXPECT_TRUE(plat::ParseModeString(mode, got)) << '"' << mode << '"';
        EXPECT_EQ(Show(got), Expected(changes)) << '"' << mode << '"';
    }
    // Refused strings leave the DCB as it was. The two forms do not mix, and
    // a bad field spoils the whole string.
    std::istringstream refused(
        "baud=|baud=0|baud=99999999999|speed=9600|baud 9600|parity=even|data=4|data=9|"
        "stop=3|stop=1.0|to=maybe|dtr=tg|rts=1|baud=9600,parity=n|baud=9600 9600,n,8,1|"
        "9600 n 8 1|9600,n,8,1,xp|9600,n,8,1,x,1|9600,z,8,1|COM0: baud=9600|"
        "COM256 baud=300|COMX baud=9600|COM1baud=9600|baud=9600 data=9");
    for (std::string mode; std::getline(refused, mode, '|');) {
        Dcb got = Start();
        EXPECT_FALSE(plat::ParseModeString(mode.c_str(), got)) << mode;
        EXPECT_EQ(Show(got), Show(Start())) << mode;
    }
    Dcb d;
    EXPECT_FALSE(plat::ParseModeString(nullptr, d));
    EXPECT_FALSE(plat::BuildCommDcb("baud=fast", d));
    EXPECT_EQ(plat::LastError(), plat::kErrInvalidParameter);
}

} // namespace
