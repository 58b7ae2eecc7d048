// vmodem as a Hayes modem, spoken to over its port: results, echo, registers,
// the escape sequence, rings, and its process life.
#include "VmodemClient.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

using vmodem_client::CPort;
using vmodem_client::CVmodem;

namespace {

// A vmodem with a 100 ms escape guard time and a port opened on it.
class VmodemCommand : public ::testing::Test {
protected:
    VmodemCommand() : modem({"--set", "12=5"}), port(modem.PortPath()) {}

    // Sends a command line and returns the answer up to the final result.
    std::string Ask(const std::string &line, const std::string &until = "OK\r\n") {
        port.Write(line);
        return port.ReadUntil(until);
    }

    CVmodem modem;
    CPort port;
};

} // namespace

TEST_F(VmodemCommand, IdentityEchoAndResultForms) {
    EXPECT_EQ(Ask("ATI\r"), "ATI\r\r\nQuenby Virtual Modem\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("ati3\r"),
              "ati3\r\r\nQuenby Virtual Modem 1.0: data, fax class 1 and 2, voice\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+GMI\r"), "AT+GMI\r\r\nQuenby\r\n\r\nOK\r\n");
    // E0 stops the echo; V0 gives numeric codes; Q1 silences results.
    EXPECT_EQ(Ask("ATE0\r"), "ATE0\r\r\nOK\r\n");
    EXPECT_EQ(Ask("AT\r"), "\r\nOK\r\n");
    EXPECT_EQ(Ask("ATV0\r", "\r"), "0\r");
    EXPECT_EQ(Ask("ATFOO\r", "\r"), "4\r");
    EXPECT_EQ(Ask("ATD1237\r", "\r"), "7\r");
    // Q1: the register's value (information text) comes, no result code;
    // Q0's own result is the next thing on the line.
    port.Write("ATQ1\r");
    port.Write("ATS7?\r");
    port.Write("ATQ0\r");
    EXPECT_EQ(port.ReadUntil("\n0\r"), "050\r\n0\r");
    EXPECT_EQ(Ask("ATQ0V1E1\r"), "\r\nOK\r\n");
}

TEST_F(VmodemCommand, RegistersAndReset) {
    EXPECT_EQ(Ask("ATE0S7=30S0=3\r"), "ATE0S7=30S0=3\r\r\nOK\r\n");
    EXPECT_EQ(Ask("ATS7?S0?\r"), "\r\n030\r\n\r\n003\r\n\r\nOK\r\n");
    EXPECT_EQ(modem.Ok("reg 7"), "30");
    EXPECT_EQ(Ask("ATS300=1\r", "ERROR\r\n"), "\r\nERROR\r\n");
    // ATZ restores the start-up profile, echo included.
    EXPECT_EQ(Ask("ATZ\r"), "\r\nOK\r\n");
    EXPECT_EQ(Ask("ATS7?S12?\r"), "ATS7?S12?\r\r\n050\r\n\r\n005\r\n\r\nOK\r\n");
}

TEST_F(VmodemCommand, EscapeWithGuardTimesAndBackOnline) {
    Ask("ATE0\r");
    modem.Ok("speed 9600");
    EXPECT_EQ(Ask("ATD1\r", "CONNECT 9600\r\n"), "\r\nCONNECT 9600\r\n");
    // Echo data state: what goes out comes back.
    port.Write("hello");
    EXPECT_EQ(port.ReadUntil("hello"), "hello");
    // Pluses inside data are data.
    port.Write("a+++b");
    EXPECT_EQ(port.ReadUntil("a+++b"), "a+++b");
    EXPECT_EQ(modem.Report()["state"], "online");
    // 100 ms guard time: wait it out, send the escape, and the modem answers
    // OK after another guard time of silence.
    port.ReadFor(150);
    auto start = std::chrono::steady_clock::now();
    port.Write("+++");
    EXPECT_EQ(port.ReadUntil("OK\r\n"), "+++\r\nOK\r\n");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_EQ(modem.Report()["state"], "command");
    EXPECT_EQ(modem.Report()["connected"], "1");
    EXPECT_EQ(Ask("ATO\r", "CONNECT 9600\r\n"), "\r\nCONNECT 9600\r\n");
    port.Write("again");
    EXPECT_EQ(port.ReadUntil("again"), "again");
    // The control side can drop the call.
    modem.Ok("hangup");
    EXPECT_EQ(port.ReadUntil("NO CARRIER\r\n"), "\r\nNO CARRIER\r\n");
    EXPECT_EQ(Ask("ATO\r", "NO CARRIER\r\n"), "\r\nNO CARRIER\r\n");
}

TEST_F(VmodemCommand, RingsAnswerAndAutoAnswer) {
    Ask("ATE0\r");
    modem.Ok("ring 2");
    EXPECT_EQ(port.ReadUntil("RING\r\n\r\nRING\r\n"), "\r\nRING\r\n\r\nRING\r\n");
    EXPECT_EQ(Ask("ATS1?\r"), "\r\n002\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("ATA\r", "CONNECT 33600\r\n"), "\r\nCONNECT 33600\r\n");
    EXPECT_EQ(modem.Command("ring").substr(0, 3), "err");
    modem.Ok("hangup");
    port.ReadUntil("NO CARRIER\r\n");
    Ask("ATS0=1\r");
    modem.Ok("mode sink");
    modem.Ok("ring");
    EXPECT_EQ(port.ReadUntil("CONNECT 33600\r\n"), "\r\nRING\r\n\r\nCONNECT 33600\r\n");
    // Sink: data is kept, not echoed.
    modem.Ok("rxclear");
    unsigned long long before = std::stoull(modem.Report()["rx"]);
    port.Write("quiet data");
    ASSERT_TRUE(modem.WaitRx(before + 10));
    EXPECT_EQ(modem.Received(), "quiet data");
    EXPECT_EQ(port.ReadFor(20), "");
}

TEST_F(VmodemCommand, InjectAndDleCodesReachThePort) {
    EXPECT_EQ(modem.Ok("inject 10 62 10 35 41"), "5");
    EXPECT_EQ(port.ReadUntil("A"), "\x10\x62\x10\x35\x41");
    modem.Ok("dle s#q");
    EXPECT_EQ(port.ReadUntil("q"), "\x10s\x10#\x10q");
    modem.Ok(R"(send OK\r\n\x10\x03)");
    EXPECT_EQ(port.ReadUntil("\x03"), "OK\r\n\x10\x03");
    EXPECT_EQ(modem.Command("inject 1"), "err bad hex: 1");
    EXPECT_EQ(modem.Command("inject zz"), "err bad hex: zz");
    EXPECT_EQ(modem.Command(R"(send \q)"), R"(err bad escape: \q)");
    EXPECT_EQ(modem.Command("frobnicate"), "err unknown command: frobnicate");
}

TEST_F(VmodemCommand, StreamModePlaysAfterConnect) {
    std::string file = modem.StoreDir() + "/../stream.bin";
    {
        FILE *f = std::fopen(file.c_str(), "wb");
        ASSERT_TRUE(f);
        std::fputs("prepared stream", f);
        std::fclose(f);
    }
    modem.Ok("mode stream " + file);
    EXPECT_EQ(Ask("ATE0D1\r", "stream"), "ATE0D1\r\r\nCONNECT 33600\r\nprepared stream");
    EXPECT_EQ(modem.Ok("play " + file), "15");
    EXPECT_EQ(port.ReadUntil("stream"), "prepared stream");
    EXPECT_EQ(modem.Command("play /nonexistent/file").substr(0, 3), "err");
}

TEST(VmodemProcess, StreamOptionAndFlush) {
    std::string file = "/tmp/vmodem-stream-" + std::to_string(getpid());
    {
        FILE *f = std::fopen(file.c_str(), "wb");
        ASSERT_TRUE(f);
        std::fputs("from the option", f);
        std::fclose(f);
    }
    CVmodem modem({"--stream", file});
    std::remove(file.c_str());
    CPort port(modem.PortPath());
    // Output the DTE has not read is dropped by flush.
    modem.Ok("send stale output");
    modem.Ok("flush");
    port.Write("ATD1\r");
    EXPECT_EQ(port.ReadUntil("option"), "ATD1\r\r\nCONNECT 33600\r\nfrom the option");
}

TEST(VmodemProcess, LinkBannerAndCleanExitOnSignal) {
    std::string link = "/tmp/vmodem-link-" + std::to_string(getpid());
    CVmodem modem({"--link", link});
    ASSERT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), modem.PortPath());
    {
        CPort port(link);
        port.Write("AT\r");
        EXPECT_EQ(port.ReadUntil("OK\r\n"), "AT\r\r\nOK\r\n");
    }
    modem.Signal(SIGTERM);
    auto status = modem.WaitExit();
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    EXPECT_FALSE(std::filesystem::exists(modem.ControlPath()));
}

TEST(VmodemProcess, HelpAndBadOptions) {
    std::string program = vmodem_client::ProgramPath();
    std::string help;
    FILE *p = popen((program + " --help").c_str(), "r");
    ASSERT_TRUE(p);
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        help.append(buf, n);
    EXPECT_EQ(pclose(p), 0);
    for (const char *topic : {"--link", "--control", "--store", "LAST DIGIT", "inject", "stall",
                              "fax-NNN.pbm", "voice-NNN.raw"})
        EXPECT_NE(help.find(topic), std::string::npos) << topic;
    EXPECT_NE(std::system((program + " --bogus 2>/dev/null").c_str()), 0);
    EXPECT_NE(std::system((program + " --set 12 2>/dev/null").c_str()), 0);
}
