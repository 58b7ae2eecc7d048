// Fax pages and voice data sent to vmodem, and the flow stall: what arrives
// must be unshielded and decoded exactly, whatever the block boundaries.
#include "VmodemClient.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <unistd.h>

using vmodem_client::CPort;
using vmodem_client::CVmodem;
using vmodem_client::ReadWholeFile;

namespace {

const std::string kDle = "\x10";
const std::string kEndOfPage = "\x10\x03";

// Packs '0'/'1' text into bytes, first bit least significant, zero fill;
// spaces between code words are for the reader.
std::string Pack(const std::string &text) {
    std::string bits;
    for (char c : text)
        if (c != ' ')
            bits += c;
    std::string out((bits.size() + 7) / 8, '\0');
    for (size_t i = 0; i < bits.size(); ++i)
        if (bits[i] == '1')
            out[i / 8] = char(out[i / 8] | (1 << (i % 8)));
    return out;
}

// One coded line: EOL, the words, fill to a byte boundary.
std::string Line(const std::string &words) {
    return Pack("000000000001 " + words);
}

std::string Doubled(const std::string &data) {
    std::string out;
    for (char c : data) {
        out += c;
        if (c == '\x10')
            out += c;
    }
    return out;
}

std::string RunCommand(const std::string &command) {
    std::string out;
    FILE *p = popen(command.c_str(), "r");
    if (!p)
        return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    pclose(p);
    return out;
}

class VmodemTransfer : public ::testing::Test {
protected:
    VmodemTransfer() : port(modem.PortPath()) { Ask("ATE0\r"); }

    std::string Ask(const std::string &line, const std::string &until = "OK\r\n") {
        port.Write(line);
        return port.ReadUntil(until);
    }

    // Dials a fax machine in class 1 and starts a page.
    void StartPage() {
        // Frame data from the modem is binary: no flow control while it comes.
        port.ObeyXoff(false);
        std::string call = Ask("AT+FCLASS=1;D5551\r");
        port.ObeyXoff(true);
        EXPECT_EQ(call.substr(0, 11), "\r\nCONNECT\r\n"); // then the far machine's DIS
        EXPECT_EQ(call.substr(call.size() - 8), "\x10\x03\r\nOK\r\n");
        EXPECT_EQ(Ask("AT+FTM=96\r", "CONNECT\r\n"), "\r\nCONNECT\r\n");
    }

    // Sends a page after AT+FTM and returns the fax event's fields.
    std::map<std::string, std::string> SendPage(const std::string &data) {
        StartPage();
        port.Write(data);
        EXPECT_EQ(port.ReadUntil("OK\r\n"), "\r\nOK\r\n");
        auto event = modem.WaitEvent("fax ");
        EXPECT_TRUE(event);
        return CVmodem::Fields(event.value_or(""));
    }

    // Selects the voice line and starts a playback.
    void StartPlayback() {
        EXPECT_EQ(Ask("AT+FCLASS=8;+VLS=1;+VTX\r", "CONNECT\r\n"), "\r\nCONNECT\r\n");
    }

    CVmodem modem;
    CPort port;
};

} // namespace

TEST_F(VmodemTransfer, FaxPageCodedByHandBecomesItsPbm) {
    std::string coded = Line("010011011 00110101") +                                   // all white
                        Line("00110101 0000001001010 0000110111 011010110 00110101") + // 640 black
                        Line("000111 010 011000 00110011") + // white 1, black 1, white 1664 + 62
                        Line("00110101 11 00000000111") +    // bad: no black word
                        Line("00110101 0000001100101 0000110111");   // all black
    coded += std::string("\x00\x08\x80\x00\x08\x80\x00\x08\x80", 9); // RTC
    auto fax = SendPage(Doubled(coded) + kEndOfPage);
    EXPECT_EQ(fax["rows"], "4");
    EXPECT_EQ(fax["bad"], "1");
    EXPECT_EQ(fax["rtc"], "1");
    auto bad = modem.TakeEvents();

    std::string rows;
    rows += std::string(216, '\0');
    rows += std::string(80, '\xff') + std::string(136, '\0');
    rows += std::string(1, '\x40') + std::string(215, '\0');
    rows += std::string(216, '\xff');
    EXPECT_EQ(ReadWholeFile(fax["file"]), "P4\n1728 4\n" + rows);
    // The kept page data, after unshielding, is exactly what was coded.
    EXPECT_EQ(ReadWholeFile(fax["g3"]), coded);
    // The bad line's report names it.
    bool named = false;
    for (const std::string &e : bad)
        named = named || e.rfind("fax-bad line=4 ", 0) == 0;
    EXPECT_TRUE(named);
    EXPECT_EQ(Ask("AT\r"), "\r\nOK\r\n");
}

TEST_F(VmodemTransfer, FaxPageFromAnOutsideEncoderRoundTrips) {
    // A page coded by netpbm's pbmtog3 (bits reversed to line order) comes
    // back as the same image; netpbm's decoder agrees with the kept data.
    std::string dir = modem.StoreDir() + "/..";
    std::string pbm = "P4\n1728 40\n";
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 216; ++x)
            pbm += char((x * 7 + y * 13) % 5 == 0 ? 0xF0 >> (y % 4) : (x + y) % 3 ? 0x00 : 0x81);
    {
        FILE *f = std::fopen((dir + "/page.pbm").c_str(), "wb");
        ASSERT_TRUE(f);
        std::fwrite(pbm.data(), 1, pbm.size(), f);
        std::fclose(f);
    }
    std::string g3 = RunCommand("pbmtog3 -reversebits " + dir + "/page.pbm 2>/dev/null");
    ASSERT_GT(g3.size(), 100u);
    // The page goes in small pieces so DLE pairs straddle reads.
    StartPage();
    std::string data = Doubled(g3) + kEndOfPage;
    for (size_t i = 0; i < data.size(); i += 7)
        port.Write(data.substr(i, 7));
    EXPECT_EQ(port.ReadUntil("OK\r\n"), "\r\nOK\r\n");
    auto fax = CVmodem::Fields(modem.WaitEvent("fax ").value_or(""));
    EXPECT_EQ(fax["bad"], "0");
    EXPECT_EQ(ReadWholeFile(fax["file"]), pbm);
    EXPECT_EQ(RunCommand("g3topbm -reversebits " + fax["g3"] + " 2>/dev/null"), pbm);
}

// Every byte value and a DLE pair of each kind, as a modem reads them: DLE
// DLE is a DLE, strays are deleted and counted, voice commands acted on; the
// DLE ETX after the end and the commands sent before OK are not run.
TEST_F(VmodemTransfer, VoiceDataAsAModemPlaysIt) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    StartPlayback();
    port.Write(Doubled(all) + "\x10\x41" + "\x10u" + Doubled(all) + "\x10\x03\x10\x03");
    EXPECT_EQ(port.ReadUntil("OK\r\n"), "\r\nOK\r\n");
    port.Write("\x10\x03");
    auto voice = CVmodem::Fields(modem.WaitEvent("voice ").value_or(""));
    EXPECT_EQ(ReadWholeFile(voice["file"]), all + all);
    EXPECT_EQ(voice["stray"], "1");
    EXPECT_EQ(voice["commands"], "1");
    EXPECT_EQ(modem.Report()["volume"], "1");
    EXPECT_EQ(port.ReadFor(30), "");
    EXPECT_EQ(Ask("AT\r"), "\r\nOK\r\n");
}

TEST_F(VmodemTransfer, DleCodesGoOutWhileVoiceArrives) {
    StartPlayback();
    port.Write("first half");
    modem.Ok("dle b");
    EXPECT_EQ(port.ReadUntil("b"), "\x10\x62");
    port.Write("second half\x10\x03");
    EXPECT_EQ(port.ReadUntil("OK\r\n"), "\r\nOK\r\n");
    auto voice = CVmodem::Fields(modem.WaitEvent("voice ").value_or(""));
    EXPECT_EQ(ReadWholeFile(voice["file"]), "first halfsecond half");
}

TEST_F(VmodemTransfer, StallBlocksTheWriterUntilResumed) {
    StartPlayback();
    modem.Ok("stall");
    unsigned long long before = std::stoull(modem.Report()["rx"]);
    // Write until the port refuses more: the pseudo-terminal's buffer is full.
    std::string chunk(4096, 'v');
    size_t written = 0;
    for (int i = 0; i < 10000; ++i) {
        ssize_t n = write(port.Fd(), chunk.data(), chunk.size());
        if (n < 0) {
            ASSERT_EQ(errno, EAGAIN);
            break;
        }
        written += size_t(n);
    }
    ASSERT_GT(written, 0u);
    ASSERT_LT(written, 10000u * chunk.size()) << "the writer never blocked";
    EXPECT_EQ(std::stoull(modem.Report()["rx"]), before);
    modem.Ok("resume");
    port.Write("\x10\x03");
    EXPECT_EQ(port.ReadUntil("OK\r\n", 10000), "\r\nOK\r\n");
    auto voice = CVmodem::Fields(modem.WaitEvent("voice ").value_or(""));
    EXPECT_EQ(voice["bytes"], std::to_string(written));
    EXPECT_EQ(voice["overrun"], "0");
}

// A stream far larger than the modem's buffer: a DTE that obeys XOFF loses
// nothing; one that does not overruns the buffer, and the loss is counted.
TEST_F(VmodemTransfer, FlowControlHoldsTheDte) {
    std::string data;
    for (size_t i = 0; data.size() < (96u << 10); ++i)
        data += char((i * 2654435761u) >> 13);
    for (bool obeys : {true, false}) {
        CPort dte(modem.PortPath(), obeys);
        dte.Write("AT+FCLASS=8;+VLS=1;+VTX\r");
        ASSERT_NE(dte.ReadUntil("CONNECT\r\n").find("CONNECT"), std::string::npos);
        dte.Write(Doubled(data) + "\x10\x03");
        EXPECT_NE(dte.ReadUntil("OK\r\n", 30000).find("OK"), std::string::npos);
        auto voice = CVmodem::Fields(modem.WaitEvent("voice ", 30000).value_or(""));
        if (obeys) {
            EXPECT_EQ(voice["overrun"], "0");
            EXPECT_TRUE(ReadWholeFile(voice["file"]) == data);
        } else {
            EXPECT_GT(std::stoul(voice["overrun"]), 0u);
            EXPECT_EQ(std::stoul(voice["overrun"]) + std::stoul(voice["bytes"]), data.size());
        }
        dte.Write("ATH\r");
        dte.ReadUntil("OK\r\n");
    }
}
