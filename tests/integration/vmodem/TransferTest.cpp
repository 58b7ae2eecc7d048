// vmodem spoken to over its port and its control socket: commands and the
// control side in real time (the machine of tests/vm times an escape), a clean
// end, and a fax page from an outside encoder that
// must arrive unshielded and decoded exactly whatever the block boundaries.
#include "PtyPair.h"
#include "VmodemClient.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

using testing_support::RunCommand;
using vmodem_client::CPort;
using vmodem_client::CVmodem;

namespace {

// A vmodem under a link, and its port.
class Vmodem : public ::testing::Test {
protected:
    std::string Ask(const std::string &line, const std::string &until = "OK\r\n") {
        port.Write(line);
        return port.ReadUntil(until);
    }

    std::string link = "/tmp/vmodem-link-" + std::to_string(getpid());
    CVmodem modem{{"--link", link}};
    CPort port{modem.PortPath()};
};

} // namespace

TEST_F(Vmodem, CommandsControlAndACleanEnd) {
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), modem.PortPath());
    EXPECT_EQ(Ask("ATE0S7=30\r"), "ATE0S7=30\r\r\nOK\r\n");
    EXPECT_EQ(modem.Ok("reg 7"), "30");
    modem.Ok("ring 2");
    EXPECT_EQ(port.ReadUntil("RING\r\n\r\nRING\r\n"), "\r\nRING\r\n\r\nRING\r\n");
    EXPECT_EQ(Ask("ATA\r", "CONNECT 33600\r\n"), "\r\nCONNECT 33600\r\n");
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
    // SIGTERM ends it cleanly, and the link and the control socket go with it.
    int status = modem.Stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    EXPECT_FALSE(std::filesystem::exists(modem.Dir() + "/control"));
}

TEST_F(Vmodem, FaxPageFromAnOutsideEncoderRoundTrips) {
    // A page coded by netpbm's pbmtog3 (bits reversed to line order) comes
    // back as the same image; netpbm's decoder agrees with the kept data.
    std::string pbm = "P4\n1728 40\n", file = modem.Dir() + "/page.pbm", data;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 216; ++x)
            pbm += char((x * 7 + y * 13) % 5 == 0 ? 0xF0 >> (y % 4) : (x + y) % 3 ? 0x00 : 0x81);
    std::ofstream(file, std::ios::binary) << pbm;
    std::string g3 = RunCommand("pbmtog3 -reversebits " + file + " 2>/dev/null");
    ASSERT_GT(g3.size(), 100u);
    port.ObeyXoff(false); // the far machine's DIS frame is binary: no flow control while it comes
    std::string call = Ask("ATE0+FCLASS=1;D5551\r");
    port.ObeyXoff(true);
    EXPECT_EQ(call.substr(call.size() - 8), "\x10\x03\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+FTM=96\r", "CONNECT\r\n"), "\r\nCONNECT\r\n");
    // The page goes in small pieces so DLE pairs straddle reads.
    for (char c : g3)
        data += c == '\x10' ? "\x10\x10" : std::string(1, c);
    data += "\x10\x03";
    for (size_t i = 0; i < data.size(); i += 7)
        port.Write(data.substr(i, 7));
    EXPECT_EQ(port.ReadUntil("OK\r\n"), "\r\nOK\r\n");
    auto fax = CVmodem::Fields(modem.WaitEvent("fax ", 30000).value_or(""));
    EXPECT_EQ(fax["bad"], "0");
    EXPECT_EQ(vmodem_client::ReadWholeFile(fax["file"]), pbm);
    EXPECT_EQ(RunCommand("g3topbm -reversebits " + fax["g3"] + " 2>/dev/null"), pbm);
}
