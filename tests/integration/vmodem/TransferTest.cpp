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

    // Sends a page after AT+FTM and returns the fax event's fields.
    std::map<std::string, std::string> SendPage(const std::string &data) {
        EXPECT_EQ(Ask("AT+FCLASS=1\r"), "\r\nOK\r\n");
        EXPECT_EQ(Ask("AT+FTM=96\r", "CONNECT\r\n"), "\r\nCONNECT\r\n");
        port.Write(data);
        EXPECT_EQ(port.ReadUntil("OK\r\n"), "\r\nOK\r\n");
        auto event = modem.WaitEvent("fax ");
        EXPECT_TRUE(event);
        return CVmodem::Fields(event.value_or(""));
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
    EXPECT_EQ(Ask("AT+FCLASS=1\r"), "\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+FTM=96\r", "CONNECT\r\n"), "\r\nCONNECT\r\n");
    std::string data = Doubled(g3) + kEndOfPage;
    for (size_t i = 0; i < data.size(); i += 7)
        port.Write(data.substr(i, 7));
    EXPECT_EQ(port.ReadUntil("OK\r\n"), "\r\nOK\r\n");
    auto fax = CVmodem::Fields(modem.WaitEvent("fax ").value_or(""));
    EXPECT_EQ(fax["bad"], "0");
    EXPECT_EQ(ReadWholeFile(fax["file"]), pbm);
    EXPECT_EQ(RunCommand("g3topbm -reversebits " + fax["g3"] + " 2>/dev/null"), pbm);
}

TEST_F(VmodemTransfer, FaxRawModeAndClassTwo) {
    // Line-by-line senders double nothing: "faxdle raw" keeps DLE DLE as two.
    modem.Ok("faxdle raw");
    EXPECT_EQ(Ask("AT+FCLASS=2\r"), "\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+FDT\r", "CONNECT\r\n"), "\r\nCONNECT\r\n");
    // A white line, RTC, and then DLEs that must stay as they are.
    const std::string coded =
        std::string("\x00\x28\x9B\x15\x00\x08\x80\x00\x08\x80\x00\x08\x80", 13);
    std::string page = coded + "\x10\x10\x10" + kEndOfPage;
    port.Write(page);
    EXPECT_EQ(port.ReadUntil("OK\r\n"), "\r\nOK\r\n");
    auto fax = CVmodem::Fields(modem.WaitEvent("fax ").value_or(""));
    EXPECT_EQ(ReadWholeFile(fax["g3"]), coded + "\x10\x10\x10");
    EXPECT_EQ(fax["rows"], "1");
    EXPECT_EQ(fax["rtc"], "1");
}

TEST_F(VmodemTransfer, VoiceFormatsUnshieldAsTheirSendersShield) {
    // Every byte value, DLE pairs of each kind, as each format's sender puts
    // them on the line, followed by the sender's end: DLE ETX DLE ETX, then
    // one more DLE ETX on its own.
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    struct SCase {
        int format;
        std::string onLine;
        std::string expected;
    };
    std::string pairs = "\x10\x18\x10\x72\x10\x41";
    const SCase cases[] = {
        // Format 7: as it is (a DLE DLE ETX would end it, so the data avoids it).
        {7, all + pairs, all + pairs},
        // Formats 8 and 4: DLE DLE is one DLE.
        {8, Doubled(all + pairs), all + pairs},
        {4, Doubled(all) + "\x10\x10\x41", all + "\x10\x41"},
        // Others: DLE DLE is one DLE, DLE + voice code stays as the pair.
        {1, Doubled(all) + "\x10\x18\x10\x72\x10\x10\x41", all + "\x10\x18\x10\x72\x10\x41"},
        {5, "\x10\x14\x10\x1C\x10\x70\x10\x12", "\x10\x14\x10\x1C\x10\x70\x10\x12"},
    };
    EXPECT_EQ(Ask("AT+FCLASS=8\r"), "\r\nOK\r\n");
    for (const SCase &c : cases) {
        EXPECT_EQ(Ask("AT+VSM=" + std::to_string(c.format) + ",8000\r"), "\r\nOK\r\n");
        EXPECT_EQ(Ask("AT+VTX\r", "CONNECT\r\n"), "\r\nCONNECT\r\n") << c.format;
        port.Write(c.onLine + "\x10\x03\x10\x03");
        EXPECT_EQ(port.ReadUntil("OK\r\n"), "\r\nOK\r\n") << c.format;
        port.Write("\x10\x03");
        auto voice = CVmodem::Fields(modem.WaitEvent("voice ").value_or(""));
        EXPECT_EQ(voice["format"], std::to_string(c.format));
        EXPECT_EQ(ReadWholeFile(voice["file"]), c.expected) << c.format;
    }
    // The trailing end markers were swallowed: no echo, no error.
    EXPECT_EQ(port.ReadFor(30), "");
    EXPECT_EQ(Ask("AT\r"), "\r\nOK\r\n");
    EXPECT_EQ(modem.Report()["voicefiles"], "5");
}

TEST_F(VmodemTransfer, DleCodesGoOutWhileVoiceArrives) {
    EXPECT_EQ(Ask("AT+FCLASS=8;+VTX\r", "CONNECT\r\n"), "\r\nCONNECT\r\n");
    port.Write("first half");
    modem.Ok("dle b");
    EXPECT_EQ(port.ReadUntil("b"), "\x10\x62");
    port.Write("second half\x10\x03");
    EXPECT_EQ(port.ReadUntil("OK\r\n"), "\r\nOK\r\n");
    auto voice = CVmodem::Fields(modem.WaitEvent("voice ").value_or(""));
    EXPECT_EQ(ReadWholeFile(voice["file"]), "first halfsecond half");
}

TEST_F(VmodemTransfer, StallBlocksTheWriterUntilResumed) {
    EXPECT_EQ(Ask("AT+FCLASS=8;+VSM=8;+VTX\r", "CONNECT\r\n"), "\r\nCONNECT\r\n");
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
}

TEST_F(VmodemTransfer, LargeStreamArrivesWhole) {
    // A few megabytes of voice data with many DLEs, in large writes: nothing
    // lost or doubled, and the modem answers afterwards.
    std::string data;
    for (size_t i = 0; data.size() < (3u << 20); ++i)
        data += char((i * 2654435761u) >> 13);
    EXPECT_EQ(Ask("AT+FCLASS=8;+VSM=8;+VTX\r", "CONNECT\r\n"), "\r\nCONNECT\r\n");
    port.Write(Doubled(data) + "\x10\x03");
    EXPECT_EQ(port.ReadUntil("OK\r\n", 30000), "\r\nOK\r\n");
    auto voice = CVmodem::Fields(modem.WaitEvent("voice ", 30000).value_or(""));
    EXPECT_EQ(voice["bytes"], std::to_string(data.size()));
    EXPECT_TRUE(ReadWholeFile(voice["file"]) == data);
    std::string rx = ReadWholeFile(modem.StoreDir() + "/rx.bin");
    EXPECT_EQ(rx.size(), std::stoull(modem.Report()["rx"]));
}
