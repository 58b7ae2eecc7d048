// The command interpreter and the state changes of the modem, driven with a
// fake host and a clock the test moves; DLE unshielding in each dialect and
// the page decoder, as a strict modem reads them.
#include "Modem.h"
#include "MhDecoder.h"
#include "Unshield.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace vmodem;

namespace {

const std::string kOk = "\r\nOK\r\n", kError = "\r\nERROR\r\n", kNoCarrier = "\r\nNO CARRIER\r\n";
const std::string kIdent = "\r\nQuenby Virtual Modem\r\n" + kOk, kConnect = "\r\nCONNECT\r\n";
const std::string D = "\x10", E = "\x03";
// A page of one white line and RTC's first EOLs.
const std::string kPage("\x00\x28\x9B\x15\x00\x08\x80\x00\x08\x80", 10);

// One step of a session: the clock moves by ms, then input arrives ("!ring"
// and "!drop" come from the line instead), and the modem answers output.
struct SStep {
    int ms;
    std::string input, output;
};

// A modem with a 100 ms guard time and its echo off, and the host it runs in.
class ModemTest : public ::testing::Test, public IModemHost {
protected:
    ModemTest()
        : modem(*this, [] {
              Registers r = DefaultRegisters();
              r[12] = 5;
              return r;
          }()) {
        Run({{0, "ATE0\r", "ATE0\r" + kOk}});
    }
    void SendToDte(std::string_view bytes) override { out.append(bytes); }
    void Event(const std::string &line) override {
        events.emplace(line.substr(0, line.find(' ')), line);
    }
    std::string Keep(const std::string &kind, const std::string &extension,
                     std::string_view content) override {
        return (kept[kind + "." + extension] = content, kind + "." + extension);
    }
    void Run(const std::vector<SStep> &steps) {
        for (const SStep &s : steps) {
            modem.Tick(now += std::chrono::milliseconds(s.ms));
            if (s.input == "!ring" || s.input == "!drop")
                s.input == "!ring" ? modem.Ring() : modem.DropCarrier();
            else
                modem.Receive(reinterpret_cast<const uint8_t *>(s.input.data()), s.input.size(),
                              now);
            EXPECT_EQ(std::exchange(out, {}), s.output) << "at " << s.input;
        }
    }
    std::string out;
    std::map<std::string, std::string> events, kept; // the first event of each kind
    CModem modem;
    Clock::time_point now = Clock::now();
};

} // namespace

TEST_F(ModemTest, CommandLinesResultsAndRegisters) {
    for (const char *line : {"ATK\r", "AT&\r", "ATI9\r", "ATS3=128\r", "ATS100=1\r", "ATS7\r"})
        Run({{0, line, kError}});
    const std::string longLine = "AT" + std::string(CModem::kMaxLine, 'E');
    Run({
        {0, "at v0 q0\r", "0\r"},
        // Seven bits count: A and T with the eighth bit set are still AT.
        {0, "\xC1\xD4V1 I 3\r",
         "\r\nQuenby Virtual Modem 1.0: data, fax class 1 and 2, voice\r\n" + kOk},
        // Mixed case is no prefix; junk before it is ignored; A/ repeats.
        {0, "aTI\r", ""},
        {0, "xyzA ATX\bI\r", kIdent},
        {0, "A/", kIdent},
        // The line limit counts what is kept: spaces do not count.
        {0, longLine + "   \r", kOk},
        {0, longLine + "E\r", kError},
        // Pieces make a line; only S3 ends it; a control character is ignored.
        {0, "A", ""},
        {0, "TI\n\x01", ""},
        {0, "\r", kIdent},
        {0, "AT\rATI\r", kOk}, // what came with the line, before its result, is ignored
        {0, "AT+FCLASS=2;+FLID=\" A; b \";+FLID?\r", "\r\n\" A; b \"\r\n" + kOk},
        {0, "ATS7=12S7?S2?\r", "\r\n012\r\n\r\n043\r\n" + kOk},
        {0, "ATV0S7?\r", "012\r\n0\r"},
        {0, "ATD7\r", "7\r"},
        {0, "ATQ1S7?\r", "012\r\n"}, // quiet drops result codes but not information text
        {0, "ATQ0V1S3=10S4=13\r", "\n\rOK\n\r"},
        {0, "AT\n", "\n\rOK\n\r"},
        {0, "ATZ\n", kOk}, // the start-up profile, not the factory values, and echo on
        {0, "ATS12?S7?E0\r", "ATS12?S7?E0\r\r\n005\r\n\r\n050\r\n" + kOk},
    });
}

TEST_F(ModemTest, CallsTakeTimeAndTheEscapeNeedsGuardTimes) {
    Run({
        {0, "ATDT 555-0106\r", "\r\nNO ANSWER\r\n"},
        {0, "ATD5551;\r", kOk},
        {0, "ATH\r", kOk},
        {0, "ATO\r", kNoCarrier},
        // The LF of CR LF does not abort a dial; the next character does,
        // even another LF.
        {0, "ATDP5551\r\n", ""},
        {1000, "\n", kNoCarrier},
        {0, "ATD5551\r", ""},
        {2000, "", "\r\nCONNECT 33600\r\n"},
        {0, "!drop", kNoCarrier},
        {0, "ATA\r", kNoCarrier},
        {0, "!ring", "\r\nRING\r\n"},
        {0, "ATS1?A\r", "\r\n001\r\n"},
        {1000, "!ring", "\r\nCONNECT 33600\r\n"}, // busy with a call: no ring
        // No silence before: the pluses are data; nor with data right after,
        // nor four of them.
        {0, "x+++", "x+++"},
        {150, "+++", "+++"},
        {0, "y", "y"},
        {150, "++++", "++++"},
        {150, "", ""},
        // Silence, three pluses each within the guard time, silence.
        {0, "+", "+"},
        {50, "++", "++"},
        {99, "", ""},
        {1, "", kOk},
        {0, "ATO\r", "\r\nCONNECT 33600\r\n"},
        {1000, "+++", "+++"},
        {1000, "ATZ\r", kOk + kOk},
        {0, "ATO\r", "ATO\r\r\nNO CARRIER\r\n"},
    });
}

TEST_F(ModemTest, TransfersNeedACallOrASelectedLine) {
    for (const char *line :
         {"AT+VTX\r", "AT+FCLASS=8;+VTX\r", "AT+FCLASS=1;+FTM=96\r", "AT+FCLASS=2;+FDT\r"})
        Run({{0, line, kError}});
    Run({
        // Class 1: the dial brings the far machine's DIS frame, shielded.
        {0, "AT+FCLASS=1;D5551\r", ""},
        {2000, "", kConnect + std::string("\xFF\x13\x80\x00\x4E\x74\x92\x67\x10\x03", 10) + kOk},
        {0, "AT+FTM=95\r", kError},
        {0, "AT+FTM=96\r", kConnect},
        {1000, "", ""}, // training, no data yet: no underrun
        {0, kPage, ""}, // a page whose data runs dry ends there, as an underrun
        {100, "", kOk},
        // Voice: a selected line; dropping the call deselects it.
        {0, "AT+FCLASS=8;+VLS=1;+VTX\r", kConnect},
        {0, "!drop", kNoCarrier},
        {0, "AT+VTX\r", kError},
    });
    EXPECT_EQ(kept["fax.pbm"], "P4\n1728 1\n" + std::string(216, '\0'));
    EXPECT_EQ(events["fax"], "fax file=fax.pbm g3=fax.g3 rows=1 bad=0 rtc=0 bytes=10 dropped=0 "
                             "stray=0 overrun=0 holds=0 ignored=0 underrun");
}

// A playback drains at the sample rate; the modem acts on the DTE's voice
// commands and holds it with XOFF; OK comes once the buffer is empty.
TEST_F(ModemTest, VoicePlaybackDrainsAtTheSampleRate) {
    Run({{0, "AT+FCLASS=8;+VSM=128,8000;+VLS=1;+VTX\r", kConnect}});
    Run({{0, std::string(700, 'a') + "\x10\x18" + std::string(800, 'b'), "\x13"}});
    EXPECT_EQ(modem.Acceptable(true), 0u);     // held
    EXPECT_GT(modem.Acceptable(false), 1000u); // a DTE that ignores XOFF keeps sending
    Run({
        {70, "", "\x11"}, // 560 of 800 sent: XON at the low mark
        {0, "\x10u\x10u\x10\x64\x10p", ""},
        {1000, "", ""}, // paused: nothing leaves
        {0, "\x10r" + std::string(1100, 'c') + "\x10\x03" + "AT\r", "\x13"},
        {100, "", "\x11"},
        {100, "", kOk},
    });
    EXPECT_EQ(kept["voice.raw"], std::string(800, 'b') + std::string(1024 - 240, 'c'));
    // The AT sent before the OK was not run.
    EXPECT_EQ(events["voice"], "voice file=voice.raw format=128 commands=6 bytes=1584 dropped=0 "
                               "stray=0 overrun=316 holds=2 ignored=3");
    EXPECT_NE(modem.Report().find("volume=1"), std::string::npos);
}

// Class 2.0 ends a page with DLE and the post-page message.
TEST_F(ModemTest, ClassTwoZeroSession) {
    Run({
        {0, "AT+FCLASS=2.0;+FCC=0,3;+FCC?\r", "\r\n0,3,0,2,0,0,0,0\r\n" + kOk},
        {0, "AT+FCC=2\r", kError},
        {0, "ATD5551\r", ""},
        {2000, "", "\r\n+FCO\r\n\r\n+FIS:1,5,0,2,0,0,0,0\r\n" + kOk},
        {0, "AT+FDT\r", "\r\n+FCS:0,3,0,2,0,0,0,0\r\n" + kConnect + "\x11"},
        {0, kPage + std::string("\x00\x08\x80\x10.", 5), ""},
        {100, "", "\r\n+FPS:1\r\n\r\n+FHS:0\r\n" + kOk},
        {0, "AT+FDT\r", kError}, // the session has ended
    });
    EXPECT_EQ(events["fax"], "fax file=fax.pbm g3=fax.g3 rows=1 bad=0 rtc=1 vr=normal bytes=13 "
                             "dropped=0 stray=0 overrun=0 holds=0 ignored=0");
}

// Fed in blocks of every size: DLE DLE is a DLE, the dialect's own pairs are
// acted on (shown as "<c>"), others deleted and counted; nothing after the
// end is read.
TEST(Unshield, EachDialectAsAModemReadsIt) {
    const std::tuple<EDialect, std::string, std::string, size_t> cases[] = {
        {EDialect::Fax, "a" + D + D + "b" + D + "\x18" + D + "," + D + D + D + E + "tail",
         "a" + D + "b" + D + "<" + E + ">", 2},
        {EDialect::FaxPostPage, "x" + D + D + D + ";" + "y" + D + "." + D + "a",
         "x" + D + "<;>y<.>", 1},
        {EDialect::Voice,
         D + "\x18" + D + "\x14" + D + "!" + D + "p" + D + "r" + D + "u" + D + "d" + D + "A" + D +
             "b" + D + D + D + E + "tail",
         "<\x18><\x14><!><p><r><u><d>" + D + "<" + E + ">", 2},
    };
    for (const auto &[dialect, input, expected, stray] : cases)
        for (size_t block : {1, 2, 3, 1000}) {
            CUnshielder u(dialect);
            std::vector<uint8_t> out;
            std::string data;
            uint8_t control = 0;
            for (size_t at = 0; at < input.size() && control != kEtx; out.clear()) {
                control = 0;
                at += u.Feed(reinterpret_cast<const uint8_t *>(input.data()) + at,
                             std::min(block, input.size() - at), out, control);
                data += std::string(out.begin(), out.end());
                data += control ? "<" + std::string(1, char(control)) + ">" : "";
            }
            EXPECT_EQ(data, expected) << int(dialect) << " block " << block;
            EXPECT_EQ(u.Stray(), stray) << int(dialect) << " block " << block;
        }
}

// Lines as they go on the line: EOL, code words, zero fill to a byte. A
// strict decoder drops every line that does not make exactly 1728 pels.
TEST(MhDecoder, BadLinesAreSkippedAndNamed) {
    const std::string eol = "000000000001";
    const char *lines[] = {
        "010011011 00110101",                // white 1728
        "010011011 000111",                  // bad: 1729 pels
        "00110101 00000000111",              // bad: no black word
        "010011011 00110101 1",              // bad: bits after 1728
        "00110101 0000001100101 0000110111", // black 1728
    };
    std::string bits;
    auto add = [&](std::string words, bool fill) {
        words.erase(std::remove(words.begin(), words.end(), ' '), words.end());
        bits += words;
        bits.resize(fill ? (bits.size() + 7) / 8 * 8 : bits.size(), '0');
    };
    for (const char *words : lines)
        add(eol + words, true);
    // An extra EOL is no RTC; a last line ending in zeros (black 1665, white
    // 63) runs straight into the RTC's, unfilled; what follows the RTC is
    // not decoded.
    add(eol + eol + "00110101 0000001100100 010 00110100" + eol + eol + eol + eol + eol + eol,
        false);
    add(eol + lines[0], true);
    std::vector<uint8_t> bytes((bits.size() + 7) / 8);
    for (size_t i = 0; i < bits.size(); ++i)
        bytes[i / 8] |= uint8_t((bits[i] == '1') << (i % 8));
    SFaxPage p = DecodeMhPage(bytes.data(), bytes.size());

    std::vector<uint8_t> white(216, 0), black(216, 0xFF), last(216, 0);
    std::fill(last.begin(), last.begin() + 208, 0xFF);
    last[208] = 0x80;
    EXPECT_EQ(p.rows, (std::vector<std::vector<uint8_t>>{white, black, last}));
    ASSERT_EQ(p.bad.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(p.bad[i].line, i + 2);
    EXPECT_NE(p.bad[1].reason.find("black"), std::string::npos);
    EXPECT_TRUE(p.rtc);
    EXPECT_GT(p.trailingOnes, 0u);
}
