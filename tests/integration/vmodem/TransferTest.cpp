// vmodem spoken to over its port and its control socket: commands in real
// time, fax pages and voice data that must arrive unshielded and decoded
// exactly whatever the block boundaries, flow control, and its process life.
#include "VmodemClient.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using vmodem_client::CPort;
using vmodem_client::CVmodem;
using vmodem_client::ReadWholeFile;

namespace {

std::string RunCommand(const std::string &command) {
    std::string out;
    FILE *p = popen(command.c_str(), "r");
    char buf[4096];
    for (size_t n; p && (n = fread(buf, 1, sizeof buf, p)) > 0;)
        out.append(buf, n);
    if (p)
        pclose(p);
    return out;
}

// A vmodem with a 100 ms escape guard time and a port opened on it.
class Vmodem : public ::testing::Test {
protected:
    Vmodem() : modem({"--set", "12=5"}), port(modem.PortPath()) {}

    std::string Ask(const std::string &line, const std::string &until = "OK\r\n") {
        port.Write(line);
        return port.ReadUntil(until);
    }
    std::map<std::string, std::string> Event(const std::string &kind) {
        return CVmodem::Fields(modem.WaitEvent(kind + " ", 30000).value_or(""));
    }

    CVmodem modem;
    CPort port;
};

} // namespace

TEST_F(Vmodem, CommandsRingsAndTheEscapeInRealTime) {
    EXPECT_EQ(Ask("ATI\r"), "ATI\r\r\nQuenby Virtual Modem\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("ATE0S7=30\r"), "ATE0S7=30\r\r\nOK\r\n");
    EXPECT_EQ(modem.Ok("reg 7"), "30");
    modem.Ok("ring 2");
    EXPECT_EQ(port.ReadUntil("RING\r\n\r\nRING\r\n"), "\r\nRING\r\n\r\nRING\r\n");
    EXPECT_EQ(Ask("ATA\r", "CONNECT 33600\r\n"), "\r\nCONNECT 33600\r\n");
    EXPECT_EQ(modem.Command("ring").substr(0, 3), "err");
    port.Write("a+++b");
    EXPECT_EQ(port.ReadUntil("a+++b"), "a+++b");
    // Silence for the guard time, the escape, and OK after another one.
    port.ReadFor(150);
    port.Write("+++");
    EXPECT_EQ(port.ReadUntil("OK\r\n"), "+++\r\nOK\r\n");
    EXPECT_EQ(modem.Report()["state"], "command");
    EXPECT_EQ(Ask("ATO\r", "CONNECT 33600\r\n"), "\r\nCONNECT 33600\r\n");
    modem.Ok("hangup");
    EXPECT_EQ(port.ReadUntil("NO CARRIER\r\n"), "\r\nNO CARRIER\r\n");
    // What the control side sends reaches the port as it is.
    EXPECT_EQ(modem.Ok("inject 10 62 41"), "3");
    EXPECT_EQ(port.ReadUntil("A"), "\x10\x62\x41");
    modem.Ok("dle s#");
    modem.Ok(R"(send OK\r\n\x10\x03)");
    EXPECT_EQ(port.ReadUntil("\x03"), "\x10s\x10#OK\r\n\x10\x03");
    for (const char *bad : {"inject 1", "inject zz", R"(send \q)", "frobnicate"})
        EXPECT_EQ(modem.Command(bad).substr(0, 4), "err ") << bad;
}

TEST_F(Vmodem, FaxPageFromAnOutsideEncoderRoundTrips) {
    // A page coded by netpbm's pbmtog3 (bits reversed to line order) comes
    // back as the same image; netpbm's decoder agrees with the kept data.
    std::string pbm = "P4\n1728 40\n", file = modem.StoreDir() + "/../page.pbm";
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 216; ++x)
            pbm += char((x * 7 + y * 13) % 5 == 0 ? 0xF0 >> (y % 4) : (x + y) % 3 ? 0x00 : 0x81);
    std::ofstream(file, std::ios::binary) << pbm;
    std::string g3 = RunCommand("pbmtog3 -reversebits " + file + " 2>/dev/null");
    ASSERT_GT(g3.size(), 100u);
    port.Write("ATE0\r");
    port.ReadUntil("OK\r\n");
    // Frame data from the modem is binary: no flow control while it comes.
    port.ObeyXoff(false);
    std::string call = Ask("AT+FCLASS=1;D5551\r");
    port.ObeyXoff(true);
    EXPECT_EQ(call.substr(0, 11), "\r\nCONNECT\r\n"); // then the far machine's DIS
    EXPECT_EQ(call.substr(call.size() - 8), "\x10\x03\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+FTM=96\r", "CONNECT\r\n"), "\r\nCONNECT\r\n");
    // The page goes in small pieces so DLE pairs straddle reads.
    std::string data;
    for (char c : g3)
        data += c == '\x10' ? "\x10\x10" : std::string(1, c);
    data += "\x10\x03";
    for (size_t i = 0; i < data.size(); i += 7)
        port.Write(data.substr(i, 7));
    EXPECT_EQ(port.ReadUntil("OK\r\n"), "\r\nOK\r\n");
    auto fax = Event("fax");
    EXPECT_EQ(fax["bad"], "0");
    EXPECT_EQ(ReadWholeFile(fax["file"]), pbm);
    EXPECT_EQ(RunCommand("g3topbm -reversebits " + fax["g3"] + " 2>/dev/null"), pbm);
}

// A DTE that ignores XOFF overruns the modem's buffer, and the loss is
// counted. (One that obeys it loses nothing: the voice playback tests.)
TEST_F(Vmodem, OverrunIsCounted) {
    std::string data(96u << 10, 'v');
    port.ObeyXoff(false);
    EXPECT_EQ(Ask("ATE0+FCLASS=8;+VLS=1;+VTX\r", "CONNECT\r\n"),
              "ATE0+FCLASS=8;+VLS=1;+VTX\r\r\nCONNECT\r\n");
    port.Write(data + "\x10\x03");
    EXPECT_NE(port.ReadUntil("OK\r\n", 30000).find("OK"), std::string::npos);
    auto voice = Event("voice");
    EXPECT_GT(std::stoul(voice["overrun"]), 0u);
    EXPECT_EQ(std::stoul(voice["overrun"]) + std::stoul(voice["bytes"]), data.size());
}

TEST(VmodemProcess, LinkAndCleanExitOnSignal) {
    std::string link = "/tmp/vmodem-link-" + std::to_string(getpid());
    CVmodem modem({"--link", link});
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), modem.PortPath());
    int status = modem.Stop(); // by SIGTERM
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    EXPECT_FALSE(std::filesystem::exists(modem.StoreDir() + "/../control"));
    EXPECT_NE(std::system((std::string(VMODEM_PROGRAM) + " --set 12 2>/dev/null").c_str()), 0);
}
