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

    CFakeHost host;
    CModem modem;
    Clock::time_point now = Clock::now();
};

} // namespace

TEST_F(ModemTest, SeveralCommandsPerLineAnyCase) {
    EXPECT_EQ(Feed("ATE0V1\r"), "ATE0V1\r\r\nOK\r\n"); // echoed before E0 takes effect
    EXPECT_EQ(Feed("at v0 q0\r"), "0\r");
    EXPECT_EQ(Feed("aTv1I3\r"), "\r\nQuenby Virtual Modem 1.0: data, fax class 1 and 2, voice\r\n"
                                "\r\nOK\r\n");
    EXPECT_EQ(Feed("ATE1\r"), "\r\nOK\r\n");
    EXPECT_EQ(Feed("ATK\r"), "ATK\r\r\nERROR\r\n");
    EXPECT_EQ(Feed("AT&\r"), "AT&\r\r\nERROR\r\n");
    EXPECT_EQ(Feed("ATI9\r"), "ATI9\r\r\nERROR\r\n");
}

TEST_F(ModemTest, LineEditingAndRepeat) {
    Feed("ATE0\r");
    // Backspace removes the X; junk before "AT" is ignored; an A alone is not a prefix.
    EXPECT_EQ(Feed("xyzA ATX\bI\r"), "\r\nQuenby Virtual Modem\r\n\r\nOK\r\n");
    EXPECT_EQ(Feed("A/"), "\r\nQuenby Virtual Modem\r\n\r\nOK\r\n");
    // A line that overflows the buffer is an error, not a truncated command.
    EXPECT_EQ(Feed("AT" + std::string(300, 'E') + "\r"), "\r\nERROR\r\n");
    // The line may arrive in pieces.
    Feed("A");
    Feed("T");
    EXPECT_EQ(Feed("I\r"), "\r\nQuenby Virtual Modem\r\n\r\nOK\r\n");
}

// Only S3 ends a line: LF and other control characters inside it are
// ignored, S5 still edits, and CR LF runs the line once.
TEST_F(ModemTest, OnlyS3EndsALine) {
    Feed("ATE0\r");
    EXPECT_EQ(Feed("ATI\n"), "");
    EXPECT_EQ(Feed("\x01\x1b"
                   "3\x08\r"),
              "\r\nQuenby Virtual Modem\r\n\r\nOK\r\n");
    EXPECT_EQ(Feed("AT\r\n"), "\r\nOK\r\n");
}

TEST_F(ModemTest, NumericQuietAndRegisters) {
    Feed("ATE0\r");
    EXPECT_EQ(Feed("ATS7=12S7?S2?\r"), "\r\n012\r\n\r\n043\r\n\r\nOK\r\n");
    EXPECT_EQ(Feed("ATV0S7?\r"), "012\r\n0\r");
    EXPECT_EQ(Feed("ATS100=1\r"), "4\r");
    EXPECT_EQ(Feed("ATS7=256\r"), "4\r");
    EXPECT_EQ(Feed("ATS7\r"), "4\r");
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

TEST_F(ModemTest, DialOutcomesByLastDigit) {
    Feed("ATE0\r");
    EXPECT_EQ(Feed("ATDT 555-0106\r"), "\r\nNO ANSWER\r\n");
    EXPECT_EQ(Feed("ATD5557\r"), "\r\nBUSY\r\n");
    EXPECT_EQ(Feed("ATD5558\r"), "\r\nNO CARRIER\r\n");
    EXPECT_EQ(Feed("ATD5559\r"), "\r\nNO DIALTONE\r\n");
    EXPECT_EQ(Feed("ATD5551;\r"), "\r\nOK\r\n");
    EXPECT_EQ(Feed("ATH\r"), "\r\nOK\r\n");
    EXPECT_EQ(Feed("ATO\r"), "\r\nNO CARRIER\r\n");
    EXPECT_EQ(Feed("ATDP5551\r"), "\r\nCONNECT 33600\r\n");
    EXPECT_EQ(modem.Report().substr(0, 12), "state=online");
}

TEST_F(ModemTest, EscapeNeedsGuardTimesOnBothSides) {
    Feed("ATE0D1\r");
    // No silence before: the pluses are data.
    EXPECT_EQ(Feed("x+++"), "x+++");
    now += 150ms;
    modem.Tick(now);
    EXPECT_EQ(host.Take(), "");
    // Silence before, but data right after: still data.
    Feed("+++");
    Feed("y");
    now += 150ms;
    modem.Tick(now);
    EXPECT_EQ(host.Take(), "");
    // Four pluses are no escape either.
    now += 150ms;
    Feed("++++");
    now += 150ms;
    modem.Tick(now);
    EXPECT_EQ(host.Take(), "");
    // Silence, three pluses spread out but each within the guard time, silence.
    now += 150ms;
    Feed("+");
    now += 50ms;
    Feed("++");
    ASSERT_TRUE(modem.Deadline());
    EXPECT_EQ(*modem.Deadline(), now + 100ms);
    now += 99ms;
    modem.Tick(now);
    EXPECT_EQ(host.Take(), "");
    now += 1ms;
    modem.Tick(now);
    EXPECT_EQ(host.Take(), "\r\nOK\r\n");
    EXPECT_EQ(Feed("ATO\r"), "\r\nCONNECT 33600\r\n");
    EXPECT_EQ(Feed("data"), "data");
}

TEST_F(ModemTest, RingsAndAnswer) {
    Feed("ATE0\r");
    EXPECT_EQ(Feed("ATA\r"), "\r\nNO CARRIER\r\n");
    EXPECT_TRUE(modem.Ring());
    EXPECT_EQ(host.Take(), "\r\nRING\r\n");
    EXPECT_EQ(Feed("ATS1?A\r"), "\r\n001\r\n\r\nCONNECT 33600\r\n");
    EXPECT_FALSE(modem.Ring()); // busy with a call
    EXPECT_TRUE(modem.DropCarrier());
    EXPECT_EQ(host.Take(), "\r\nNO CARRIER\r\n");
    Feed("ATS0=2\r");
    modem.Ring();
    EXPECT_EQ(host.Take(), "\r\nRING\r\n");
    modem.Ring();
    EXPECT_EQ(host.Take(), "\r\nRING\r\n\r\nCONNECT 33600\r\n");
}

TEST_F(ModemTest, VoiceTransferEndsAndTailIsIgnored) {
    Feed("ATE0\r");
    EXPECT_EQ(Feed("AT+VTX\r"), "\r\nERROR\r\n"); // not in voice class
    EXPECT_EQ(Feed("AT+FCLASS=8;+VSM=8,8000\r"), "\r\nOK\r\n");
    EXPECT_EQ(Feed("AT+VSM?;+FCLASS?\r"), "\r\n8\r\n\r\n8\r\n\r\nOK\r\n");
    EXPECT_EQ(Feed("AT+VTX\r"), "\r\nCONNECT\r\n");
    // The end marker and the repeats after it arrive in one block with the
    // next command: the repeats are dropped, the command runs.
    EXPECT_EQ(Feed("ab\x10\x10\x63\x10\x03\x10\x03\x10\x03\x41TI\r"),
              "\r\nOK\r\n\r\nQuenby Virtual Modem\r\n\r\nOK\r\n");
    EXPECT_EQ(host.kept["voice.raw"], "ab\x10\x63");
}

TEST_F(ModemTest, FaxNeedsItsClass) {
    Feed("ATE0\r");
    EXPECT_EQ(Feed("AT+FTM=96\r"), "\r\nERROR\r\n");
    EXPECT_EQ(Feed("AT+FCLASS=1\r"), "\r\nOK\r\n");
    EXPECT_EQ(Feed("AT+FTM=95\r"), "\r\nERROR\r\n");
    EXPECT_EQ(Feed("AT+FDT\r"), "\r\nERROR\r\n");
    EXPECT_EQ(Feed("AT+FTM=96\r"), "\r\nCONNECT\r\n");
    // All-white line, RTC, end of data.
    EXPECT_EQ(Feed(std::string("\x00\x28\x9B\x15\x00\x08\x80\x00\x08\x80\x00\x08\x80\x10\x03", 15)),
              "\r\nOK\r\n");
    EXPECT_EQ(host.kept["fax.pbm"], "P4\n1728 1\n" + std::string(216, '\0'));
    EXPECT_EQ(Feed("AT+FCLASS=2.0;+FDT\r"), "\r\nCONNECT\r\n");
    EXPECT_TRUE(modem.DropCarrier());
}
