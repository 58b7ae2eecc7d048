// The command interpreter and the state changes of the modem, driven with a
// fake host and a clock the test moves.
#include "Modem.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using namespace vmodem;
using namespace std::chrono_literals;

namespace {

class CFakeHost : public IModemHost {
public:
    void SendToDte(std::string_view bytes) override { out.append(bytes); }
    void Event(const std::string &line) override { events.push_back(line); }
    std::string Keep(const std::string &kind, const std::string &extension,
                     std::string_view content) override {
        std::string name = kind + "." + extension;
        kept[name] = std::string(content);
        return name;
    }
    std::string Take() {
        std::string t;
        t.swap(out);
        return t;
    }

    std::string out;
    std::vector<std::string> events;
    std::map<std::string, std::string> kept;
};

class ModemTest : public ::testing::Test {
protected:
    ModemTest() : modem(host, Profile()) {}
    static Registers Profile() {
        Registers r = DefaultRegisters();
        r[12] = 5; // 100 ms guard time
        return r;
    }
    // Feeds bytes at the test's clock and returns what the modem answered.
    std::string Feed(const std::string &bytes) {
        modem.Receive(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(), now);
        return host.Take();
    }
    // Moves the clock on and returns what the modem said meanwhile.
    std::string Advance(std::chrono::milliseconds by) {
        now += by;
        modem.Tick(now);
        return host.Take();
    }
    std::string Field(const std::string &event, const std::string &key) {
        for (const std::string &e : host.events)
            if (e.rfind(event, 0) == 0) {
                size_t at = e.find(" " + key + "=");
                return e.substr(at + key.size() + 2, e.find(' ', at + 1) - at - key.size() - 2);
            }
        return "?";
    }

    CFakeHost host;
    CModem modem;
    Clock::time_point now = Clock::now();
};

} // namespace

TEST_F(ModemTest, CommandLineRules) {
    EXPECT_EQ(Feed("ATE0V1\r"), "ATE0V1\r\r\nOK\r\n"); // echoed before E0 takes effect
    EXPECT_EQ(Feed("at v0 q0\r"), "0\r");
    // Seven bits count: A and T with the eighth bit set are still AT.
    EXPECT_EQ(Feed("\xC1\xD4V1 I 3\r"),
              "\r\nQuenby Virtual Modem 1.0: data, fax class 1 and 2, voice\r\n\r\nOK\r\n");
    // Mixed case is no prefix; junk before it is ignored; A/ repeats.
    EXPECT_EQ(Feed("aTI\r"), "");
    EXPECT_EQ(Feed("At I\r"), "");
    EXPECT_EQ(Feed("xyzA ATX\bI\r"), "\r\nQuenby Virtual Modem\r\n\r\nOK\r\n");
    EXPECT_EQ(Feed("A/"), "\r\nQuenby Virtual Modem\r\n\r\nOK\r\n");
    for (const char *bad : {"ATK\r", "AT&\r", "ATI9\r", "ATS3=128\r", "ATS100=1\r", "ATS7\r"})
        EXPECT_EQ(Feed(bad), "\r\nERROR\r\n") << bad;
    // The line limit counts what is kept: spaces do not count.
    EXPECT_EQ(Feed("AT" + std::string(CModem::kMaxLine, 'E') + "\r"), "\r\nOK\r\n");
    EXPECT_EQ(Feed("AT" + std::string(CModem::kMaxLine, 'E') + "   \r"), "\r\nOK\r\n");
    EXPECT_EQ(Feed("AT" + std::string(CModem::kMaxLine + 1, 'E') + "\r"), "\r\nERROR\r\n");
    // Pieces make a line; only S3 ends it; a control character is ignored.
    Feed("A");
    Feed("TI\n\x01");
    EXPECT_EQ(Feed("\r"), "\r\nQuenby Virtual Modem\r\n\r\nOK\r\n");
    // What came with the line, before its result, is ignored.
    EXPECT_EQ(Feed("AT\rATI\r"), "\r\nOK\r\n");
    // A quoted string keeps its spaces and its semicolons.
    EXPECT_EQ(Feed("AT+FCLASS=2;+FLID=\" A; b \";+FLID?\r"), "\r\n\" A; b \"\r\n\r\nOK\r\n");
}

TEST_F(ModemTest, NumericQuietAndRegisters) {
    Feed("ATE0\r");
    EXPECT_EQ(Feed("ATS7=12S7?S2?\r"), "\r\n012\r\n\r\n043\r\n\r\nOK\r\n");
    EXPECT_EQ(Feed("ATV0S7?\r"), "012\r\n0\r");
    EXPECT_EQ(Feed("ATD7\r"), "7\r");
    // Quiet drops result codes but not information text.
    EXPECT_EQ(Feed("ATQ1\r"), "");
    EXPECT_EQ(Feed("ATS7?\r"), "012\r\n");
    EXPECT_EQ(Feed("ATQ0V1S3=10S4=13\r"), "\n\rOK\n\r");
    // S3 is now the line terminator.
    EXPECT_EQ(Feed("AT\n"), "\n\rOK\n\r");
    EXPECT_EQ(Feed("ATZ\n"), "\r\nOK\r\n");
    EXPECT_EQ(modem.Register(12), 5); // the start-up profile, not the factory value
    EXPECT_EQ(modem.Register(7), 50);
}

TEST_F(ModemTest, CallsTakeTimeAndAnyCharacterAbortsThem) {
    Feed("ATE0\r");
    EXPECT_EQ(Feed("ATDT 555-0106\r"), "\r\nNO ANSWER\r\n");
    EXPECT_EQ(Feed("ATD5551;\r"), "\r\nOK\r\n");
    EXPECT_EQ(Feed("ATH\r"), "\r\nOK\r\n");
    EXPECT_EQ(Feed("ATO\r"), "\r\nNO CARRIER\r\n");
    // The LF of CR LF does not abort; the next character does.
    EXPECT_EQ(Feed("ATDP5551\r\n"), "");
    EXPECT_EQ(Advance(1000ms), "");
    EXPECT_EQ(Feed("x"), "\r\nNO CARRIER\r\n");
    EXPECT_EQ(Advance(3000ms), "");
    EXPECT_EQ(Feed("ATD5551\r"), "");
    EXPECT_EQ(Feed("\n\n"), "\r\nNO CARRIER\r\n"); // the second is not right after the CR
    EXPECT_EQ(Feed("ATD5551\r"), "");
    EXPECT_EQ(Advance(2000ms), "\r\nCONNECT 33600\r\n");
    EXPECT_EQ(modem.Report().substr(0, 12), "state=online");
    // An answer too; ATZ ends the call.
    EXPECT_TRUE(modem.DropCarrier());
    EXPECT_EQ(host.Take(), "\r\nNO CARRIER\r\n");
    EXPECT_EQ(Feed("ATA\r"), "\r\nNO CARRIER\r\n");
    EXPECT_TRUE(modem.Ring());
    EXPECT_EQ(host.Take(), "\r\nRING\r\n");
    EXPECT_EQ(Feed("ATS1?A\r"), "\r\n001\r\n");
    EXPECT_EQ(Advance(1000ms), "\r\nCONNECT 33600\r\n");
    EXPECT_FALSE(modem.Ring()); // busy with a call
    Advance(1000ms);
    Feed("+++");
    EXPECT_EQ(Advance(1000ms), "\r\nOK\r\n");
    EXPECT_EQ(Feed("ATZ\r"), "\r\nOK\r\n");
    EXPECT_EQ(Feed("ATO\r"), "ATO\r\r\nNO CARRIER\r\n");
}

TEST_F(ModemTest, EscapeNeedsGuardTimesOnBothSides) {
    Feed("ATE0D1\r");
    Advance(2000ms);
    // No silence before: the pluses are data.
    EXPECT_EQ(Feed("x+++"), "x+++");
    EXPECT_EQ(Advance(150ms), "");
    // Silence before, but data right after: still data.
    Feed("+++");
    Feed("y");
    EXPECT_EQ(Advance(150ms), "");
    // Four pluses are no escape either.
    now += 150ms;
    Feed("++++");
    EXPECT_EQ(Advance(150ms), "");
    // Silence, three pluses spread out but each within the guard time, silence.
    now += 150ms;
    Feed("+");
    now += 50ms;
    Feed("++");
    ASSERT_TRUE(modem.Deadline());
    EXPECT_EQ(*modem.Deadline(), now + 100ms);
    EXPECT_EQ(Advance(99ms), "");
    EXPECT_EQ(Advance(1ms), "\r\nOK\r\n");
    EXPECT_EQ(Feed("ATO\r"), "\r\nCONNECT 33600\r\n");
    EXPECT_EQ(Feed("data"), "data");
}

TEST_F(ModemTest, TransfersNeedACallOrASelectedLine) {
    Feed("ATE0\r");
    for (const char *line : {"AT+VTX\r", "AT+FCLASS=8;+VTX\r", "AT+FCLASS=1;+FTM=96\r",
                             "AT+FCLASS=2;+FDT\r", "AT+FCLASS=2.0;+FDT\r"})
        EXPECT_EQ(Feed(line), "\r\nERROR\r\n") << line;
    // Class 1: the dial brings the far machine's DIS frame, shielded.
    EXPECT_EQ(Feed("AT+FCLASS=1;D5551\r"), "");
    std::string dis = Advance(2000ms);
    EXPECT_EQ(dis.substr(0, 12), "\r\nCONNECT\r\n\xFF");
    EXPECT_EQ(dis.substr(dis.size() - 8), "\x10\x03\r\nOK\r\n");
    EXPECT_EQ(Feed("AT+FTM=95\r"), "\r\nERROR\r\n");
    EXPECT_EQ(Feed("AT+FTM=96\r"), "\r\nCONNECT\r\n");
    Feed(std::string("\x00\x28\x9B\x15\x00\x08\x80\x00\x08\x80\x00\x08\x80\x10\x03", 15));
    EXPECT_EQ(Advance(100ms), "\r\nOK\r\n");
    EXPECT_EQ(host.kept["fax.pbm"], "P4\n1728 1\n" + std::string(216, '\0'));
    // Voice: a selected line; ATH deselects it.
    EXPECT_EQ(Feed("AT+FCLASS=8;+VLS=1;+VTX\r"), "\r\nCONNECT\r\n");
    EXPECT_TRUE(modem.DropCarrier());
    host.Take();
    EXPECT_EQ(Feed("AT+VTX\r"), "\r\nERROR\r\n");
}

// A playback drains at the sample rate; the modem acts on the DTE's voice
// commands and holds it with XOFF; OK comes once the buffer is empty.
TEST_F(ModemTest, VoicePlaybackDrainsAtTheSampleRate) {
    Feed("ATE0\r");
    EXPECT_EQ(Feed("AT+FCLASS=8;+VSM=128,8000;+VLS=1;+VTX\r"), "\r\nCONNECT\r\n");
    EXPECT_EQ(modem.Acceptable(true), CLineBuffer::kCapacity);
    EXPECT_EQ(Feed(std::string(700, 'a') + "\x10\x18" + std::string(800, 'b')), "\x13");
    EXPECT_EQ(modem.Acceptable(true), 0u);     // held
    EXPECT_GT(modem.Acceptable(false), 1000u); // a DTE that ignores XOFF keeps sending
    EXPECT_EQ(Advance(70ms), "\x11");          // 560 of 800 sent: XON at the low mark
    Feed("\x10u\x10u\x10\x64\x10p");
    EXPECT_EQ(Advance(1000ms), ""); // paused: nothing leaves
    EXPECT_EQ(Feed("\x10r" + std::string(1100, 'c') +
                   "\x10\x03"
                   "AT\r"),
              "\x13");
    EXPECT_EQ(Advance(100ms), "\x11");
    EXPECT_EQ(Advance(100ms), "\r\nOK\r\n");
    std::string played = host.kept["voice.raw"];
    EXPECT_EQ(played, std::string(800, 'b') + std::string(1024 - 240, 'c'));
    EXPECT_EQ(Field("voice ", "commands"), "6");
    EXPECT_EQ(Field("voice ", "overrun"), std::to_string(1100 - (1024 - 240)));
    EXPECT_EQ(modem.Report().find("volume=1") != std::string::npos, true);
    // The AT sent before the OK was not run.
    EXPECT_EQ(Field("voice ", "ignored"), "3");
}

// Class 1: a page whose data runs dry ends there, as an underrun.
TEST_F(ModemTest, FaxPageUnderrun) {
    Feed("ATE0\r");
    Feed("AT+FCLASS=1;D5551\r");
    Advance(2000ms);
    EXPECT_EQ(Feed("AT+FTM=96\r"), "\r\nCONNECT\r\n");
    EXPECT_EQ(Advance(1000ms), ""); // training, no data yet: no underrun
    Feed(std::string("\x00\x28\x9B\x15\x00\x08\x80\x00\x08\x80", 10));
    EXPECT_EQ(Advance(100ms), "\r\nOK\r\n");
    EXPECT_EQ(Field("fax ", "rows"), "1");
    EXPECT_NE(host.events[host.events.size() - 2].find(" underrun"), std::string::npos);
}

// Class 2.0 ends a page with DLE and the post-page message.
TEST_F(ModemTest, ClassTwoZeroSession) {
    Feed("ATE0\r");
    EXPECT_EQ(Feed("AT+FCLASS=2.0;+FCC=0,3;+FCC?\r"), "\r\n0,3,0,2,0,0,0,0\r\n\r\nOK\r\n");
    EXPECT_EQ(Feed("AT+FCC=2\r"), "\r\nERROR\r\n");
    Feed("ATD5551\r");
    EXPECT_EQ(Advance(2000ms), "\r\n+FCO\r\n\r\n+FIS:1,5,0,2,0,0,0,0\r\n\r\nOK\r\n");
    EXPECT_EQ(Feed("AT+FDT\r"), "\r\n+FCS:0,3,0,2,0,0,0,0\r\n\r\nCONNECT\r\n\x11");
    Feed(std::string("\x00\x28\x9B\x15\x00\x08\x80\x00\x08\x80\x00\x08\x80\x10.", 15));
    EXPECT_EQ(Advance(100ms), "\r\n+FPS:1\r\n\r\n+FHS:0\r\n\r\nOK\r\n");
    EXPECT_EQ(Field("fax ", "vr"), "normal");
    EXPECT_EQ(Feed("AT+FDT\r"), "\r\nERROR\r\n"); // the session has ended
}
